#include "download/book_session.h"

#include <future>

#include <gtest/gtest.h>

#include "download/cached_chapter_source.h"
#include "support/loopback_server.h"
#include "support/temp_dir.h"
#include "support/test_book_site.h"
#include "web/file_io.h"

namespace novel {
namespace {
namespace fs = std::filesystem;
using test::LoopbackServer;
using test::TempDir;
using test::TestBookSite;

EngineOptions quickRetries() {
    EngineOptions o;
    o.perSiteLimit = 8;  // more than the session's own limit, which is what is checked
    o.firstRetryPause = std::chrono::milliseconds(20);
    return o;
}

struct BookRun {
    BookSessionResult result;
    std::string text;  // the TXT as UTF-8
};

class BookSessionTest : public ::testing::Test {
  protected:
    TestBookSite site;
    TempDir dir;

    BookRun download(LoopbackServer& server, BookSessionOptions options = {}) {
        RequestEngine engine(quickRetries());
        FileDownloader downloader;
        const FetchResult page = engine.fetch({server.url("/book/7.html"), RequestStyle::Plain});
        const BookInfo book = bookInfoFromPage(server.url("/book/7.html"), textOf(page.body));
        BookSession session(engine, downloader, SiteConfig{}.brandWords());
        options.base = dir.path();
        BookRun run;
        run.result = session.run(book, options);
        const Bytes bytes = readFileBytes(run.result.file);
        run.text = options.encoding == TxtEncoding::Gbk ? toUtf8(bytes) : bytes;
        return run;
    }
};

TEST_F(BookSessionTest, PackageLackingTwoChaptersIsFilledInPlace) {
    site.notInPackage = {3, 7};
    LoopbackServer server([&](httplib::Server& s) { site.addRoutes(s); });
    const BookRun run = download(server);
    ASSERT_TRUE(run.result.complete()) << run.result.error;
    EXPECT_EQ(run.result.file, dir.path() / "下载小说" / "测试之书" / "测试之书.txt");
    EXPECT_EQ(run.result.fromPackage, 8);
    EXPECT_EQ(run.result.fromPages, 2);
    // The book reads exactly as the complete package would, preface included.
    EXPECT_EQ(run.text, site.package(true));
    auto pages = site.pageRequests();
    std::sort(pages.begin(), pages.end());
    EXPECT_EQ(pages, (std::vector<int>{3, 7}));
}

TEST_F(BookSessionTest, MissingPackageGivesTheBookFromPages) {
    site.packageMissing = true;
    LoopbackServer server([&](httplib::Server& s) { site.addRoutes(s); });
    const BookRun run = download(server);
    ASSERT_TRUE(run.result.complete()) << run.result.error;
    EXPECT_FALSE(run.result.packageProblem.empty());
    EXPECT_EQ(run.result.fromPages, 10);
    site.preface.clear();
    EXPECT_EQ(run.text, site.package(true));
}

TEST_F(BookSessionTest, FailingPagesRetriedMarkedAndFilledByTheRerun) {
    site.notInPackage = {2, 5, 9};
    site.failures = {{5, 1}, {9, -1}};  // 5 fails once, 9 always
    LoopbackServer server([&](httplib::Server& s) { site.addRoutes(s); });
    const BookRun first = download(server);
    ASSERT_TRUE(first.result.written) << first.result.error;
    EXPECT_FALSE(first.result.complete());
    ASSERT_EQ(first.result.missing.size(), 1u);
    EXPECT_EQ(toUtf8(first.result.missing[0].title), "第9章 标题9");
    EXPECT_EQ(first.result.missing[0].url, server.url("/book/7/9.html"));
    EXPECT_FALSE(first.result.missing[0].reason.empty());
    const std::string mark = "第9章 标题9\r\n【本章缺失：" + first.result.missing[0].reason + "】";
    EXPECT_NE(first.text.find(mark), std::string::npos);
    EXPECT_NE(first.text.find("第5章的第3段文字。"), std::string::npos);  // filled after a retry
    EXPECT_LT(first.text.find("第8章的第3段"), first.text.find(mark));
    EXPECT_LT(first.text.find(mark), first.text.find("第10章 标题10"));

    // The page comes back; the rerun asks for it alone and the mark is gone.
    site.failures[9] = 0;
    site.clearPageRequests();
    const BookRun second = download(server);
    ASSERT_TRUE(second.result.complete()) << second.result.error;
    EXPECT_EQ(site.pageRequests(), std::vector<int>{9});
    EXPECT_EQ(second.result.fromEarlier, 2);
    EXPECT_EQ(second.text, site.package(true));
}

TEST_F(BookSessionTest, NeverMoreThanNPagesAtOnce) {
    site.chapterCount = 24;
    site.packageMissing = true;
    site.latency = std::chrono::milliseconds(40);
    LoopbackServer server([&](httplib::Server& s) { site.addRoutes(s); });
    BookSessionOptions options;
    options.connections = 3;
    const BookRun run = download(server, options);
    ASSERT_TRUE(run.result.complete()) << run.result.error;
    EXPECT_EQ(site.mostPagesAtOnce(), 3);
}

TEST_F(BookSessionTest, Utf8ExportIsTheGbkExportDecoded) {
    site.notInPackage = {4};
    LoopbackServer server([&](httplib::Server& s) { site.addRoutes(s); });
    const BookRun gbk = download(server);
    BookSessionOptions utf8;
    utf8.encoding = TxtEncoding::Utf8;
    const BookRun other = download(server, utf8);
    ASSERT_TRUE(other.result.complete());
    EXPECT_EQ(readFileBytes(other.result.file), gbk.text);
    EXPECT_TRUE(isValidUtf8(readFileBytes(other.result.file)));
}

TEST_F(BookSessionTest, EpubWithCoverAndCancel) {
    LoopbackServer server([&](httplib::Server& s) { site.addRoutes(s); });
    BookSessionOptions epub;
    epub.format = BookFormat::Epub;
    const BookRun run = download(server, epub);
    ASSERT_TRUE(run.result.complete()) << run.result.error;
    EXPECT_EQ(run.result.file.extension(), ".epub");
    EXPECT_TRUE(run.text.starts_with(toUtf8("PK")));
    bool askedForCover = false;
    for (const auto& r : server.requests()) askedForCover |= r.target == "/cover.jpg";
    EXPECT_TRUE(askedForCover);

    // A cancelled run writes nothing and keeps the earlier file.
    site.packageMissing = true;
    site.latency = std::chrono::milliseconds(200);
    RequestEngine engine(quickRetries());
    FileDownloader downloader;
    BookSession session(engine, downloader, SiteConfig{}.brandWords());
    BookInfo book;
    book.title = toGbk("测试之书");
    book.bookUrl = server.url("/book/7.html");
    book.tocUrl = server.url("/book/7/index.html");
    book.txtPackageUrl = server.url("/modules/article/packdown_txt_7.txt");
    int calls = 0;
    session.setProgressCallback([&](const BookProgress& p) {
        if (p.phase == BookProgress::Phase::Chapters && ++calls == 2) session.cancel();
    });
    BookSessionOptions txt;
    txt.base = dir.path();
    const BookSessionResult cancelled = session.run(book, txt);
    EXPECT_TRUE(cancelled.cancelled);
    EXPECT_FALSE(cancelled.written);
    EXPECT_FALSE(fs::exists(cancelled.file));
    EXPECT_TRUE(fs::exists(run.result.file));
}

TEST_F(BookSessionTest, ThroughTheLibraryTheSiteIsAskedOnlyForWhatItLacks) {
    site.chapterCount = 6;
    site.packageMissing = true;
    LoopbackServer server([&](httplib::Server& s) { site.addRoutes(s); });
    Library library(dir.path() / "library.db", server.url(""));
    RequestEngine engine(quickRetries());
    const ChapterCleaning cleaning{SiteConfig{}.brandWords()};
    BookInfo book;
    book.title = toGbk("测试之书");
    book.bookUrl = server.url("/book/7.html");
    book.tocUrl = server.url("/book/7/index.html");
    book.txtPackageUrl = server.url("/modules/article/packdown_txt_7.txt");
    BookSessionOptions epub;
    epub.base = dir.path();
    epub.format = BookFormat::Epub;  // no earlier TXT to take chapters from
    for (int run = 0; run < 2; ++run) {
        site.clearPageRequests();
        FileDownloader downloader;
        CachedChapterSource source(&library, engine, cleaning);
        BookSession session(engine, downloader, SiteConfig{}.brandWords(), &source);
        const BookSessionResult result = session.run(book, epub);
        ASSERT_TRUE(result.complete()) << result.error;
        EXPECT_EQ(result.fromPages, 6);
        EXPECT_EQ(site.pageRequests().size(), run == 0 ? 6u : 0u);
    }

    // A read under way ends cancelled; one begun after the cancel never reaches the site.
    site.latency = std::chrono::milliseconds(2000);
    site.clearPageRequests();
    CachedChapterSource uncached(nullptr, engine, cleaning);
    const ChapterEntry chapter{"1", toGbk("第1章 标题1"), server.url("/book/7/1.html")};
    std::promise<ChapterFetch> first, later;
    uncached.fetch(chapter, [&](ChapterFetch f) { first.set_value(std::move(f)); });
    while (site.pageRequests().empty()) std::this_thread::sleep_for(std::chrono::milliseconds(5));
    uncached.cancelAll();
    uncached.fetch(chapter, [&](ChapterFetch f) { later.set_value(std::move(f)); });
    EXPECT_TRUE(first.get_future().get().cancelled);
    EXPECT_TRUE(later.get_future().get().cancelled);
    EXPECT_EQ(site.pageRequests().size(), 1u);
}

}  // namespace
}  // namespace novel
