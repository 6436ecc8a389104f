// The library database without a network: the chapter cache, the shelf, positions, addresses
// relative to the site, and what happens to broken or foreign files.

#include <gtest/gtest.h>

#include <sqlite3.h>

#include <fstream>

#include "catalogue/book_page.h"
#include "library/library.h"
#include "library/library_fixtures.h"
#include "library/library_path.h"
#include "library/page_store.h"
#include "library/shelf_update.h"
#include "support/temp_dir.h"
#include "web/gbk.h"

namespace novel {
namespace {
namespace fs = std::filesystem;

using test::chapterPage;
using test::demoCleaning;
const std::string& kSite = test::kLibrarySite;

std::string chapterUrl(int n) {
    return kSite + "/book/1/" + std::to_string(n) + ".html";
}

ShelfBook sampleBook(const std::string& site, int number, int chapters) {
    ShelfBook book;
    book.bookUrl = site + "/book/" + std::to_string(number) + ".html";
    book.title = toGbk("书" + std::to_string(number));
    book.author = toGbk("作者");
    book.tocUrl = site + "/book/" + std::to_string(number) + "/index.html";
    book.txtPackageUrl = "http://files.example/" + std::to_string(number) + ".txt";
    for (int c = 1; c <= chapters; ++c)
        book.toc.push_back(
            {std::to_string(c), toGbk("第" + std::to_string(c) + "章"),
             site + "/book/" + std::to_string(number) + "/" + std::to_string(c) + ".html"});
    return book;
}

class LibraryTest : public ::testing::Test {
  protected:
    fs::path file() const { return dir_.path() / "data" / "library.db"; }
    test::TempDir dir_;
};

TEST_F(LibraryTest, KeptChapterComesBackWithItsCleanedText) {
    Library library(file(), kSite);
    ASSERT_EQ(library.state(), LibraryState::Open) << library.openProblem();
    EXPECT_TRUE(library.openProblem().empty());
    EXPECT_FALSE(library.lookupChapter(chapterUrl(1), demoCleaning()));

    const Bytes page = chapterPage("正文 www.演示书城.com 结束");
    ASSERT_TRUE(library.storeChapter(chapterUrl(1), page, demoCleaning(), 1234).ok());
    const std::optional<CachedChapter> kept = library.lookupChapter(chapterUrl(1), demoCleaning());
    ASSERT_TRUE(kept);
    EXPECT_EQ(kept->page, page);
    EXPECT_EQ(toUtf8(kept->text), "正文  结束");
    EXPECT_EQ(kept->fetchedAt, 1234);
    EXPECT_EQ(library.cachedChapterCount(), 1);

    // Kept across a reopen: it is in the file, not in memory.
    Library again(file(), kSite);
    EXPECT_TRUE(again.hasChapter(chapterUrl(1)));
    EXPECT_TRUE(again.clearCache().ok());
    EXPECT_FALSE(again.lookupChapter(chapterUrl(1), demoCleaning()));
    EXPECT_EQ(again.cacheBytes(), 0);
}

TEST_F(LibraryTest, ChangedBrandWordsCleanTheKeptPageAgain) {
    Library library(file(), kSite);
    const Bytes page = chapterPage("甲乙 新品牌 丙丁 广告句。");
    ASSERT_TRUE(library.storeChapter(chapterUrl(1), page, demoCleaning(), 1).ok());
    EXPECT_EQ(toUtf8(library.lookupChapter(chapterUrl(1), demoCleaning())->text),
              "甲乙 新品牌 丙丁 广告句。");

    ChapterCleaning moved = demoCleaning();
    moved.brandWords.chinese = toGbk("新品牌");
    EXPECT_NE(moved.signature(), demoCleaning().signature());
    EXPECT_EQ(toUtf8(library.lookupChapter(chapterUrl(1), moved)->text), "甲乙  丙丁 广告句。");
    moved.brandWords.adSentences.push_back(toGbk("广告句。"));
    EXPECT_EQ(toUtf8(library.lookupChapter(chapterUrl(1), moved)->text), "甲乙  丙丁 ");
    // And back: the old rules hold again, the page is still there to clean.
    EXPECT_EQ(toUtf8(library.lookupChapter(chapterUrl(1), demoCleaning())->text),
              "甲乙 新品牌 丙丁 广告句。");
}

TEST_F(LibraryTest, ADamagedStoredPageIsAMissAndIsDropped) {
    {
        Library library(file(), kSite);
        ASSERT_TRUE(library.storeChapter(chapterUrl(1), chapterPage("一"), demoCleaning(), 1).ok());
        ASSERT_TRUE(library.storeChapter(chapterUrl(2), chapterPage("二"), demoCleaning(), 1).ok());
        ASSERT_TRUE(library.storeChapter(chapterUrl(3), chapterPage("三"), demoCleaning(), 1).ok());
    }
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(file().c_str(), &db), SQLITE_OK);
    // Page bytes that are no zlib stream; a page that inflates but to other bytes; a wrong size.
    EXPECT_EQ(
        sqlite3_exec(db,
                     "UPDATE chapter_cache SET page=x'00112233' WHERE url LIKE '%/1.html';"
                     "UPDATE chapter_cache SET page_hash=page_hash+1 WHERE url LIKE '%/2.html';"
                     "UPDATE chapter_cache SET page_size=page_size-1 WHERE url LIKE '%/3.html';",
                     nullptr, nullptr, nullptr),
        SQLITE_OK);
    sqlite3_close(db);

