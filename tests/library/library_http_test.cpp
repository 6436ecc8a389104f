// The library against a site: chapters served from the cache without a request, read offline,
// read ahead in the background, and shelf update checks against a site whose pages change.

#include <gtest/gtest.h>

#include "catalogue/book_page.h"
#include "library/chapter_source.h"
#include "library/read_ahead.h"
#include "library/shelf_update.h"
#include "support/changing_site.h"
#include "support/temp_dir.h"
#include "web/gbk.h"

namespace novel {
namespace {
using namespace std::chrono_literals;

ChapterCleaning cleaning() {
    return ChapterCleaning::fromConfig(SiteConfig{});
}

EngineOptions quick() {
    EngineOptions options;
    options.retries = 0;
    options.pageTimeLimitSeconds = 10;
    return options;
}

// The book as `shelf add` puts it on the shelf: its table of contents read from the site.
ShelfBook bookFromSite(RequestEngine& engine, const test::ChangingSite& site, int number) {
    ShelfBook book;
    book.bookUrl = site.bookUrl(number);
    book.title = toGbk("书" + std::to_string(number));
    book.tocUrl = tocUrlOf(book.bookUrl);
    const FetchResult toc = engine.fetch({book.tocUrl, RequestStyle::Plain});
    book.toc = parseTableOfContents(textOf(toc.body), bookUrlStem(book.bookUrl));
    return book;
}

class LibraryOnline : public ::testing::Test {
  protected:
    test::TempDir dir_;
    test::ChangingSite site_{3, 10};
    Library library_{dir_.path() / "library.db", site_.url()};
    RequestEngine engine_{quick()};
};

TEST_F(LibraryOnline, AKeptChapterIsReadWithoutARequest) {
    const std::string url = site_.chapterUrl(1, 1);
    ChapterRead first = readChapter(&library_, engine_, url, cleaning());
    ASSERT_TRUE(first.ok()) << first.problem;
    EXPECT_FALSE(first.cached);
    EXPECT_EQ(toUtf8(first.text), "书1第1章的正文。<br /><br />第二段。");
    EXPECT_EQ(site_.requests(), 1);

    ChapterRead second = readChapter(&library_, engine_, url, cleaning());
    EXPECT_TRUE(second.cached);
    EXPECT_EQ(second.text, first.text);
    EXPECT_EQ(second.fetch.attempts, 0);
    EXPECT_EQ(site_.requests(), 1);

    // Asked to refresh: the site is asked and the new text kept.
    site_.setChapterText(1, 1, "改过的正文。");
    ChapterRead fresh = readChapter(&library_, engine_, url, cleaning(), true);
    EXPECT_FALSE(fresh.cached);
    EXPECT_EQ(toUtf8(fresh.text), "改过的正文。");
    EXPECT_EQ(site_.requests(), 2);
    EXPECT_EQ(toUtf8(readChapter(&library_, engine_, url, cleaning()).text), "改过的正文。");

    // Without a library the site is asked every time.
    EXPECT_FALSE(readChapter(nullptr, engine_, url, cleaning()).cached);
    EXPECT_EQ(site_.requests(), 3);
}

TEST_F(LibraryOnline, KeptChaptersStillReadWithTheSiteDown) {
    ASSERT_TRUE(readChapter(&library_, engine_, site_.chapterUrl(1, 2), cleaning()).ok());
    const std::string unkept = site_.chapterUrl(1, 3);
    site_.stop();

    for (bool refresh : {false, true}) {
        ChapterRead kept =
            readChapter(&library_, engine_, site_.chapterUrl(1, 2), cleaning(), refresh);
        EXPECT_TRUE(kept.ok()) << kept.problem;
        EXPECT_TRUE(kept.cached);
        EXPECT_EQ(toUtf8(kept.text), "书1第2章的正文。<br /><br />第二段。");
    }
    ChapterRead missing = readChapter(&library_, engine_, unkept, cleaning());
    EXPECT_FALSE(missing.ok());
    EXPECT_FALSE(missing.problem.empty());
    EXPECT_TRUE(missing.text.empty());
}

TEST_F(LibraryOnline, ReadAheadFetchesTheNextTwoAndNeverMoreAtOnce) {
    site_.setLatency(100ms);
    const ShelfBook book = bookFromSite(engine_, site_, 1);
    ASSERT_EQ(book.toc.size(), 10u);
    site_.resetCounts();

    ReadAhead ahead(library_, engine_, cleaning());
    EXPECT_EQ(ahead.start(book.toc, 0), 2);
    ahead.wait();
    EXPECT_EQ(site_.requests(), 2);
    EXPECT_LE(site_.mostAtOnce(), 2);
    EXPECT_TRUE(library_.hasChapter(book.toc[1].url));
    EXPECT_TRUE(library_.hasChapter(book.toc[2].url));
    EXPECT_FALSE(library_.hasChapter(book.toc[3].url));

    // One chapter further: only the one not kept yet is fetched.
    EXPECT_EQ(ahead.start(book.toc, 1), 1);
    ahead.wait();
    EXPECT_EQ(site_.requests(), 3);
    // At the end of the book there is nothing ahead.
    EXPECT_EQ(ahead.start(book.toc, 9), 0);

    // A deeper read-ahead keeps its own limit: five wanted, three at a time.
    ReadAhead deep(library_, engine_, cleaning(), 3);
    site_.resetCounts();
    EXPECT_EQ(deep.start(book.toc, 3), 3);
    deep.wait();
    EXPECT_EQ(site_.requests(), 3);
    EXPECT_LE(site_.mostAtOnce(), 3);
    EXPECT_EQ(site_.mostAtOnce() >= 2, true);  // they did run side by side
}

TEST_F(LibraryOnline, ReadAheadIsCancelled) {
    site_.setLatency(300ms);
    const ShelfBook book = bookFromSite(engine_, site_, 2);
    ReadAhead ahead(library_, engine_, cleaning());
    ASSERT_EQ(ahead.start(book.toc, 0), 2);
    ahead.cancel();
    ahead.wait();
    EXPECT_EQ(ahead.pending(), 0);
    EXPECT_FALSE(library_.hasChapter(book.toc[1].url));
    EXPECT_FALSE(library_.hasChapter(book.toc[2].url));
}

TEST_F(LibraryOnline, UpdateFindsNewRemovedRetitledAndRevisedChapters) {
    for (int b = 1; b <= 3; ++b)
        ASSERT_TRUE(library_.addBook(bookFromSite(engine_, site_, b)).ok());
    // The reader kept chapters 8 to 10 of book 1.
    for (int c = 8; c <= 10; ++c)
        ASSERT_TRUE(readChapter(&library_, engine_, site_.chapterUrl(1, c), cleaning()).ok());

    // Book 1: chapter 2 gone, 3 retitled, 1 and 4 swapped, 11 and 12 new, 9 rewritten.
    site_.setToc(1, {{4, "第4章"},
                     {3, "第3章（修订）"},
                     {1, "第1章"},
                     {5, "第5章"},
                     {6, "第6章"},
                     {7, "第7章"},
                     {8, "第8章"},
                     {9, "第9章"},
                     {10, "第10章"},
                     {11, "第11章"},
                     {12, "第12章"}});
    site_.setChapterText(1, 9, "重写的第九章。");
    // Book 2: the site lost its table of contents for now.
    const std::vector<ChapterEntry> book2Before = library_.book(site_.bookUrl(2))->toc;
    site_.setToc(2, {});

    std::vector<BookCheck> checks = checkShelf(library_, engine_, cleaning());
    ASSERT_EQ(checks.size(), 3u);
    const BookCheck& one = checks[2];  // the shelf lists the newest book first
    ASSERT_EQ(one.bookUrl, site_.bookUrl(1));
    EXPECT_TRUE(one.ok()) << one.problem;
    EXPECT_EQ(one.news.added, (TextList{toGbk("第11章"), toGbk("第12章")}));
    EXPECT_EQ(one.news.removed, (TextList{toGbk("第2章")}));
    EXPECT_EQ(one.news.retitled, (TextList{toGbk("第3章（修订）")}));
    EXPECT_EQ(one.news.revised, (TextList{toGbk("第9章")}));
    EXPECT_FALSE(checks[1].ok());
    EXPECT_TRUE(checks[0].ok());
    EXPECT_TRUE(checks[0].news.empty());

    // Stored: the new table with its news, the revised text; book 2 untouched.
    const ShelfBook stored = *library_.book(site_.bookUrl(1));
    EXPECT_EQ(stored.chapterCount, 11);
    EXPECT_EQ(stored.toc[0].url, site_.chapterUrl(1, 4));
    EXPECT_EQ(stored.news, one.news);
    EXPECT_GT(stored.lastCheckAt, 0);
    EXPECT_EQ(toUtf8(library_.lookupChapter(site_.chapterUrl(1, 9), cleaning())->text),
              "重写的第九章。");
    EXPECT_EQ(library_.book(site_.bookUrl(2))->toc, book2Before);
    EXPECT_EQ(library_.book(site_.bookUrl(2))->lastCheckAt, 0);

    // Asked again with nothing changed: no news, and the news stored is cleared.
    site_.setToc(2, {{1, "第1章"}});
    checks = checkShelf(library_, engine_, cleaning());
    EXPECT_TRUE(checks[2].news.empty());
    EXPECT_TRUE(library_.book(site_.bookUrl(1))->news.empty());
    EXPECT_EQ(checks[1].news.removed.size(), 9u);
}

}  // namespace
}  // namespace novel
