// The program's own readers over the demo site's pages: every value they cut out must be the
// catalogue's value, so the default site exercises the whole reader.

#include <gtest/gtest.h>

#include "catalogue/book_page.h"
#include "catalogue/list_parser.h"
#include "catalogue/search_parser.h"
#include "catalogue/site_config.h"
#include "demo/demo_catalogue.h"
#include "demo/demo_pages.h"
#include "download/book_download.h"
#include "reader/chapter.h"
#include "reader/toc_parser.h"
#include "web/gbk.h"
#include "web/text.h"

namespace novel {
namespace {

class DemoParsers : public ::testing::Test {
  protected:
    const DemoCatalogue& catalogue = DemoCatalogue::shared();
    DemoPages pages{catalogue, "http://127.0.0.1:1234"};
    const BrandWords brand = SiteConfig{}.brandWords();

    BookRow rowOf(const DemoBook& b, size_t number) {
        return {std::to_string(number),
                toGbk(b.title),
                toGbk(catalogue.chapterTitle(b, b.chapterCount)),
                toGbk(b.author),
                DemoPages::sizeText(b),
                DemoPages::timeText(b),
                toGbk(b.finished ? "已完成" : "连载中"),
                pages.bookUrl(b),
                pages.chapterUrl(b, b.chapterCount),
                pages.tocUrl(b)};
    }