    Library library(file(), kSite);
    for (int n = 1; n <= 3; ++n) {
        EXPECT_FALSE(library.lookupChapter(chapterUrl(n), demoCleaning())) << n;
        EXPECT_FALSE(library.hasChapter(chapterUrl(n))) << n;
    }
}

TEST_F(LibraryTest, EvictionTakesTheLeastRecentlyUsedFirst) {
    Library library(file(), kSite);
    // Pages that do not compress much, so each one's share is known roughly.
    auto page = [](int n) {
        std::string text;
        for (int i = 0; i < 2000; ++i) text += std::to_string((i * 7919 + n * 104729) % 100003);
        return chapterPage(text);
    };
    for (int n = 1; n <= 3; ++n)
        ASSERT_TRUE(library.storeChapter(chapterUrl(n), page(n), demoCleaning(), n).ok());
    const std::int64_t three = library.cacheBytes();
    // Chapter 1 read again: chapter 2 is now the least recently used.
    ASSERT_TRUE(library.lookupChapter(chapterUrl(1), demoCleaning()));
    library.setCacheLimit(three + three / 6);  // room for three pages, not four
    ASSERT_TRUE(library.storeChapter(chapterUrl(4), page(4), demoCleaning(), 4).ok());
    EXPECT_TRUE(library.hasChapter(chapterUrl(1)));
    EXPECT_FALSE(library.hasChapter(chapterUrl(2)));
    EXPECT_TRUE(library.hasChapter(chapterUrl(3)));
    EXPECT_TRUE(library.hasChapter(chapterUrl(4)));
    EXPECT_LE(library.cacheBytes(), three + three / 6);

    // A limit below one page keeps only the page just stored.
    library.setCacheLimit(1);
    ASSERT_TRUE(library.storeChapter(chapterUrl(5), page(5), demoCleaning(), 5).ok());
    EXPECT_EQ(library.cachedChapterCount(), 1);
    EXPECT_TRUE(library.hasChapter(chapterUrl(5)));
}

TEST_F(LibraryTest, ShelfAddListRemoveAndContinueReading) {
    Library library(file(), kSite);
    EXPECT_TRUE(library.books().empty());
    EXPECT_FALSE(library.continueReading());
    ASSERT_TRUE(library.addBook(sampleBook(kSite, 1, 3)).ok());
    ASSERT_TRUE(library.addBook(sampleBook(kSite, 2, 5)).ok());

    std::vector<ShelfBook> books = library.books();
    ASSERT_EQ(books.size(), 2u);
    EXPECT_EQ(books[0].bookUrl, kSite + "/book/2.html");  // newest first
    EXPECT_EQ(books[0].chapterCount, 5);
    EXPECT_TRUE(books[0].toc.empty());
    const std::optional<ShelfBook> one = library.book(kSite + "/book/1.html");
    ASSERT_TRUE(one);
    EXPECT_EQ(one->toc, sampleBook(kSite, 1, 3).toc);
    EXPECT_EQ(one->txtPackageUrl, "http://files.example/1.txt");
    EXPECT_EQ(toUtf8(one->title), "书1");

    const ReadingPosition position{kSite + "/book/1/2.html", 1, {4, toGbk("他抬起头")}, 100};
    ASSERT_TRUE(library.savePosition(kSite + "/book/1.html", position).ok());
    ASSERT_TRUE(
        library.savePosition(kSite + "/book/2.html", {kSite + "/book/2/1.html", 0, {0, {}}, 50})
            .ok());
    EXPECT_FALSE(library.savePosition(kSite + "/book/9.html", position).ok());
    std::optional<ShelfBook> next = library.continueReading();
    ASSERT_TRUE(next);
    EXPECT_EQ(next->bookUrl, kSite + "/book/1.html");
    EXPECT_EQ(next->lastRead, position);

    // Adding again refreshes the details but keeps the reading position.
    ShelfBook again = sampleBook(kSite, 1, 4);
    again.title = toGbk("新书名");
    ASSERT_TRUE(library.addBook(again).ok());
    EXPECT_EQ(library.books().size(), 2u);
    EXPECT_EQ(library.book(kSite + "/book/1.html")->chapterCount, 4);
    EXPECT_EQ(library.book(kSite + "/book/1.html")->lastRead, position);

    ASSERT_TRUE(library.removeBook(kSite + "/book/1.html").ok());
    EXPECT_FALSE(library.book(kSite + "/book/1.html"));
    EXPECT_EQ(library.continueReading()->bookUrl, kSite + "/book/2.html");
}

TEST_F(LibraryTest, TheBookReadLastIsRememberedOffTheShelf) {
    Library library(file(), kSite);
    ASSERT_TRUE(library.addBook(sampleBook(kSite, 1, 3)).ok());
    ASSERT_TRUE(library.rememberBook(sampleBook(kSite, 2, 4)).ok());
    const ReadingPosition position{kSite + "/book/2/3.html", 2, {7, toGbk("雨")}, 200};
    ASSERT_TRUE(library.savePosition(kSite + "/book/2.html", position).ok());
    // Not on the shelf, nor checked for updates, but continued.
    ASSERT_EQ(library.books().size(), 1u);
    std::optional<ShelfBook> next = library.continueReading();
    ASSERT_TRUE(next);
    EXPECT_EQ(next->bookUrl, kSite + "/book/2.html");
    EXPECT_FALSE(next->onShelf);
    EXPECT_EQ(next->lastRead, position);
    EXPECT_EQ(next->toc.size(), 4u);

    // Remembering a shelf book leaves it on the shelf; only one book is kept off the shelf.
    ASSERT_TRUE(library.rememberBook(sampleBook(kSite, 1, 3)).ok());
    EXPECT_TRUE(library.book(kSite + "/book/1.html")->onShelf);
    ASSERT_TRUE(library.rememberBook(sampleBook(kSite, 3, 2)).ok());
    EXPECT_FALSE(library.book(kSite + "/book/2.html"));
    ASSERT_TRUE(library.book(kSite + "/book/3.html"));

    // Adding the remembered book puts it on the shelf with its position.
    ASSERT_TRUE(library.savePosition(kSite + "/book/3.html", position).ok());
    ASSERT_TRUE(library.addBook(sampleBook(kSite, 3, 2)).ok());
    EXPECT_EQ(library.books().size(), 2u);
    EXPECT_EQ(library.book(kSite + "/book/3.html")->lastRead, position);
    ASSERT_TRUE(library.rememberBook(sampleBook(kSite, 4, 1)).ok());
    EXPECT_TRUE(library.book(kSite + "/book/3.html"));
}

TEST_F(LibraryTest, AFirstVersionLibraryKeepsItsShelf) {
    {
        Library library(file(), kSite);
        ASSERT_TRUE(library.addBook(sampleBook(kSite, 5, 2)).ok());
    }
    {
        // Back to the first schema, as the first version of the program left it.
        sqlite3* db = nullptr;
        ASSERT_EQ(sqlite3_open(file().c_str(), &db), SQLITE_OK);
        ASSERT_EQ(sqlite3_exec(db, R"sql(
DROP TABLE IF EXISTS books_v1;
CREATE TABLE books_v1 AS SELECT id, book_url, title, author, toc_url, txt_package_url, cover_url,
    added_at, last_check_at, read_chapter_url, read_chapter_index, read_paragraph, read_snippet,
    read_at FROM books;
PRAGMA writable_schema=ON;
DELETE FROM sqlite_schema WHERE name NOT IN ('books_v1') AND type IN ('table','index');
PRAGMA writable_schema=OFF;
)sql",
                               nullptr, nullptr, nullptr),
                  SQLITE_OK);
        sqlite3_close(db);
        // The rest of the first schema, made afresh beside the old books.
        ASSERT_EQ(sqlite3_open(file().c_str(), &db), SQLITE_OK);
        ASSERT_EQ(sqlite3_exec(db, test::kFirstLibrarySchema, nullptr, nullptr, nullptr),
                  SQLITE_OK);
        ASSERT_EQ(sqlite3_exec(db, "INSERT INTO books SELECT * FROM books_v1; DROP TABLE books_v1;",
                               nullptr, nullptr, nullptr),
                  SQLITE_OK);
        sqlite3_close(db);
    }
    if (geteuid() != 0) {  // root writes into read-only folders
        fs::permissions(file().parent_path(), fs::perms::owner_write, fs::perm_options::remove);
        {
            // Read-only, the old file is read as it is.
            Library old(file(), kSite);
            EXPECT_EQ(old.state(), LibraryState::ReadOnly);
            EXPECT_EQ(old.books().size(), 1u);
        }
        fs::permissions(file().parent_path(), fs::perms::owner_write, fs::perm_options::add);
    }
    Library library(file(), kSite);
    ASSERT_EQ(library.state(), LibraryState::Open);
    ASSERT_EQ(library.books().size(), 1u);
    EXPECT_TRUE(library.books()[0].onShelf);
    EXPECT_EQ(library.books()[0].bookUrl, kSite + "/book/5.html");
}

