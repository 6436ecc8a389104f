// The demo site over HTTP on 127.0.0.1: start, stop, the served bytes and headers.

#include <gtest/gtest.h>
#include <httplib.h>

#include <thread>

#include "demo/demo_catalogue.h"
#include "demo/demo_pages.h"
#include "demo/demo_site.h"
#include "web/gbk.h"
#include "web/http.h"

namespace novel {
namespace {

// Every byte as "%" and two upper-case hex digits, as the reader sends keywords.
std::string encodeAll(std::string_view gbk) {
    static const char* hex = "0123456789ABCDEF";
    std::string out;
    for (unsigned char c : gbk) out += {'%', hex[c >> 4], hex[c & 15]};
    return out;
}

class DemoSiteHttp : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(site.start());
        client = std::make_unique<httplib::Client>(site.url());
        client->set_read_timeout(60);   // the big package is generated on first request
        client->set_url_encode(false);  // paths are sent exactly as written
        pages = std::make_unique<DemoPages>(DemoCatalogue::shared(), site.url());
    }

    httplib::Result get(const std::string& path) { return client->Get(path.c_str()); }

    DemoSite site;
    std::unique_ptr<httplib::Client> client;
    std::unique_ptr<DemoPages> pages;
};

TEST_F(DemoSiteHttp, ServesTheGeneratedPagesAsGbkHtml) {
    EXPECT_EQ(site.url(), "http://127.0.0.1:" + std::to_string(site.port()));
    EXPECT_GT(site.port(), 0);

    const DemoCatalogue& c = DemoCatalogue::shared();
    const DemoBook& book = *c.book(demo_books::kFiveHundred);
    const std::vector<std::pair<std::string, Text>> expected = {
        {"/", pages->homePage()},
        {"/top/lastupdate_1.html", pages->listPage(*c.listByPrefix("/top/lastupdate_"), 1)},
        {"/top/full_2.html", pages->listPage(*c.listByPrefix("/top/full_"), 2)},
        {"/dudu/list10_3.html", pages->listPage(*c.listByPrefix("/dudu/list10_"), 3)},
        {"/book/2.html", pages->bookPage(book)},
        {"/book/2/index.html", pages->tableOfContents(book)},
        {"/book/2/20100.html", pages->chapterPage(book, 100)},
    };
    for (const auto& [path, page] : expected) {
        auto res = get(path);
        ASSERT_TRUE(res) << path;
        EXPECT_EQ(res->status, 200) << path;
        EXPECT_EQ(res->get_header_value("Content-Type"), "text/html; charset=gbk") << path;
        EXPECT_EQ(res->body, page) << path;
    }
    // Links in the pages lead back to this server.
    EXPECT_NE(get("/book/2.html")->body.find(site.url() + "/book/2/index.html"), std::string::npos);
}

TEST_F(DemoSiteHttp, SearchDecodesPercentEncodedGbkKeywords) {
    const DemoCatalogue& c = DemoCatalogue::shared();
    auto titleSearch = [&](std::string_view utf8) {
        return get("/modules/article/search.php?searchkey=" + encodeAll(toGbk(utf8)) + "&page=1")
            ->body;
    };
    auto authorSearch = [&](std::string_view utf8) {
        return get("/modules/article/search.php?searchtype=author&searchkey=" +
                   encodeAll(toGbk(utf8)) + "&Submit=%CB%D1+%CB%F7&page=1")
            ->body;
    };
    EXPECT_EQ(titleSearch("星河 彼岸"), pages->bookPage(*c.book(demo_books::kOneChapterBlank)));
    EXPECT_EQ(authorSearch("白衣卿相"), pages->bookPage(*c.book(demo_books::kSoleAuthorBook)));
    EXPECT_EQ(titleSearch("之"), pages->searchAnswer(toGbk("之"), false, 1));
    EXPECT_EQ(authorSearch("孤舟听雨"), pages->searchAnswer(toGbk("孤舟听雨"), true, 1));
    EXPECT_EQ(titleSearch("不存在的书"), pages->searchAnswer(toGbk("不存在的书"), false, 1));
    // A search form sends "+" for the blank and leaves ASCII as it is.
    EXPECT_EQ(get("/modules/article/search.php?searchkey=%D0%C7%BA%D3+%B1%CB%B0%B6")->body,
              pages->bookPage(*c.book(demo_books::kOneChapterBlank)));
    EXPECT_EQ(get("/modules/article/search.php?searchkey=%D6%AE&page=2")->body,
              pages->searchAnswer(toGbk("之"), false, 2));
}

