// Revised books over HTTP: the control route steps the designated book through its sequence, and
// the table of contents, chapter pages and TXT package follow while every other page stays put.

#include <gtest/gtest.h>
#include <httplib.h>

#include "catalogue/book_page.h"
#include "catalogue/site_config.h"
#include "demo/demo_catalogue.h"
#include "demo/demo_pages.h"
#include "demo/demo_site.h"
#include "reader/chapter.h"
#include "reader/toc_parser.h"
#include "web/gbk.h"

namespace novel {
namespace {

class DemoRevisionsHttp : public ::testing::Test {
  protected:
    void SetUp() override {
        DemoSite::Options options;
        options.revisionRoute = true;
        site.setOptions(options);
        ASSERT_TRUE(site.start());
        client = std::make_unique<httplib::Client>(site.url());
        pages = std::make_unique<DemoPages>(catalogue, site.url());
    }

    int post(const std::string& query) {
        auto res = client->Post(("/demo/revise?" + query).c_str());
        return res ? res->status : -1;
    }
    Text get(const std::string& url) {
        auto res = client->Get(url.substr(site.url().size()).c_str());
        return res && res->status == 200 ? res->body : Text();
    }
    int status(const std::string& url) {
        auto res = client->Get(url.substr(site.url().size()).c_str());
        return res ? res->status : -1;
    }

    // The table of contents as the reader cuts it: titles in order, and the number in each URL.
    std::vector<std::pair<int, std::string>> toc() {
        std::vector<std::pair<int, std::string>> out;
        for (const ChapterEntry& e :
             parseTableOfContents(get(pages->tocUrl(book)), bookUrlStem(pages->bookUrl(book)))) {
            const size_t slash = e.url.rfind('/');
            const int pageId = std::stoi(e.url.substr(slash + 1));
            out.emplace_back(pageId - book.id * 10000, toUtf8(e.title));
        }
        return out;
    }
    std::string chapterText(int number) {
        return toUtf8(
            chapterTextFromPage(get(pages->chapterUrl(book, number)), SiteConfig{}.brandWords()));
    }
    std::string package() { return toUtf8(get(pages->packageUrl(book))); }