TEST_F(LibraryTest, AMovedSiteKeepsTheWholeLibrary) {
    const std::string moved = "https://novels.example.org";
    {
        Library library(file(), kSite);
        ASSERT_TRUE(library.addBook(sampleBook(kSite, 1, 2)).ok());
        ASSERT_TRUE(
            library.savePosition(kSite + "/book/1.html", {kSite + "/book/1/2.html", 1, {0, {}}, 1})
                .ok());
        ASSERT_TRUE(library.storeChapter(chapterUrl(1), chapterPage("一"), demoCleaning(), 1).ok());
        EXPECT_EQ(library.storedAddress(kSite + "/a?b=1"), "/a?b=1");
        EXPECT_EQ(library.storedAddress("http://127.0.0.1:80001/a"), "http://127.0.0.1:80001/a");
    }
    Library library(file(), moved + "/");
    const std::optional<ShelfBook> book = library.book(moved + "/book/1.html");
    ASSERT_TRUE(book);
    EXPECT_EQ(book->tocUrl, moved + "/book/1/index.html");
    EXPECT_EQ(book->toc[1].url, moved + "/book/1/2.html");
    EXPECT_EQ(book->lastRead->chapterUrl, moved + "/book/1/2.html");
    EXPECT_EQ(book->txtPackageUrl, "http://files.example/1.txt");  // another origin stays
    EXPECT_TRUE(library.hasChapter(moved + "/book/1/1.html"));
}