    bool hasAny(std::string_view text, std::initializer_list<std::string_view> pieces) {
        for (auto p : pieces)
            if (findText(text, p, 1, true) != -1) return true;
        return false;
    }
};

TEST_F(DemoParsers, ListPagesGiveTheCatalogueRows) {
    for (const DemoList& list : catalogue.lists()) {
        const int count = DemoPages::pageCount(list.bookIds.size(), DemoCatalogue::kListPageSize);
        for (int page : {1, 2, count}) {
            SCOPED_TRACE(list.pathPrefix + std::to_string(page));
            const ListLayout layout = list.layoutOfPage(page) == DemoLayout::Ranking
                                          ? ListLayout::Ranking
                                          : ListLayout::Category;
            const ListPage parsed = parseListPage(pages.listPage(list, page), layout);
            EXPECT_EQ(parsed.pageCount, count);
            const size_t first = static_cast<size_t>(page - 1) * DemoCatalogue::kListPageSize;
            ASSERT_EQ(parsed.rows.size(),
                      std::min<size_t>(DemoCatalogue::kListPageSize, list.bookIds.size() - first));
            for (size_t i = 0; i < parsed.rows.size(); ++i)
                EXPECT_EQ(parsed.rows[i], rowOf(*catalogue.book(list.bookIds[first + i]), i + 1));
        }
    }
}

TEST_F(DemoParsers, SearchGivesEachOfTheThreeAnswers) {
    const SearchPage many =
        parseSearchPage(pages.searchAnswer(toGbk("之"), false, 1), toGbk("之"), 0);
    EXPECT_EQ(many.answer, SearchAnswer::List);
    EXPECT_GT(many.pageCount, 1);
    ASSERT_EQ(many.rows.size(), static_cast<size_t>(DemoCatalogue::kSearchPageSize));
    BookRow expected = rowOf(*catalogue.book(catalogue.search(toGbk("之"), false)[0]), 1);
    expected.latestChapterUrl.clear();
    EXPECT_EQ(many.rows[0], expected);

    const Text author = toGbk("孤舟听雨");
    const SearchPage three = parseSearchPage(pages.searchAnswer(author, true, 1), author, 0);
    EXPECT_EQ(three.answer, SearchAnswer::List);
    EXPECT_EQ(three.rows.size(), 3u);

    const Text title = toGbk("星河 彼岸");
    const SearchPage one = parseSearchPage(pages.searchAnswer(title, false, 1), title, 4);
    EXPECT_EQ(one.answer, SearchAnswer::Single);
    ASSERT_EQ(one.rows.size(), 1u);
    const DemoBook& b = *catalogue.book(demo_books::kOneChapterBlank);
    EXPECT_EQ(one.rows[0].id, "5");
    EXPECT_EQ(one.rows[0].title, title);
    EXPECT_EQ(one.rows[0].author, toGbk(b.author));
    EXPECT_EQ(one.rows[0].bookUrl, pages.bookUrl(b));
    EXPECT_EQ(one.rows[0].tocUrl, pages.tocUrl(b));
    EXPECT_EQ(one.rows[0].status, toGbk("连载中"));

    // An author search that lands on the book's page names the row by the book, not the author.
    const Text sole = toGbk("白衣卿相");
    const SearchPage byAuthor = parseSearchPage(pages.searchAnswer(sole, true, 1), sole, 0);
    EXPECT_EQ(byAuthor.answer, SearchAnswer::Single);
    ASSERT_EQ(byAuthor.rows.size(), 1u);
    const DemoBook& soleBook = *catalogue.book(catalogue.search(sole, true).at(0));
    EXPECT_EQ(byAuthor.rows[0].title, toGbk(soleBook.title));
    EXPECT_EQ(byAuthor.rows[0].author, sole);
    for (const char* none : {"不存在的书", "无名氏"}) {
        const Text key = toGbk(none);
        EXPECT_EQ(parseSearchPage(pages.searchAnswer(key, false, 1), key, 0).answer,
                  SearchAnswer::None);
    }
}

TEST_F(DemoParsers, BookPageTableOfContentsAndChaptersReadBack) {
    const DemoBook& b = *catalogue.book(demo_books::kThousands);
    const BookPage details = parseBookPage(pages.bookPage(b), brand);
    EXPECT_EQ(details.title, toGbk(b.title));
    EXPECT_EQ(details.author, toGbk(b.author));
    EXPECT_EQ(details.txtPackageUrl, pages.packageUrl(b));
    EXPECT_EQ(details.category, toGbk("玄幻魔法"));
    EXPECT_EQ(details.lastUpdate, demoDate(b.updateDay));
    EXPECT_EQ(details.wordCount, std::to_string(b.wordCount()) + toGbk("字"));
    EXPECT_NE(details.synopsis.find("\r\n"), std::string::npos);
    EXPECT_FALSE(hasAny(details.synopsis, {"www.", ".net", ".org", "<br", "&nbsp;", brand.latin,
                                           brand.chinese, toGbk("本书由"), toGbk("首发")}));

    const auto chapters =
        parseTableOfContents(pages.tableOfContents(b), bookUrlStem(pages.bookUrl(b)));
    ASSERT_EQ(chapters.size(), 5000u);
    EXPECT_EQ(chapters[4999].id, "5000");
    EXPECT_EQ(chapters[4999].url, pages.chapterUrl(b, 5000));
    EXPECT_EQ(chapters[0].title, toGbk(catalogue.chapterTitle(b, 1)));

    const Text text = chapterTextFromPage(pages.chapterPage(b, 1), brand);
    EXPECT_NE(text.find(toGbk(catalogue.chapterParagraphs(b, 1)[0])), std::string::npos);
    EXPECT_FALSE(hasAny(text, {"www.", ".com", brand.latin, brand.chinese, brand.chineseSpaced,
                               toGbk("请记住本站网址"), toGbk("最快更新"), toGbk("欢迎您的光临")}));
    EXPECT_NE(text.find(toGbk("（本章完）")), std::string::npos);
}

TEST_F(DemoParsers, DownloadedPackageCleansUp) {
    const DemoBook& b = *catalogue.book(demo_books::kFiveHundred);
    Text package = pages.txtPackage(b);
    ASSERT_TRUE(hasAny(package, {"www.", ".com", brand.latin, brand.chinese}));
    cleanBookText(&package, brand);
    EXPECT_FALSE(hasAny(package, {"www.", ".com", brand.latin, brand.chinese, toGbk("提供全文阅读"),
                                  toGbk("整理收录")}));
    EXPECT_NE(package.find(toGbk(catalogue.chapterTitle(b, 500))), std::string::npos);
}

}  // namespace
}  // namespace novel
