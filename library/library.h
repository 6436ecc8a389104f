#pragma once
// The library: one SQLite database (library.db, WAL) holding the bookshelf with each book's table
// of contents, reading positions and update news, and the chapter cache. Every write is one
// transaction, so a program killed at any moment leaves it consistent. Addresses on the configured
// site are stored relative to it (path and query), so a domain move or another demo port keeps the
// whole library; addresses of other origins are stored whole. All members may be called from any
// thread (calls are serialised); none throws.

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "catalogue/site_config.h"
#include "reader/paragraphs.h"
#include "reader/toc_parser.h"
#include "web/text.h"

namespace novel {

// Seconds since the epoch.
using UnixTime = std::int64_t;
UnixTime unixNow();

// What the chapter text is cleaned with. Its signature changes whenever the words or the program's
// cleaning rules change, and a kept page is then cleaned again before its text is served.
struct ChapterCleaning {
    BrandWords brandWords;  // with the advertising sentences of site.ini

    static ChapterCleaning fromConfig(const SiteConfig& config);
    std::string signature() const;
    // The cleaned chapter text of a chapter page.
    Text textFromPage(std::string_view page) const;
};

// Raised whenever the cleaning rules in code change (cleanChapterText, textFromPage).
inline constexpr int kCleaningRulesVersion = 1;

struct CachedChapter {
    std::string url;  // absolute, on the current site
    Bytes page;       // the chapter page as fetched
    Text text;        // cleaned with the current ChapterCleaning
    UnixTime fetchedAt = 0;
};

struct ReadingPosition {
    std::string chapterUrl;  // absolute
    int chapterIndex = 0;    // row in the table of contents, from 0
    ParagraphAnchor anchor;  // the paragraph at the top of the view
    UnixTime readAt = 0;
    friend bool operator==(const ReadingPosition&, const ReadingPosition&) = default;
};

// What the last update check found for a book (chapter titles, GBK).
struct UpdateNews {
    TextList added;
    TextList removed;
    TextList retitled;
    TextList revised;
    bool empty() const {
        return added.empty() && removed.empty() && retitled.empty() && revised.empty();
    }
    friend bool operator==(const UpdateNews&, const UpdateNews&) = default;
};

struct ShelfBook {
    std::string bookUrl;  // absolute; the book's key
    Text title;
    Text author;
    std::string tocUrl;
    std::string txtPackageUrl;
    std::string coverUrl;
    std::vector<ChapterEntry> toc;  // in page order, ids "1".."n", absolute URLs
    int chapterCount = 0;           // toc.size(), also filled where toc is left out
    std::optional<ReadingPosition> lastRead;
    UnixTime addedAt = 0;
    UnixTime lastCheckAt = 0;  // 0: never checked
    UpdateNews news;           // of the last check
    bool onShelf = true;       // false: only remembered as the book read last
};

// What is known of a kept chapter besides its page: its book and title. The shelf's table of
// contents tells these for books on the shelf; this keeps them for the others.
struct ChapterLabel {
    std::string bookUrl;  // absolute
    Text bookTitle;
    Text chapterTitle;
    int chapterIndex = -1;  // row in the book's table of contents, from 0; -1 unknown
};

enum class FulltextScope { Book, Shelf, All };  // "本书", "书架", "全部缓存"

struct FulltextHit {
    std::string
        bookUrl;     // absolute; for an unlabelled chapter, the address of its folder + ".html"
    Text bookTitle;  // empty when unknown
    std::string chapterUrl;
    Text chapterTitle;      // empty when unknown
    int chapterIndex = -1;  // row in the book's table of contents; -1 unknown
    bool onShelf = false;
    std::string snippet;  // UTF-8 plain text around the hit
    size_t hitBegin = 0;  // byte range of the hit in snippet
    size_t hitEnd = 0;
};

struct FulltextResult {
    std::vector<FulltextHit> hits;  // grouped by book (title, then address), in chapter order
    int matched = 0;                // chapters found in the scope, `hits` holds at most the limit
    int unindexed = 0;              // kept chapters not in the index yet (still being built)
};

struct FulltextProgress {
    int indexed = 0;
    int total = 0;
    bool done() const { return indexed >= total; }
};

// The outcome of a write: ok, or the reason in words for the user.
struct LibraryResult {
    std::string problem;
    bool ok() const { return problem.empty(); }
};

enum class LibraryState {
    Open,         // read and write
    ReadOnly,     // readable; nothing is kept (problem says why)
    Unavailable,  // no library this run (problem says why); reading still works without it
};

class Library {
  public:
    static constexpr std::int64_t kDefaultCacheLimitBytes = 500ll * 1024 * 1024;