TEST_F(LibraryTest, CorruptAndForeignFilesAreSetAsideOnce) {
    fs::create_directories(file().parent_path());
    const std::pair<const char*, std::function<void()>> cases[] = {
        {"text file", [&] { std::ofstream(file()) << "这不是书库\n"; }},
        {"foreign database",
         [&] {
             sqlite3* db = nullptr;
             sqlite3_open(file().c_str(), &db);
             sqlite3_exec(db, "CREATE TABLE notes(x); INSERT INTO notes VALUES(1);", nullptr,
                          nullptr, nullptr);
             sqlite3_close(db);
         }},
        {"damaged library",
         [&] {
             {
                 Library library(file(), kSite);
                 for (int n = 0; n < 200; ++n) library.addBook(sampleBook(kSite, n, 20));
             }
             // Scribble over pages in the middle of the file.
             std::fstream f(file(), std::ios::in | std::ios::out | std::ios::binary);
             f.seekp(8192);
             const std::string junk(16384, '\x5A');
             f.write(junk.data(), static_cast<std::streamsize>(junk.size()));
         }},
    };
    for (const auto& [name, make] : cases) {
        SCOPED_TRACE(name);
        for (const fs::directory_entry& e : fs::directory_iterator(file().parent_path()))
            fs::remove(e.path());
        make();
        const Bytes original = [&] {
            std::ifstream in(file(), std::ios::binary);
            return Bytes(std::istreambuf_iterator<char>(in), {});
        }();
        {
            Library library(file(), kSite);
            EXPECT_EQ(library.state(), LibraryState::Open);
            EXPECT_NE(library.openProblem().find("已另存为"), std::string::npos);
            ASSERT_FALSE(library.setAsidePath().empty());
            std::ifstream in(library.setAsidePath(), std::ios::binary);
            // Kept whole, not a byte changed.
            EXPECT_TRUE(Bytes(std::istreambuf_iterator<char>(in), {}) == original);
            EXPECT_TRUE(library.books().empty());
            EXPECT_TRUE(library.addBook(sampleBook(kSite, 1, 1)).ok());
        }
        Library reopened(file(), kSite);
        EXPECT_TRUE(reopened.openProblem().empty()) << reopened.openProblem();  // told once
        EXPECT_EQ(reopened.books().size(), 1u);
    }
}