TEST_F(DemoSiteHttp, PackagesAndCoverCarryTheirLength) {
    const DemoBook& big = *DemoCatalogue::shared().book(demo_books::kThousands);
    auto res = get("/modules/article/packdown_txt_1.txt");
    ASSERT_TRUE(res);
    EXPECT_EQ(res->status, 200);
    EXPECT_GE(res->body.size(), 20u << 20);
    EXPECT_EQ(res->get_header_value("Content-Length"), std::to_string(res->body.size()));
    EXPECT_EQ(res->body, pages->txtPackage(big));
    // The link on the book page gives the same file.
    EXPECT_EQ(get("/modules/article/txtdown_1.txt")->body.size(), res->body.size());

    auto bench = get("/modules/article/packdown_txt_bench_3.txt");
    ASSERT_TRUE(bench);
    EXPECT_EQ(bench->get_header_value("Content-Length"), std::to_string(3u << 20));
    EXPECT_EQ(bench->body,
              DemoPages::benchBlock() + DemoPages::benchBlock() + DemoPages::benchBlock());

    auto cover = get("/modules/article/images/nocover.jpg");
    ASSERT_TRUE(cover);
    EXPECT_EQ(cover->get_header_value("Content-Type"), "image/jpeg");
    EXPECT_EQ(cover->body, demoCoverJpeg());
}

TEST_F(DemoSiteHttp, TheProgramsOwnClientReadsIt) {
    const DemoCatalogue& c = DemoCatalogue::shared();
    const DemoBook& book = *c.book(demo_books::kFiveHundred);
    EXPECT_EQ(fetchPlain(site.url() + "/book/2.html"), pages->bookPage(book));
    EXPECT_EQ(fetchPlain(site.url() + "/book/2/index.html"), pages->tableOfContents(book));
    EXPECT_EQ(httpFetch(site.url() + "/book/2/20500.html"), pages->chapterPage(book, 500));
    EXPECT_EQ(httpFetch(site.url() + "/modules/article/search.php?searchtype=author&searchkey=" +
                        encodeAll(toGbk("孤舟听雨")) + "&Submit=%CB%D1+%CB%F7&page=1"),
              pages->searchAnswer(toGbk("孤舟听雨"), true, 1));
}

TEST_F(DemoSiteHttp, UnknownPathsAnswer404) {
    for (const char* path :
         {"/nothing.html", "/book/0.html", "/book/721.html", "/book/1/20001.html",
          "/book/2/20501.html", "/top/lastupdate_0.html", "/top/lastupdate_999.html",
          "/top/unknown_1.html", "/dudu/list11_1.html", "/modules/article/packdown_txt_0.txt",
          "/modules/article/packdown_txt_bench_0.txt",
          "/modules/article/packdown_txt_bench_9999.txt"}) {
        auto res = get(path);
        ASSERT_TRUE(res) << path;
        EXPECT_EQ(res->status, 404) << path;
        EXPECT_EQ(res->get_header_value("Content-Type"), "text/html; charset=gbk") << path;
        EXPECT_EQ(res->body, pages->notFoundPage()) << path;
    }
}

TEST_F(DemoSiteHttp, ServesClientsInParallel) {
    const DemoCatalogue& c = DemoCatalogue::shared();
    std::vector<std::thread> threads;
    std::atomic<int> good{0};
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&, t] {
            httplib::Client own(site.url());
            const DemoBook& book = *c.book(7 + t);
            for (int k = 1; k <= std::min(book.chapterCount, 10); ++k) {
                auto res = own.Get(("/book/" + std::to_string(book.id) + "/" +
                                    std::to_string(DemoCatalogue::chapterPageId(book, k)) + ".html")
                                       .c_str());
                if (res && res->status == 200 && res->body == pages->chapterPage(book, k)) ++good;
            }
        });
    }
    int expected = 0;
    for (int t = 0; t < 4; ++t) expected += std::min(c.book(7 + t)->chapterCount, 10);
    for (auto& th : threads) th.join();
    EXPECT_EQ(good, expected);
}

TEST(DemoSite, RefusesATakenPortAndRestarts) {
    DemoSite first, second;
    ASSERT_TRUE(first.start());
    EXPECT_FALSE(first.start());  // already running
    EXPECT_FALSE(second.start(first.port()));
    EXPECT_FALSE(second.isRunning());
    EXPECT_TRUE(second.url().empty());

    const int port = first.port();
    first.stop();
    EXPECT_FALSE(first.isRunning());
    EXPECT_EQ(first.port(), 0);
    EXPECT_FALSE(httplib::Client("127.0.0.1", port).Get("/"));

    // The freed port can be taken again at once.
    ASSERT_TRUE(second.start(port));
    EXPECT_EQ(second.url(), "http://127.0.0.1:" + std::to_string(port));
    auto res = httplib::Client(second.url()).Get("/top/size_1.html");
    ASSERT_TRUE(res);
    EXPECT_EQ(res->status, 200);
    first.stop();  // stopping a stopped site is harmless
}

}  // namespace
}  // namespace novel