    // Opens (or creates) the library at `file` for the site `siteUrl` (base URL, no trailing
    // slash). A corrupt or foreign file is moved aside to "<file>.corrupt-<time>" and a fresh
    // library started; openProblem() then says so once. Never fails outright: see state().
    Library(std::filesystem::path file, std::string siteUrl);
    ~Library();
    Library(const Library&) = delete;
    Library& operator=(const Library&) = delete;

    LibraryState state() const;
    bool writable() const { return state() == LibraryState::Open; }
    // What the user should be told about opening, in words; empty when all went well.
    const std::string& openProblem() const;
    // Where a broken file was set aside this run; empty when none was.
    const std::filesystem::path& setAsidePath() const;
    const std::filesystem::path& file() const;
    const std::string& siteUrl() const;

    // --- chapter cache ---

    // The kept chapter, its text re-cleaned first when `cleaning` differs from what it was cleaned
    // with. A stored page that does not decompress or match its hash is dropped: a miss.
    std::optional<CachedChapter> lookupChapter(const std::string& url,
                                               const ChapterCleaning& cleaning);
    bool hasChapter(const std::string& url);
    // Addresses of the kept chapters whose address starts with `prefix` (absolute addresses).
    std::vector<std::string> keptChapterUrls(const std::string& prefix);
    // Keeps a fetched chapter page (replacing an older copy), then evicts least recently used
    // chapters until the cache fits its limit.
    LibraryResult storeChapter(const std::string& url, std::string_view page,
                               const ChapterCleaning& cleaning, UnixTime fetchedAt);
    void setCacheLimit(std::int64_t bytes);
    std::int64_t cacheLimit() const;
    // Bytes the cache holds (compressed pages and texts).
    std::int64_t cacheBytes();
    int cachedChapterCount();
    // "清除缓存": drops every kept chapter; the shelf stays.
    LibraryResult clearCache();

    // Keeps what is known of a kept chapter's book and title (nothing happens when it is not kept).
    LibraryResult labelChapter(const std::string& url, const ChapterLabel& label);

    // --- full-text index ---

    // Finds the kept chapters whose text holds `query` (UTF-8, as typed; see
    // fulltextMatchExpression) in the scope; `bookUrl` names the book of FulltextScope::Book. At
    // most `limit` hits, each with a snippet.
    FulltextResult findText(std::string_view query, FulltextScope scope,
                            const std::string& bookUrl = {}, int limit = 200);
    // Indexes up to `count` kept chapters that are not in the index yet (chapters of a library
    // made before the index existed), in one short transaction; returns how many, -1 on failure.
    int indexPendingChapters(int count);
    FulltextProgress fulltextProgress();

    // --- shelf ---

    // Adds the book, or updates its details and table of contents when it is already there (its
    // reading position and news are kept).
    LibraryResult addBook(const ShelfBook& book);
    // Keeps a book that is read but not on the shelf, so its reading position is kept and
    // continueReading finds it; a book already on the shelf stays there, updated as addBook does.
    // Only the last such book is kept: an earlier one off the shelf is dropped.
    LibraryResult rememberBook(const ShelfBook& book);
    LibraryResult removeBook(const std::string& bookUrl);
    // Every book on the shelf, most recently added first; `withToc` false leaves toc empty
    // (chapterCount set).
    std::vector<ShelfBook> books(bool withToc = false);
    std::optional<ShelfBook> book(const std::string& bookUrl);
    LibraryResult savePosition(const std::string& bookUrl, const ReadingPosition& position);
    // "继续阅读": the book read most recently (on the shelf or remembered), with its position;
    // nullopt when none was read.
    std::optional<ShelfBook> continueReading();
    // Stores a checked table of contents and its news in one transaction.
    LibraryResult recordUpdate(const std::string& bookUrl, const std::vector<ChapterEntry>& toc,
                               const UpdateNews& news, UnixTime checkedAt);

    // Address as stored: path and query for the site, the whole address otherwise; and back.
    std::string storedAddress(std::string_view url) const;
    std::string absoluteAddress(std::string_view stored) const;

  private:
    LibraryResult putBook(const ShelfBook& book, bool shelved);
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

}  // namespace novel