TEST_F(LibraryTest, WithoutAWritableFolderTheLibrarySaysWhy) {
    // A folder that cannot exist: its parent is a file.
    std::ofstream(dir_.path() / "plain") << "x";
    Library nowhere(dir_.path() / "plain" / "library.db", kSite);
    EXPECT_EQ(nowhere.state(), LibraryState::Unavailable);
    EXPECT_NE(nowhere.openProblem().find("不可写入"), std::string::npos);
    EXPECT_FALSE(nowhere.addBook(sampleBook(kSite, 1, 1)).ok());
    EXPECT_FALSE(nowhere.storeChapter(chapterUrl(1), chapterPage("一"), demoCleaning(), 1).ok());
    EXPECT_FALSE(nowhere.lookupChapter(chapterUrl(1), demoCleaning()));
    EXPECT_TRUE(nowhere.books().empty());
}

TEST_F(LibraryTest, AReadOnlyFolderGivesAReadOnlyLibrary) {
    if (geteuid() == 0) GTEST_SKIP() << "root writes into read-only folders";
    {
        Library library(file(), kSite);
        ASSERT_TRUE(library.addBook(sampleBook(kSite, 1, 2)).ok());
    }
    fs::permissions(file().parent_path(), fs::perms::owner_read | fs::perms::owner_exec);
    {
        Library library(file(), kSite);
        EXPECT_EQ(library.state(), LibraryState::ReadOnly);
        EXPECT_NE(library.openProblem().find("只读"), std::string::npos);
        EXPECT_EQ(library.books().size(), 1u);
        EXPECT_FALSE(library.removeBook(kSite + "/book/1.html").ok());
    }
    fs::permissions(file().parent_path(), fs::perms::owner_all);
}