    const DemoCatalogue& catalogue = DemoCatalogue::shared();
    const DemoBook& book = *catalogue.book(demo_books::kRevisable);
    const std::vector<DemoRevision> steps = demoRevisionSteps(book);
    DemoSite site;
    std::unique_ptr<httplib::Client> client;
    std::unique_ptr<DemoPages> pages;
};

TEST_F(DemoRevisionsHttp, EachStepShowsInTheTableOfContentsChaptersAndPackage) {
    const int n = book.chapterCount;
    ASSERT_EQ(steps.size(), 4u);
    const std::string generatedPackage = package();
    ASSERT_EQ(toc().size(), static_cast<size_t>(n));

    // Appended chapters: listed last, served, and at the end of the package.
    ASSERT_EQ(post("book=60&step=1"), 200);
    auto chapters = toc();
    ASSERT_EQ(chapters.size(), static_cast<size_t>(n + 2));
    EXPECT_EQ(chapters[n], std::make_pair(n + 1, steps[0].append[0].title));
    EXPECT_EQ(chapters[n + 1], std::make_pair(n + 2, steps[0].append[1].title));
    EXPECT_NE(chapterText(n + 2).find(steps[0].append[1].paragraphs[0]), std::string::npos);
    const std::string appended = package();
    EXPECT_TRUE(appended.starts_with(generatedPackage));
    EXPECT_NE(appended.find(steps[0].append[1].title), std::string::npos);
    EXPECT_NE(appended.find(steps[0].append[1].paragraphs[0]), std::string::npos);

    // A retitled and a rewritten chapter.
    const std::string oldText = chapterText(3);
    ASSERT_EQ(post("book=60&step=2"), 200);
    chapters = toc();
    EXPECT_EQ(chapters[1], std::make_pair(2, steps[1].retitle[0].title));
    EXPECT_NE(toUtf8(get(pages->chapterUrl(book, 2))).find(steps[1].retitle[0].title),
              std::string::npos);
    const std::string newText = chapterText(3);
    EXPECT_NE(newText, oldText);
    EXPECT_NE(newText.find(steps[1].rewrite[0].paragraphs[0]), std::string::npos);
    EXPECT_EQ(newText.find(catalogue.chapterParagraphs(book, 3)[0]), std::string::npos);
    const std::string retitled = package();
    EXPECT_NE(retitled.find(steps[1].retitle[0].title), std::string::npos);
    EXPECT_EQ(retitled.find(catalogue.chapterTitle(book, 2)), std::string::npos);
    EXPECT_NE(retitled.find(steps[1].rewrite[0].paragraphs[0]), std::string::npos);

    // Removed chapters: gone from the list, 404, out of the package; neighbours link past them.
    ASSERT_EQ(post("book=60&step=3"), 200);
    chapters = toc();
    ASSERT_EQ(chapters.size(), static_cast<size_t>(n));
    EXPECT_EQ(chapters.front().first, 2);
    EXPECT_EQ(chapters[n - 2].first, n);
    EXPECT_EQ(chapters.back().first, n + 2);
    EXPECT_EQ(status(pages->chapterUrl(book, 1)), 404);
    EXPECT_EQ(status(pages->chapterUrl(book, n + 1)), 404);
    const std::string last = toUtf8(get(pages->chapterUrl(book, n)));
    EXPECT_NE(last.find("href=\"" + std::to_string(book.id * 10000 + n + 2) + ".html\">下一章"),
              std::string::npos);
    EXPECT_NE(toUtf8(get(pages->chapterUrl(book, 2))).find("href=\"index.html\">上一章"),
              std::string::npos);
    const std::string removed = package();
    EXPECT_EQ(removed.find(catalogue.chapterTitle(book, 1)), std::string::npos);
    EXPECT_EQ(removed.find(steps[0].append[0].title), std::string::npos);

    // A removed number is never given out again.
    ASSERT_EQ(post("book=60&step=4"), 200);
    EXPECT_EQ(toc().back(), std::make_pair(n + 3, steps[3].append[0].title));

    // Step 0 restores the generated book byte for byte.
    ASSERT_EQ(post("book=60&step=0"), 200);
    EXPECT_EQ(get(pages->tocUrl(book)), pages->tableOfContents(book));
    EXPECT_EQ(get(pages->chapterUrl(book, 3)), pages->chapterPage(book, 3));
    EXPECT_EQ(package(), generatedPackage);
    EXPECT_EQ(status(pages->chapterUrl(book, n + 1)), 404);
}

TEST_F(DemoRevisionsHttp, TheRestOfTheSiteStaysAsGenerated) {
    ASSERT_EQ(post("book=60&step=4"), 200);
    const DemoBook& other = *catalogue.book(demo_books::kRevisable + 1);
    const DemoList& list =
        *catalogue.listByPrefix("/dudu/list" + std::to_string(book.category) + "_");
    const std::vector<std::pair<std::string, Text>> unchanged = {
        {pages->bookUrl(book), pages->bookPage(book)},
        {pages->tocUrl(other), pages->tableOfContents(other)},
        {pages->chapterUrl(other, 1), pages->chapterPage(other, 1)},
        {pages->packageUrl(*catalogue.book(3)), pages->txtPackage(*catalogue.book(3))},
        {site.url() + "/", pages->homePage()},
        {site.url() + list.pathPrefix + "1.html", pages->listPage(list, 1)},
    };
    for (const auto& [url, page] : unchanged) EXPECT_EQ(get(url), page) << url;
}

TEST_F(DemoRevisionsHttp, ControlRouteRefusesWhatItCannotDo) {
    EXPECT_EQ(post("book=60"), 400);
    EXPECT_EQ(post("book=x&step=1"), 400);
    EXPECT_EQ(post("book=60&step=-1"), 400);
    EXPECT_EQ(post("book=1&step=1"), 404);   // only the designated book
    EXPECT_EQ(post("book=60&step=5"), 404);  // past the sequence
    EXPECT_EQ(get(pages->tocUrl(book)), pages->tableOfContents(book));

    // Without the option the route does not exist.
    DemoSite plain;
    ASSERT_TRUE(plain.start());
    auto res = httplib::Client(plain.url()).Post("/demo/revise?book=60&step=1");
    ASSERT_TRUE(res);
    EXPECT_EQ(res->status, 404);
    res = httplib::Client(plain.url()).Get("/book/60/index.html");
    ASSERT_TRUE(res);
    EXPECT_EQ(res->body, DemoPages(catalogue, plain.url()).tableOfContents(book));
}

TEST_F(DemoRevisionsHttp, ReviseBookChangesAnyBookAndRefusesUnknownChapters) {
    const DemoBook& small = *catalogue.book(demo_books::kOneChapterBlank);
    DemoRevision bad;
    bad.retitle = {{1, "第一章 改"}};
    bad.remove = {2};  // the book has one chapter: the whole revision is refused
    EXPECT_FALSE(site.reviseBook(small.id, bad));
    EXPECT_FALSE(site.reviseBook(100000, DemoRevision{}));
    // Chapter 10000 of book 1 would have the page id of book 2's first chapter.
    DemoRevision tooMany;
    tooMany.append.resize(5000, {"第一万章 越界", {"越界。"}});
    EXPECT_FALSE(site.reviseBook(demo_books::kThousands, tooMany));
    tooMany.append.pop_back();
    EXPECT_TRUE(site.reviseBook(demo_books::kThousands, tooMany));
    EXPECT_EQ(get(pages->tocUrl(small)), pages->tableOfContents(small));

    DemoRevision grow;
    grow.append = {{"第二章 续", {"续写的一段。"}}};
    ASSERT_TRUE(site.reviseBook(small.id, grow));
    DemoRevision shrink;
    shrink.remove = {2};
    ASSERT_TRUE(site.reviseBook(small.id, shrink));
    ASSERT_TRUE(site.reviseBook(small.id, grow));
    // The page id of the removed chapter stays unused; the new one takes the next.
    const auto& chapters =
        parseTableOfContents(get(pages->tocUrl(small)), bookUrlStem(pages->bookUrl(small)));
    ASSERT_EQ(chapters.size(), 2u);
    EXPECT_EQ(chapters[1].url, pages->chapterUrl(small, 3));
    EXPECT_EQ(status(pages->chapterUrl(small, 2)), 404);
    EXPECT_NE(toUtf8(get(pages->chapterUrl(small, 3))).find("续写的一段。"), std::string::npos);

    // Revisions outlive a restart of the same site object.
    site.stop();
    ASSERT_TRUE(site.start());
    client = std::make_unique<httplib::Client>(site.url());
    pages = std::make_unique<DemoPages>(catalogue, site.url());
    EXPECT_EQ(status(pages->chapterUrl(small, 3)), 200);
}

}  // namespace
}  // namespace novel
