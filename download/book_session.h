#pragma once
// One complete-book download, shared by the window, the command-line tool and the benchmark: the
// table of contents, the site's TXT package (cleaned on its way in), the chapters the package
// lacks from their pages (a few at a time), and the book written out as TXT or EPUB. Chapters that
// cannot be had are written as marks and listed; a rerun fills them in.

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "catalogue/site_config.h"
#include "download/book_assembly.h"
#include "download/file_downloader.h"
#include "reader/toc_parser.h"
#include "web/request_engine.h"

namespace novel {

// What a chapter source gives for one chapter: the reader's text of the chapter (HTML, cleaned as
// chapterTextFromPage cleans it), or why there is none.
struct ChapterFetch {
    Text text;
    std::string problem;  // UTF-8, for the user; empty when ok
    bool cancelled = false;
    bool ok() const { return problem.empty() && !cancelled; }
};

// Where the session gets chapter texts: straight from the site by default; the chapter cache
// plugs in here (serving what it holds, fetching and keeping the rest).
class ChapterSource {
  public:
    virtual ~ChapterSource() = default;
    using Done = std::function<void(ChapterFetch)>;
    // Begins getting one chapter and returns at once; `done` runs exactly once, on any thread,
    // also for a cancelled one. It must not block on the source.
    virtual void fetch(const ChapterEntry& chapter, Done done) = 0;
    // Cancels everything begun and not yet done; their callbacks still run.
    virtual void cancelAll() = 0;
};

// Chapter pages through the request engine (its retries, its per-site limit).
class EngineChapterSource : public ChapterSource {
  public:
    EngineChapterSource(RequestEngine& engine, BrandWords brand);
    ~EngineChapterSource() override;
    void fetch(const ChapterEntry& chapter, Done done) override;
    void cancelAll() override;

  private:
    RequestEngine& engine_;
    BrandWords brand_;
    std::mutex mutex_;
    std::vector<RequestId> running_;
};

enum class BookFormat { Txt, Epub };
enum class TxtEncoding { Gbk, Utf8 };

// The book to download. The window has all of it in CurrentBook; bookInfoFromPage reads it from
// the book's page for the command-line tool.
struct BookInfo {
    Text title;  // GBK
    Text author;
    Text bookUrl;
    Text tocUrl;
    Text chapterBaseUrl;                 // bookUrlStem(bookUrl)
    Text txtPackageUrl;                  // empty: the book is built from its pages
    Text coverUrl;                       // empty: no cover
    std::vector<ChapterEntry> chapters;  // empty: read from tocUrl
};

// The book's details from its page: title and author from the keywords meta, the TXT package, the
// cover image and the table-of-contents link (the book's address + "/index.html" without one).
BookInfo bookInfoFromPage(std::string_view bookUrl, std::string_view page);
// A link as the book's page writes it, as a full address; empty for none.
Text bookPageLink(std::string_view bookUrl, std::string_view link);

struct BookSessionOptions {
    std::filesystem::path base;  // the folder that holds 下载小说
    BookFormat format = BookFormat::Txt;
    TxtEncoding encoding = TxtEncoding::Gbk;
    int connections = 4;  // chapter pages requested at a time (at least 1)
};

struct BookProgress {
    enum class Phase { TableOfContents, Package, Chapters, Writing };
    Phase phase = Phase::TableOfContents;
    int chaptersDone = 0;     // chapters placed: from the package, an earlier output or a page
    int chaptersTotal = 0;    // chapters in the table of contents
    int pagesDone = 0;        // chapter pages finished (either way)
    int pagesTotal = 0;       // chapter pages to fetch
    int64_t bytes = 0;        // bytes received: the package and the chapter texts
    int64_t packageSize = 0;  // 0 until known
};

struct MissingChapter {
    Text title;  // GBK
    Text url;
    std::string reason;  // UTF-8
};

struct BookSessionResult {
    bool written = false;  // the book's file is in place (complete or with marks)
    bool cancelled = false;
    std::string error;           // UTF-8: why nothing was written
    std::string packageProblem;  // UTF-8: why the package was not used (empty when it was)
    std::filesystem::path file;
    int chapters = 0;
    int fromPackage = 0;
    int fromEarlier = 0;  // taken from the book's earlier output file
    int fromPages = 0;
    std::vector<MissingChapter> missing;
    bool complete() const { return written && missing.empty(); }
};

// Runs one book download. run() blocks its caller; the window runs it on a thread of its own and
// hands the callbacks (which come on that thread or the engine's) to the GUI thread. cancel() may
// be called from any thread; the run then ends soon with `cancelled` and writes nothing. A session
// stays cancelled, so a cancel that comes before run() has begun is not lost: a new run needs a
// new session.
//
// Without a cache, a rerun fills in only what the last run lacked: the book's earlier TXT file
// (TITLE.txt in its folder, GBK or UTF-8) is read back, and every chapter it holds (not a mark) is
// taken from it instead of its page. An EPUB-only book has no such file; its rerun asks the source.
class BookSession {
  public:
    // `source` may be null: chapter pages then come through `engine`.
    BookSession(RequestEngine& engine, FileDownloader& downloader, BrandWords brand,
                ChapterSource* source = nullptr);
    ~BookSession();
    BookSession(const BookSession&) = delete;
    BookSession& operator=(const BookSession&) = delete;

    using ProgressCallback = std::function<void(const BookProgress&)>;
    void setProgressCallback(ProgressCallback callback) { progress_ = std::move(callback); }

    BookSessionResult run(const BookInfo& book, const BookSessionOptions& options);
    void cancel();

  private:
    Text readPackage(const BookInfo& book, const std::filesystem::path& folder,
                     std::string* problem);
    void report();

    RequestEngine& engine_;
    FileDownloader& downloader_;
    BrandWords brand_;
    std::unique_ptr<ChapterSource> ownSource_;
    ChapterSource* source_;
    ProgressCallback progress_;
    std::atomic<bool> cancelled_{false};
    std::mutex progressMutex_;
    BookProgress state_;
};

// The path of the book's file for these options: base/下载小说/TITLE/TITLE.txt (or .epub).
std::filesystem::path bookFilePath(const std::filesystem::path& base, std::string_view title,
                                   BookFormat format);

}  // namespace novel