TEST_F(LibraryTest, SchemaIsVersionedAndCheckedAfterOpening) {
    { Library library(file(), kSite); }
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(file().c_str(), &db), SQLITE_OK);
    sqlite3_stmt* stmt = nullptr;
    sqlite3_prepare_v2(db, "PRAGMA user_version", -1, &stmt, nullptr);
    ASSERT_EQ(sqlite3_step(stmt), SQLITE_ROW);
    EXPECT_EQ(sqlite3_column_int(stmt, 0), 3);
    sqlite3_finalize(stmt);
    sqlite3_prepare_v2(db, "PRAGMA journal_mode", -1, &stmt, nullptr);
    ASSERT_EQ(sqlite3_step(stmt), SQLITE_ROW);
    EXPECT_STREQ(reinterpret_cast<const char*>(sqlite3_column_text(stmt, 0)), "wal");
    sqlite3_finalize(stmt);
    // A library from a newer program is opened read-only, never set aside or changed.
    sqlite3_exec(db, "PRAGMA user_version=99", nullptr, nullptr, nullptr);
    sqlite3_close(db);
    Library newer(file(), kSite);
    EXPECT_EQ(newer.state(), LibraryState::ReadOnly);
    EXPECT_TRUE(newer.setAsidePath().empty());
    EXPECT_NE(newer.openProblem().find("较新版本"), std::string::npos);
}

TEST(LibraryPath, FollowsTheDataFolderOfTheProgram) {
    const char* home = std::getenv("HOME");
    const char* xdg = std::getenv("XDG_DATA_HOME");
    const std::string savedHome = home ? home : "", savedXdg = xdg ? xdg : "";
    setenv("HOME", "/home/reader", 1);
    setenv("XDG_DATA_HOME", "/data/xdg", 1);
    EXPECT_EQ(defaultLibraryPath(), fs::path("/data/xdg/novelreader/library.db"));
    setenv("XDG_DATA_HOME", "relative/is/ignored", 1);
    EXPECT_EQ(defaultLibraryPath(), fs::path("/home/reader/.local/share/novelreader/library.db"));
    unsetenv("XDG_DATA_HOME");
    EXPECT_EQ(defaultLibraryPath(), fs::path("/home/reader/.local/share/novelreader/library.db"));
    if (home) setenv("HOME", savedHome.c_str(), 1);
    if (xdg) setenv("XDG_DATA_HOME", savedXdg.c_str(), 1);
}

TEST(PageStore, RoundTripAndEveryKindOfDamage) {
    const Bytes page = chapterPage(std::string(5000, 'a') + "正文");
    const Bytes stored = compressPage(page);
    ASSERT_FALSE(stored.empty());
    EXPECT_LT(stored.size(), page.size());
    EXPECT_EQ(decompressPage(stored, page.size(), pageHash(page)), page);
    EXPECT_FALSE(decompressPage(stored, page.size() - 1, pageHash(page)));
    EXPECT_FALSE(decompressPage(stored, page.size() + 1, pageHash(page)));
    EXPECT_FALSE(decompressPage(stored, page.size(), pageHash(page) ^ 1));
    EXPECT_FALSE(decompressPage(stored.substr(0, stored.size() / 2), page.size(), pageHash(page)));
    EXPECT_FALSE(decompressPage("", 0, pageHash("")));
    EXPECT_FALSE(decompressPage(stored, kLargestKeptPage + 1, pageHash(page)));
    const Bytes empty = compressPage("");
    EXPECT_EQ(decompressPage(empty, 0, pageHash("")), Bytes());
}

TEST(CompareTables, NewRemovedRetitledByAddressAndMovesAreNoNews) {
    auto entry = [](int n, const char* title) {
        return ChapterEntry{"", toGbk(title), "u/" + std::to_string(n)};
    };
    const std::vector<ChapterEntry> before{entry(1, "一"), entry(2, "二"), entry(3, "三"),
                                           entry(4, "四")};
    const std::vector<ChapterEntry> after{entry(2, "二"), entry(1, "一"), entry(3, "三（修）"),
                                          entry(5, "五"), entry(6, "六")};
    const UpdateNews news = compareTables(before, after);
    EXPECT_EQ(news.added, (TextList{toGbk("五"), toGbk("六")}));
    EXPECT_EQ(news.removed, (TextList{toGbk("四")}));
    EXPECT_EQ(news.retitled, (TextList{toGbk("三（修）")}));
    EXPECT_TRUE(news.revised.empty());
    EXPECT_TRUE(compareTables(before, before).empty());
}

}  // namespace
}  // namespace novel
