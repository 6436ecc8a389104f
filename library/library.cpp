#include "library/library.h"

#include <sqlite3.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <ctime>
#include <mutex>
#include <thread>
#include <tuple>
#include <unordered_map>

#include "library/fulltext.h"
#include "library/page_store.h"
#include "reader/chapter.h"
#include "web/gbk.h"

namespace novel {
namespace fs = std::filesystem;

UnixTime unixNow() {
    return std::chrono::duration_cast<std::chrono::seconds>(
               std::chrono::system_clock::now().time_since_epoch())
        .count();
}

ChapterCleaning ChapterCleaning::fromConfig(const SiteConfig& config) {
    return ChapterCleaning{config.brandWords()};
}

std::string ChapterCleaning::signature() const {
    // Lengths go in with the words, so moving bytes from one word to the next changes the hash.
    Text all = concatTexts(std::to_string(kCleaningRulesVersion), "|");
    for (const Text* word : {&brandWords.latin, &brandWords.chinese, &brandWords.chineseSpaced})
        all += std::to_string(word->size()) + ":" + *word + "|";
    for (const Text& sentence : brandWords.adSentences)
        all += std::to_string(sentence.size()) + ":" + sentence;
    char out[32];
    std::snprintf(out, sizeof out, "%d-%08x-%zu", kCleaningRulesVersion, pageHash(all), all.size());
    return out;
}

Text ChapterCleaning::textFromPage(std::string_view page) const {
    return chapterTextFromPage(textOf(page), brandWords);
}

namespace {

// The schema, one step per version; a library of version n runs the steps after n in order.
struct Migration {
    int version;
    const char* sql;
};
constexpr Migration kMigrations[] = {
    {1, R"sql(
CREATE TABLE books(
    id INTEGER PRIMARY KEY,
    book_url TEXT NOT NULL UNIQUE,
    title BLOB NOT NULL,
    author BLOB NOT NULL,
    toc_url TEXT NOT NULL,
    txt_package_url TEXT NOT NULL,
    cover_url TEXT NOT NULL,
    added_at INTEGER NOT NULL,
    last_check_at INTEGER NOT NULL DEFAULT 0,
    read_chapter_url TEXT,
    read_chapter_index INTEGER,
    read_paragraph INTEGER,
    read_snippet BLOB,
    read_at INTEGER);
CREATE TABLE toc_entries(
    book_id INTEGER NOT NULL REFERENCES books(id) ON DELETE CASCADE,
    position INTEGER NOT NULL,
    title BLOB NOT NULL,
    url TEXT NOT NULL,
    PRIMARY KEY(book_id, position)) WITHOUT ROWID;
CREATE TABLE book_news(
    book_id INTEGER NOT NULL REFERENCES books(id) ON DELETE CASCADE,
    kind INTEGER NOT NULL,
    position INTEGER NOT NULL,
    title BLOB NOT NULL,
    PRIMARY KEY(book_id, kind, position)) WITHOUT ROWID;
CREATE TABLE chapter_cache(
    url TEXT PRIMARY KEY,
    use_order INTEGER NOT NULL,
    stored_bytes INTEGER NOT NULL,
    page_size INTEGER NOT NULL,
    page_hash INTEGER NOT NULL,
    fetched_at INTEGER NOT NULL,
    signature TEXT NOT NULL,
    text BLOB NOT NULL,
    page BLOB NOT NULL);
CREATE INDEX chapter_cache_use ON chapter_cache(use_order, stored_bytes);
)sql"},
    // The book last read keeps its place even when it is not on the shelf.
    {2, R"sql(
ALTER TABLE books ADD COLUMN on_shelf INTEGER NOT NULL DEFAULT 1;
)sql"},
    // The full-text index. Its rows are keyed by doc_id, a stable number (a plain rowid may change
    // in a VACUUM). The index keeps no text: a row is removed with the text it was made from, so
    // `indexed` says whether a kept chapter is in it; existing chapters start at 0 and are indexed
    // in the background. A later change of the cut (kFulltextVersion) is a step that empties the
    // index ('delete-all') and sets every `indexed` back to 0. What is known of a kept chapter's
    // book and title is kept with it for chapters of books not on the shelf.
    {3, R"sql(
ALTER TABLE chapter_cache ADD COLUMN doc_id INTEGER;
ALTER TABLE chapter_cache ADD COLUMN indexed INTEGER NOT NULL DEFAULT 0;
ALTER TABLE chapter_cache ADD COLUMN book_url TEXT;
ALTER TABLE chapter_cache ADD COLUMN book_title BLOB;
ALTER TABLE chapter_cache ADD COLUMN chapter_title BLOB;
ALTER TABLE chapter_cache ADD COLUMN chapter_index INTEGER;
UPDATE chapter_cache SET doc_id=rowid;
CREATE UNIQUE INDEX chapter_cache_doc ON chapter_cache(doc_id);
CREATE INDEX chapter_cache_label ON chapter_cache(doc_id, url, book_url, book_title, chapter_title,
    chapter_index);
CREATE INDEX chapter_cache_unindexed ON chapter_cache(indexed) WHERE indexed=0;
CREATE INDEX toc_entries_url ON toc_entries(url, title);
CREATE VIRTUAL TABLE chapter_fts USING fts5(body, content='', columnsize=0, tokenize='novel_cjk');
)sql"},
};
constexpr int kSchemaVersion = kMigrations[std::size(kMigrations) - 1].version;
// Tables of the library; a database holding anything else is not ours.
constexpr std::string_view kOurTables[] = {"books", "toc_entries", "book_news", "chapter_cache",
                                           "chapter_fts"};
// The full-text index's own tables are named after it.
constexpr std::string_view kOurTablePrefixes[] = {"sqlite_", "chapter_fts_"};

enum NewsKind { kAdded = 0, kRemoved = 1, kRetitled = 2, kRevised = 3 };

class Statement {
  public:
    Statement(sqlite3* db, const char* sql) {
        prepared_ = sqlite3_prepare_v2(db, sql, -1, &stmt_, nullptr);
        if (prepared_ != SQLITE_OK) {
            sqlite3_finalize(stmt_);
            stmt_ = nullptr;
        }
    }
    ~Statement() { sqlite3_finalize(stmt_); }
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;

    bool valid() const { return stmt_ != nullptr; }
    Statement& bind(int i, std::string_view text) {
        if (stmt_)
            sqlite3_bind_text(stmt_, i, text.data(), static_cast<int>(text.size()),
                              SQLITE_TRANSIENT);
        return *this;
    }
    Statement& bindBlob(int i, std::string_view bytes) {
        // A zero-length blob still binds as a blob, not as NULL.
        if (stmt_)
            sqlite3_bind_blob(stmt_, i, bytes.empty() ? "" : bytes.data(),
                              static_cast<int>(bytes.size()), SQLITE_TRANSIENT);
        return *this;
    }
    Statement& bind(int i, std::int64_t value) {
        if (stmt_) sqlite3_bind_int64(stmt_, i, value);
        return *this;
    }
    Statement& bindNull(int i) {
        if (stmt_) sqlite3_bind_null(stmt_, i);
        return *this;
    }
    Statement& reset() {
        if (stmt_) sqlite3_reset(stmt_);
        return *this;
    }
    // SQLITE_ROW, SQLITE_DONE or an error code.
    // A statement that did not prepare answers with the reason it did not (SQLITE_NOTADB...).
    int step() { return stmt_ ? sqlite3_step(stmt_) : prepared_; }
    bool run() { return step() == SQLITE_DONE; }
    bool isNull(int i) const { return sqlite3_column_type(stmt_, i) == SQLITE_NULL; }
    std::int64_t integer(int i) const { return sqlite3_column_int64(stmt_, i); }
    std::string bytes(int i) const {
        const void* data = sqlite3_column_blob(stmt_, i);
        const int size = sqlite3_column_bytes(stmt_, i);
        return data ? std::string(static_cast<const char*>(data), static_cast<size_t>(size))
                    : std::string();
    }

  private:
    sqlite3_stmt* stmt_ = nullptr;
    int prepared_ = SQLITE_OK;
};

bool exec(sqlite3* db, const char* sql) {
    return sqlite3_exec(db, sql, nullptr, nullptr, nullptr) == SQLITE_OK;
}

std::string timestamp() {
    const std::time_t now = std::time(nullptr);
    std::tm tm{};
    localtime_r(&now, &tm);
    char out[32];
    std::strftime(out, sizeof out, "%Y%m%d-%H%M%S", &tm);
    return out;
}

const TextList& newsOfKind(const UpdateNews& news, int kind) {
    switch (kind) {
        case kAdded:
            return news.added;
        case kRemoved:
            return news.removed;
        case kRetitled:
            return news.retitled;
        default:
            return news.revised;
    }
}

}  // namespace

// Calls work(0, own) on this thread and work(k, helpers[k - 1]) on a thread each, at once.
template <typename Work>
void runOnConnections(sqlite3* own, const std::vector<sqlite3*>& helpers, Work&& work) {
    std::vector<std::thread> threads;
    for (size_t k = 0; k < helpers.size(); ++k)
        threads.emplace_back([&, k] { work(k + 1, helpers[k]); });
    work(0, own);
    for (std::thread& t : threads) t.join();
}

// Below this many kept chapters one connection searches alone: threads would cost more than
// they save.
constexpr size_t kParallelSearchChapters = 4096;

struct Library::Impl {
    fs::path file;
    std::string site;
    std::mutex mutex;
    sqlite3* db = nullptr;
    LibraryState state = LibraryState::Unavailable;
    std::string problem;
    int schemaVersion = 0;  // of the open file
    fs::path setAside;
    std::int64_t cacheLimit = kDefaultCacheLimitBytes;
    // Book, title and order of every kept chapter by doc_id, so a search that matches thousands
    // of chapters sorts them without a join per hit. Empty when stale; made again on the next
    // search, kept up to date for single chapters stored or dropped.
    struct Doc {
        FulltextHit hit;
        std::uint32_t rank = 0;  // place in the order results are shown in, once ranked
    };
    std::optional<std::unordered_map<std::int64_t, Doc>> docs;
    bool docsRanked = false;
    // How the file was opened, for the connections that search beside this one.
    std::string openedUri;
    int openedFlags = 0;
    // Connections that match a query over part of the index each, so that a query matching most
    // of a large library uses every core. Opened with the first such search.
    std::vector<sqlite3*> searchers;
    bool searchersTried = false;

    ~Impl() { close(); }
    void close() {
        for (sqlite3* s : searchers) sqlite3_close_v2(s);
        searchers.clear();
        searchersTried = false;
        if (db) sqlite3_close_v2(db);
        db = nullptr;
    }
    std::string error() const { return db ? sqlite3_errmsg(db) : "no database"; }
    LibraryResult failed(const char* what) const {
        return {std::string(what) + "（" + error() + "）"};
    }
    LibraryResult refuseWrite() const { return {problem.empty() ? "书库不可写入" : problem}; }

    enum class Prepared { Ok, Broken, Newer, Failed };

    // Brings an open database to the current schema; Broken when it is no SQLite file, fails its
    // check or belongs to something else.
    Prepared prepare(bool readOnly) {
        sqlite3_busy_timeout(db, 10000);
        // Before anything reads the index table: its tokenizer lives in this program.
        if (!registerFulltextTokenizer(db)) return Prepared::Failed;
        sqlite3_extended_result_codes(db, 0);
        exec(db, "PRAGMA foreign_keys=ON");
        exec(db, "PRAGMA synchronous=FULL");
        int version = 0;
        {
            Statement v(db, "PRAGMA user_version");
            const int rc = v.step();
            if (rc == SQLITE_NOTADB || rc == SQLITE_CORRUPT) return Prepared::Broken;
            if (rc != SQLITE_ROW) return Prepared::Failed;
            version = static_cast<int>(v.integer(0));
        }
        schemaVersion = version;
        if (version > kSchemaVersion && !readOnly) return Prepared::Newer;
        {
            Statement tables(db, "SELECT name FROM sqlite_master WHERE type='table'");
            int rc;
            while ((rc = tables.step()) == SQLITE_ROW) {
                const std::string name = tables.bytes(0);
                bool ours = false;
                for (std::string_view t : kOurTables) ours |= name == t;
                for (std::string_view p : kOurTablePrefixes) ours |= name.starts_with(p);
                // Any table at version 0 is someone else's database.
                if (!ours || version == 0) return Prepared::Broken;
            }
            if (rc != SQLITE_DONE)
                return rc == SQLITE_CORRUPT ? Prepared::Broken : Prepared::Failed;
        }
        // The shelf is checked page by page at every start; the chapter cache, which may hold
        // hundreds of megabytes, is not: a damaged cached page fails its hash and is a miss.
        if (version > 0) {
            for (const char* sql : {"PRAGMA quick_check(books)", "PRAGMA quick_check(toc_entries)",
                                    "PRAGMA quick_check(book_news)"}) {
                Statement check(db, sql);
                const int rc = check.step();
                if (rc == SQLITE_NOTADB || rc == SQLITE_CORRUPT) return Prepared::Broken;
                if (rc != SQLITE_ROW) return Prepared::Failed;
                if (check.bytes(0) != "ok") return Prepared::Broken;
            }
        }
        if (readOnly) return version > 0 ? Prepared::Ok : Prepared::Failed;
        // Only now that the file is known to be ours may it change (WAL rewrites its header).
        {
            Statement wal(db, "PRAGMA journal_mode=WAL");
            if (wal.step() != SQLITE_ROW) return Prepared::Failed;
        }
        if (version == kSchemaVersion) return Prepared::Ok;
        for (const Migration& step : kMigrations) {
            if (step.version <= version) continue;
            const std::string setVersion = "PRAGMA user_version=" + std::to_string(step.version);
            if (!exec(db, "BEGIN IMMEDIATE")) return Prepared::Failed;
            if (!exec(db, step.sql) || !exec(db, setVersion.c_str()) || !exec(db, "COMMIT")) {
                exec(db, "ROLLBACK");
                return Prepared::Failed;
            }
            schemaVersion = step.version;
        }
        return Prepared::Ok;
    }

    bool openFile(int flags, const std::string& uri) {
        close();
        openedUri = uri;
        openedFlags = (flags & ~SQLITE_OPEN_CREATE) | SQLITE_OPEN_URI | SQLITE_OPEN_FULLMUTEX;
        return sqlite3_open_v2(uri.c_str(), &db, flags | SQLITE_OPEN_URI | SQLITE_OPEN_FULLMUTEX,
                               nullptr) == SQLITE_OK;
    }

    // The connections that search beside this one: one fewer than the cores (at most 3), none
    // when they cannot be opened.
    const std::vector<sqlite3*>& searchConnections() {
        if (searchersTried) return searchers;
        searchersTried = true;
        const unsigned cores = std::clamp(std::thread::hardware_concurrency(), 1u, 4u);
        for (unsigned i = 1; i < cores; ++i) {
            sqlite3* extra = nullptr;
            if (sqlite3_open_v2(openedUri.c_str(), &extra, openedFlags, nullptr) != SQLITE_OK ||
                !registerFulltextTokenizer(extra)) {
                sqlite3_close_v2(extra);
                break;
            }
            sqlite3_busy_timeout(extra, 10000);
            searchers.push_back(extra);
        }
        return searchers;
    }

    static std::string uriOf(const fs::path& path, const char* query) {
        // Percent-encode what a URI path cannot hold as is.
        std::string out = "file:";
        for (unsigned char c : path.string()) {
            if (c == '%' || c == '?' || c == '#' || c < 0x20) {
                char hex[4];
                std::snprintf(hex, sizeof hex, "%%%02X", c);
                out += hex;
            } else {
                out += static_cast<char>(c);
            }
        }
        return query ? out + "?" + query : out;
    }

    void openReadOnly() {
        for (const char* query : {"mode=ro", "mode=ro&immutable=1"}) {
            if (openFile(SQLITE_OPEN_READONLY, uriOf(file, query)) &&
                prepare(true) == Prepared::Ok) {
                state = LibraryState::ReadOnly;
                problem = "书库所在的文件夹不可写入（" + file.parent_path().string() +
                          "），书库只读打开：书架和阅读位置可以查看，但不会保存新的记录和缓存。";
                return;
            }
        }
        close();
        state = LibraryState::Unavailable;
        problem = "书库无法打开（" + file.string() + "），本次不使用书库。";
    }

    bool moveAside() {
        fs::path aside = file.string() + ".corrupt-" + timestamp();
        std::error_code ec;
        for (int n = 2; fs::exists(aside, ec); ++n)
            aside = file.string() + ".corrupt-" + timestamp() + "-" + std::to_string(n);
        fs::rename(file, aside, ec);
        if (ec) return false;
        for (const char* suffix : {"-wal", "-shm"}) {
            std::error_code ignored;
            fs::rename(file.string() + suffix, aside.string() + suffix, ignored);
        }
        setAside = aside;
        return true;
    }

    void open() {
        std::error_code ec;
        const fs::path folder = file.parent_path().empty() ? fs::path(".") : file.parent_path();
        fs::create_directories(folder, ec);
        const bool exists = fs::exists(file, ec);
        const bool folderWritable = ::access(folder.c_str(), W_OK | X_OK) == 0;
        const bool fileWritable = !exists || ::access(file.c_str(), W_OK) == 0;
        if (!folderWritable || !fileWritable) {
            if (exists) {
                openReadOnly();
            } else {
                state = LibraryState::Unavailable;
                problem = "无法在文件夹 " + folder.string() +
                          " 中建立书库（文件夹不存在或不可写入），本次不保存书架、阅读位置和缓存。";
            }
            return;
        }
        for (int attempt = 0; attempt < 2; ++attempt) {
            if (!openFile(SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, uriOf(file, nullptr))) break;
            switch (prepare(false)) {
                case Prepared::Ok:
                    state = LibraryState::Open;
                    return;
                case Prepared::Newer:
                    close();
                    openReadOnly();
                    problem = "书库由较新版本的程序建立（" + file.string() +
                              "），本程序只读打开，不会改动它。";
                    return;
                case Prepared::Failed:
                    attempt = 2;
                    break;
                case Prepared::Broken:
                    close();
                    if (attempt > 0 || !moveAside()) {
                        attempt = 2;
                        break;
                    }
                    problem = "书库文件已损坏或不是本程序的书库，已另存为 " +
                              setAside.filename().string() + "，并新建了一个空书库。";
                    break;
            }
        }
        const std::string reason = error();
        close();
        state = LibraryState::Unavailable;
        problem = "书库无法打开（" + file.string() + "：" + reason + "），本次不使用书库。";
    }

    // --- helpers used under the lock ---

    std::string stored(std::string_view url) const {
        if (!site.empty() && url.starts_with(site)) {
            std::string_view rest = url.substr(site.size());
            if (rest.empty()) return "/";
            if (rest.front() == '/' || rest.front() == '?') return std::string(rest);
        }
        return std::string(url);
    }
    std::string absolute(std::string_view s) const {
        if (s.starts_with("/") && !s.starts_with("//")) return site + std::string(s);
        if (s.starts_with("?")) return site + std::string(s);
        return std::string(s);
    }

    std::optional<std::int64_t> bookId(const std::string& bookUrl) {
        Statement q(db, "SELECT id FROM books WHERE book_url=?");
        q.bind(1, stored(bookUrl));
        if (q.step() != SQLITE_ROW) return std::nullopt;
        return q.integer(0);
    }

    bool writeToc(std::int64_t id, const std::vector<ChapterEntry>& toc) {
        Statement del(db, "DELETE FROM toc_entries WHERE book_id=?");
        if (!del.bind(1, id).run()) return false;
        Statement ins(db, "INSERT INTO toc_entries(book_id, position, title, url) VALUES(?,?,?,?)");
        for (size_t i = 0; i < toc.size(); ++i) {
            if (!ins.reset()
                     .bind(1, id)
                     .bind(2, static_cast<std::int64_t>(i))
                     .bindBlob(3, toc[i].title)
                     .bind(4, stored(toc[i].url))
                     .run())
                return false;
        }
        return true;
    }

    std::vector<ChapterEntry> readToc(std::int64_t id) {
        std::vector<ChapterEntry> toc;
        Statement q(db, "SELECT title, url FROM toc_entries WHERE book_id=? ORDER BY position");
        q.bind(1, id);
        while (q.step() == SQLITE_ROW)
            toc.push_back({std::to_string(toc.size() + 1), q.bytes(0), absolute(q.bytes(1))});
        return toc;
    }

    UpdateNews readNews(std::int64_t id) {
        UpdateNews news;
        Statement q(db,
                    "SELECT kind, title FROM book_news WHERE book_id=? ORDER BY kind, position");
        q.bind(1, id);
        while (q.step() == SQLITE_ROW) {
            switch (q.integer(0)) {
                case kAdded:
                    news.added.push_back(q.bytes(1));
                    break;
                case kRemoved:
                    news.removed.push_back(q.bytes(1));
                    break;
                case kRetitled:
                    news.retitled.push_back(q.bytes(1));
                    break;
                default:
                    news.revised.push_back(q.bytes(1));
                    break;
            }
        }
        return news;
    }

    // An older library opened read-only has no shelf flag: all its books are on the shelf.
    std::string shelfFlag() const { return schemaVersion >= 2 ? "on_shelf" : "1"; }
    std::string bookColumns() const {
        return "SELECT id, book_url, title, author, toc_url, txt_package_url, cover_url, "
               "added_at, last_check_at, read_chapter_url, read_chapter_index, read_paragraph, "
               "read_snippet, read_at, (SELECT count(*) FROM toc_entries WHERE "
               "book_id=books.id), " +
               shelfFlag() + " FROM books ";
    }

    ShelfBook bookFrom(const Statement& q, bool withToc) {
        ShelfBook b;
        const std::int64_t id = q.integer(0);
        b.bookUrl = absolute(q.bytes(1));
        b.title = q.bytes(2);
        b.author = q.bytes(3);
        b.tocUrl = absolute(q.bytes(4));
        b.txtPackageUrl = absolute(q.bytes(5));
        b.coverUrl = absolute(q.bytes(6));
        b.addedAt = q.integer(7);
        b.lastCheckAt = q.integer(8);
        if (!q.isNull(9)) {
            ReadingPosition p;
            p.chapterUrl = absolute(q.bytes(9));
            p.chapterIndex = static_cast<int>(q.integer(10));
            p.anchor.index = static_cast<int>(q.integer(11));
            p.anchor.snippet = q.bytes(12);
            p.readAt = q.integer(13);
            b.lastRead = p;
        }
        b.chapterCount = static_cast<int>(q.integer(14));
        b.onShelf = q.integer(15) != 0;
        if (withToc) b.toc = readToc(id);
        b.news = readNews(id);
        return b;
    }

    // Runs a write as one transaction: committed when the body returns true, rolled back otherwise.
    template <typename Body>
    LibraryResult transact(const char* what, Body&& body) {
        if (state != LibraryState::Open) return refuseWrite();
        if (!exec(db, "BEGIN IMMEDIATE")) return failed(what);
        if (!body() || !exec(db, "COMMIT")) {
            LibraryResult result = failed(what);
            exec(db, "ROLLBACK");
            docs.reset();
            return result;
        }
        return {};
    }

    // Like transact, for bookkeeping that may go with a power cut but is never half made (the
    // use order of kept chapters): committed without waiting for the disk, which a chapter switch
    // would otherwise wait on.
    template <typename Body>
    LibraryResult transactUnflushed(const char* what, Body&& body) {
        exec(db, "PRAGMA synchronous=NORMAL");
        LibraryResult result = transact(what, std::forward<Body>(body));
        exec(db, "PRAGMA synchronous=FULL");
        return result;
    }

    // --- the full-text index, kept in step inside the caller's transaction ---

    bool indexText(std::int64_t docId, std::string_view chapterText, bool remove) {
        Statement put(db, remove ? "INSERT INTO chapter_fts(chapter_fts, rowid, body) "
                                   "VALUES('delete', ?1, ?2)"
                                 : "INSERT INTO chapter_fts(rowid, body) VALUES(?1, ?2)");
        return put.bind(1, docId).bind(2, fulltextPlainText(chapterText)).run();
    }

    // Drops a kept chapter and its index entry.
    bool dropChapter(const std::string& key) {
        Statement q(db, "SELECT doc_id, indexed, text FROM chapter_cache WHERE url=?");
        q.bind(1, key);
        const int rc = q.step();
        if (rc == SQLITE_DONE) return true;
        if (rc != SQLITE_ROW) return false;
        if (q.integer(1) && !indexText(q.integer(0), q.bytes(2), true)) return false;
        if (docs) docs->erase(q.integer(0));
        Statement del(db, "DELETE FROM chapter_cache WHERE url=?");
        return del.bind(1, key).run();
    }

    // Loads the book, title and order of one kept chapter (docId >= 0) or of all (docId < 0). The
    // shelf's table of contents names the book and title of its chapters; a chapter in no shelf
    // book's contents takes what was kept with it.
    void loadDocs(std::int64_t docId) {
        Statement q(
            db,
            "SELECT c.doc_id, c.url, c.book_url, c.book_title, c.chapter_title, "
            "c.chapter_index, b.book_url, b.title, t.position, t.title FROM chapter_cache c "
            "LEFT JOIN toc_entries t ON t.url=c.url LEFT JOIN books b ON b.id=t.book_id "
            "WHERE ?1 < 0 OR c.doc_id=?1");
        q.bind(1, docId);
        while (q.step() == SQLITE_ROW) {
            FulltextHit hit;
            hit.chapterUrl = absolute(q.bytes(1));
            if (!q.isNull(6)) {
                hit.onShelf = true;
                hit.bookUrl = absolute(q.bytes(6));
                hit.bookTitle = q.bytes(7);
                hit.chapterIndex = static_cast<int>(q.integer(8));
                hit.chapterTitle = q.bytes(9);
            } else if (!q.isNull(2) && !q.bytes(2).empty()) {
                hit.bookUrl = absolute(q.bytes(2));
                hit.bookTitle = q.bytes(3);
                hit.chapterTitle = q.bytes(4);
                hit.chapterIndex = q.isNull(5) ? -1 : static_cast<int>(q.integer(5));
            } else {
                // The site keeps a book's chapters in a folder named after its page (BOOK.html ->
                // BOOK/N.html).
                const size_t slash = hit.chapterUrl.rfind('/');
                if (slash != std::string::npos && slash > 0 && hit.chapterUrl[slash - 1] != '/')
                    hit.bookUrl = hit.chapterUrl.substr(0, slash) + ".html";
            }
            // A chapter in two shelf books' contents belongs to the first.
            docs->emplace(q.integer(0), Doc{std::move(hit)});
            docsRanked = false;
        }
    }

    // Ranks every kept chapter in the order results are shown in (books by title, unknown titles
    // last, then by address; chapters by place, unknown places last), so that a search sorts its
    // thousands of hits by one number.
    void rankDocs() {
        std::vector<Doc*> all;
        all.reserve(docs->size());
        for (auto& [id, doc] : *docs) all.push_back(&doc);
        auto key = [](const FulltextHit& h) {
            return std::make_tuple(h.bookTitle.empty(), std::cref(h.bookTitle),
                                   std::cref(h.bookUrl),
                                   static_cast<unsigned>(h.chapterIndex),  // -1 goes last
                                   std::cref(h.chapterUrl));
        };
        std::sort(all.begin(), all.end(),
                  [&](const Doc* a, const Doc* b) { return key(a->hit) < key(b->hit); });
        for (size_t i = 0; i < all.size(); ++i) all[i]->rank = static_cast<std::uint32_t>(i);
        docsRanked = true;
    }

    bool evictOver(const std::string& keepStored) {
        std::int64_t total = 0;
        {
            Statement sum(db, "SELECT coalesce(sum(stored_bytes), 0) FROM chapter_cache");
            if (sum.step() == SQLITE_ROW) total = sum.integer(0);
        }
        if (total <= cacheLimit) return true;
        std::vector<std::string> victims;
        {
            Statement oldest(
                db, "SELECT url, stored_bytes FROM chapter_cache WHERE url<>? ORDER BY use_order");
            oldest.bind(1, keepStored);
            while (total > cacheLimit && oldest.step() == SQLITE_ROW) {
                victims.push_back(oldest.bytes(0));
                total -= oldest.integer(1);
            }
        }
        for (const std::string& url : victims)
            if (!dropChapter(url)) return false;
        return true;
    }
};

Library::Library(fs::path file, std::string siteUrl) : impl_(std::make_unique<Impl>()) {
    while (siteUrl.ends_with('/')) siteUrl.pop_back();
    impl_->file = std::move(file);
    impl_->site = std::move(siteUrl);
    impl_->open();
}

Library::~Library() = default;

LibraryState Library::state() const {
    return impl_->state;
}
const std::string& Library::openProblem() const {
    return impl_->problem;
}
const fs::path& Library::setAsidePath() const {
    return impl_->setAside;
}
const fs::path& Library::file() const {
    return impl_->file;
}
const std::string& Library::siteUrl() const {
    return impl_->site;
}
std::string Library::storedAddress(std::string_view url) const {
    return impl_->stored(url);
}
std::string Library::absoluteAddress(std::string_view stored) const {
    return impl_->absolute(stored);
}

std::optional<CachedChapter> Library::lookupChapter(const std::string& url,
                                                    const ChapterCleaning& cleaning) {
    Impl& d = *impl_;
    std::lock_guard lock(d.mutex);
    if (!d.db) return std::nullopt;
    const std::string key = d.stored(url);
    Statement q(
        d.db,
        "SELECT page, page_size, page_hash, text, signature, fetched_at, doc_id, indexed FROM "
        "chapter_cache WHERE url=?");
    q.bind(1, key);
    if (q.step() != SQLITE_ROW) return std::nullopt;
    std::optional<Bytes> page = decompressPage(q.bytes(0), static_cast<size_t>(q.integer(1)),
                                               static_cast<std::uint32_t>(q.integer(2)));
    if (!page) {
        // A damaged copy is no copy: drop it so the chapter is fetched again.
        q.reset();
        if (d.state == LibraryState::Open)
            d.transact("删除损坏的章节缓存失败", [&] { return d.dropChapter(key); });
        return std::nullopt;
    }
    CachedChapter chapter{url, std::move(*page), q.bytes(3), q.integer(5)};
    const std::string signature = cleaning.signature();
    const bool stale = q.bytes(4) != signature;
    if (stale) chapter.text = cleaning.textFromPage(chapter.page);
    if (d.state == LibraryState::Open) {
        // Marks the use (and keeps the re-cleaned text, indexed anew) so eviction takes the least
        // used first.
        const std::int64_t docId = q.integer(6);
        const bool indexed = q.integer(7) != 0;
        const Text oldText = stale && indexed ? q.bytes(3) : Text();
        q.reset();
        d.transactUnflushed("保存章节缓存失败", [&] {
            Statement use(d.db, stale
                                    ? "UPDATE chapter_cache SET use_order=(SELECT max(use_order)+1 "
                                      "FROM chapter_cache), text=?2, signature=?3, "
                                      "stored_bytes=length(page)+length(?2) WHERE url=?1"
                                    : "UPDATE chapter_cache SET use_order=(SELECT "
                                      "max(use_order)+1 FROM chapter_cache) WHERE url=?1");
            use.bind(1, key);
            if (stale) use.bindBlob(2, chapter.text).bind(3, signature);
            if (!use.run()) return false;
            if (!stale || !indexed) return true;
            return d.indexText(docId, oldText, true) && d.indexText(docId, chapter.text, false);
        });
    }
    return chapter;
}

bool Library::hasChapter(const std::string& url) {
    Impl& d = *impl_;
    std::lock_guard lock(d.mutex);
    if (!d.db) return false;
    Statement q(d.db, "SELECT 1 FROM chapter_cache WHERE url=?");
    q.bind(1, d.stored(url));
    return q.step() == SQLITE_ROW;
}

std::vector<std::string> Library::keptChapterUrls(const std::string& prefix) {
    Impl& d = *impl_;
    std::lock_guard lock(d.mutex);
    std::vector<std::string> out;
    if (!d.db) return out;
    // A range over the key's index: every text that starts with the prefix sorts between the
    // prefix itself and the prefix with one more byte 0xFF.
    const std::string low = d.stored(prefix);
    Statement q(d.db, "SELECT url FROM chapter_cache WHERE url >= ?1 AND url < ?2");
    q.bind(1, low).bind(2, low + "\xFF");
    while (q.step() == SQLITE_ROW) {
        std::string url = d.absolute(q.bytes(0));
        if (url.starts_with(prefix)) out.push_back(std::move(url));
    }
    return out;
}

LibraryResult Library::storeChapter(const std::string& url, std::string_view page,
                                    const ChapterCleaning& cleaning, UnixTime fetchedAt) {
    Impl& d = *impl_;
    const Bytes compressed = compressPage(page);
    if (compressed.empty()) return {"章节页面过大，未保存到缓存"};
    const Text text = cleaning.textFromPage(page);
    const std::string key = d.stored(url);
    std::lock_guard lock(d.mutex);
    return d.transact("保存章节缓存失败", [&] {
        // A replaced copy leaves the index with its old text; the row keeps its doc_id and what
        // is known of its book.
        std::optional<std::int64_t> docId;
        {
            Statement old(d.db, "SELECT doc_id, indexed, text FROM chapter_cache WHERE url=?");
            old.bind(1, key);
            const int rc = old.step();
            if (rc == SQLITE_ROW) {
                docId = old.integer(0);
                if (old.integer(1) && !d.indexText(*docId, old.bytes(2), true)) return false;
            } else if (rc != SQLITE_DONE) {
                return false;
            }
        }
        if (!docId) {
            Statement next(d.db, "SELECT coalesce(max(doc_id), 0)+1 FROM chapter_cache");
            if (next.step() != SQLITE_ROW) return false;
            docId = next.integer(0);
        }
        Statement put(
            d.db,
            "INSERT INTO chapter_cache(url, use_order, stored_bytes, page_size, page_hash, "
            "fetched_at, signature, text, page, doc_id, indexed) VALUES(?1, (SELECT "
            "coalesce(max(use_order), 0)+1 FROM chapter_cache), ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9, 1) "
            "ON CONFLICT(url) DO UPDATE SET use_order=excluded.use_order, "
            "stored_bytes=excluded.stored_bytes, page_size=excluded.page_size, "
            "page_hash=excluded.page_hash, fetched_at=excluded.fetched_at, "
            "signature=excluded.signature, text=excluded.text, page=excluded.page, indexed=1");
        put.bind(1, key)
            .bind(2, static_cast<std::int64_t>(compressed.size() + text.size()))
            .bind(3, static_cast<std::int64_t>(page.size()))
            .bind(4, static_cast<std::int64_t>(pageHash(page)))
            .bind(5, fetchedAt)
            .bind(6, cleaning.signature())
            .bindBlob(7, text)
            .bindBlob(8, compressed)
            .bind(9, *docId);
        if (!put.run() || !d.indexText(*docId, text, false)) return false;
        if (d.docs && !d.docs->contains(*docId)) d.loadDocs(*docId);
        return d.evictOver(key);
    });
}

void Library::setCacheLimit(std::int64_t bytes) {
    std::lock_guard lock(impl_->mutex);
    impl_->cacheLimit = bytes;
}

std::int64_t Library::cacheLimit() const {
    std::lock_guard lock(impl_->mutex);
    return impl_->cacheLimit;
}

std::int64_t Library::cacheBytes() {
    Impl& d = *impl_;
    std::lock_guard lock(d.mutex);
    if (!d.db) return 0;
    Statement q(d.db, "SELECT coalesce(sum(stored_bytes), 0) FROM chapter_cache");
    return q.step() == SQLITE_ROW ? q.integer(0) : 0;
}

int Library::cachedChapterCount() {
    Impl& d = *impl_;
    std::lock_guard lock(d.mutex);
    if (!d.db) return 0;
    Statement q(d.db, "SELECT count(*) FROM chapter_cache");
    return q.step() == SQLITE_ROW ? static_cast<int>(q.integer(0)) : 0;
}

LibraryResult Library::clearCache() {
    Impl& d = *impl_;
    std::lock_guard lock(d.mutex);
    d.docs.reset();  // the book or title of kept chapters may change
    return d.transact("清除缓存失败", [&] {
        return exec(d.db, "DELETE FROM chapter_cache") &&
               exec(d.db, "INSERT INTO chapter_fts(chapter_fts) VALUES('delete-all')");
    });
}

LibraryResult Library::putBook(const ShelfBook& book, bool shelved) {
    Impl& d = *impl_;
    if (book.bookUrl.empty()) return {"书的地址是空的"};
    std::lock_guard lock(d.mutex);
    d.docs.reset();  // the book or title of kept chapters may change
    return d.transact("加入书架失败", [&] {
        Statement put(d.db,
                      "INSERT INTO books(book_url, title, author, toc_url, txt_package_url, "
                      "cover_url, added_at, on_shelf) VALUES(?1,?2,?3,?4,?5,?6,?7,?8) ON "
                      "CONFLICT(book_url) DO UPDATE SET title=?2, author=?3, toc_url=?4, "
                      "txt_package_url=?5, cover_url=?6, on_shelf=max(on_shelf, ?8)");
        put.bind(1, d.stored(book.bookUrl))
            .bindBlob(2, book.title)
            .bindBlob(3, book.author)
            .bind(4, d.stored(book.tocUrl))
            .bind(5, d.stored(book.txtPackageUrl))
            .bind(6, d.stored(book.coverUrl))
            .bind(7, book.addedAt ? book.addedAt : unixNow())
            .bind(8, static_cast<std::int64_t>(shelved ? 1 : 0));
        if (!put.run()) return false;
        if (!shelved) {
            // Only the one book read last is kept off the shelf.
            Statement drop(d.db, "DELETE FROM books WHERE on_shelf=0 AND book_url<>?");
            if (!drop.bind(1, d.stored(book.bookUrl)).run()) return false;
        }
        const std::optional<std::int64_t> id = d.bookId(book.bookUrl);
        return id && d.writeToc(*id, book.toc);
    });
}

LibraryResult Library::addBook(const ShelfBook& book) {
    return putBook(book, true);
}

LibraryResult Library::rememberBook(const ShelfBook& book) {
    return putBook(book, false);
}

LibraryResult Library::removeBook(const std::string& bookUrl) {
    Impl& d = *impl_;
    std::lock_guard lock(d.mutex);
    d.docs.reset();  // the book or title of kept chapters may change
    return d.transact("移出书架失败", [&] {
        Statement del(d.db, "DELETE FROM books WHERE book_url=?");
        return del.bind(1, d.stored(bookUrl)).run();
    });
}

std::vector<ShelfBook> Library::books(bool withToc) {
    Impl& d = *impl_;
    std::lock_guard lock(d.mutex);
    std::vector<ShelfBook> out;
    if (!d.db) return out;
    Statement q(d.db, (d.bookColumns() + "WHERE " + d.shelfFlag() + "=1 ORDER BY id DESC").c_str());
    while (q.step() == SQLITE_ROW) out.push_back(d.bookFrom(q, withToc));
    return out;
}

std::optional<ShelfBook> Library::book(const std::string& bookUrl) {
    Impl& d = *impl_;
    std::lock_guard lock(d.mutex);
    if (!d.db) return std::nullopt;
    Statement q(d.db, (d.bookColumns() + "WHERE book_url=?").c_str());
    q.bind(1, d.stored(bookUrl));
    if (q.step() != SQLITE_ROW) return std::nullopt;
    return d.bookFrom(q, true);
}

LibraryResult Library::savePosition(const std::string& bookUrl, const ReadingPosition& position) {
    Impl& d = *impl_;
    std::lock_guard lock(d.mutex);
    return d.transact("保存阅读位置失败", [&] {
        Statement put(
            d.db,
            "UPDATE books SET read_chapter_url=?, read_chapter_index=?, read_paragraph=?, "
            "read_snippet=?, read_at=? WHERE book_url=?");
        put.bind(1, d.stored(position.chapterUrl))
            .bind(2, static_cast<std::int64_t>(position.chapterIndex))
            .bind(3, static_cast<std::int64_t>(position.anchor.index))
            .bindBlob(4, position.anchor.snippet)
            .bind(5, position.readAt ? position.readAt : unixNow())
            .bind(6, d.stored(bookUrl));
        return put.run() && sqlite3_changes(d.db) == 1;
    });
}

std::optional<ShelfBook> Library::continueReading() {
    Impl& d = *impl_;
    std::lock_guard lock(d.mutex);
    if (!d.db) return std::nullopt;
    Statement q(
        d.db, (d.bookColumns() + "WHERE read_at IS NOT NULL ORDER BY read_at DESC, id DESC LIMIT 1")
                  .c_str());
    if (q.step() != SQLITE_ROW) return std::nullopt;
    return d.bookFrom(q, true);
}

LibraryResult Library::recordUpdate(const std::string& bookUrl,
                                    const std::vector<ChapterEntry>& toc, const UpdateNews& news,
                                    UnixTime checkedAt) {
    Impl& d = *impl_;
    std::lock_guard lock(d.mutex);
    d.docs.reset();  // the book or title of kept chapters may change
    return d.transact("保存更新结果失败", [&] {
        const std::optional<std::int64_t> id = d.bookId(bookUrl);
        if (!id || !d.writeToc(*id, toc)) return false;
        Statement at(d.db, "UPDATE books SET last_check_at=? WHERE id=?");
        if (!at.bind(1, checkedAt).bind(2, *id).run()) return false;
        Statement del(d.db, "DELETE FROM book_news WHERE book_id=?");
        if (!del.bind(1, *id).run()) return false;
        for (int kind : {kAdded, kRemoved, kRetitled, kRevised}) {
            const TextList& titles = newsOfKind(news, kind);
            for (size_t i = 0; i < titles.size(); ++i) {
                Statement put(
                    d.db, "INSERT INTO book_news(book_id, kind, position, title) VALUES(?,?,?,?)");
                if (!put.bind(1, *id)
                         .bind(2, static_cast<std::int64_t>(kind))
                         .bind(3, static_cast<std::int64_t>(i))
                         .bindBlob(4, titles[i])
                         .run())
                    return false;
            }
        }
        return true;
    });
}

LibraryResult Library::labelChapter(const std::string& url, const ChapterLabel& label) {
    Impl& d = *impl_;
    std::lock_guard lock(d.mutex);
    d.docs.reset();  // the book or title of kept chapters may change
    return d.transact("保存章节信息失败", [&] {
        Statement put(d.db,
                      "UPDATE chapter_cache SET book_url=?, book_title=?, chapter_title=?, "
                      "chapter_index=? WHERE url=?");
        put.bind(1, d.stored(label.bookUrl))
            .bindBlob(2, label.bookTitle)
            .bindBlob(3, label.chapterTitle)
            .bind(4, static_cast<std::int64_t>(label.chapterIndex))
            .bind(5, d.stored(url));
        return put.run();
    });
}

int Library::indexPendingChapters(int count) {
    Impl& d = *impl_;
    std::lock_guard lock(d.mutex);
    int done = 0;
    const LibraryResult result = d.transact("建立全文索引失败", [&] {
        std::vector<std::pair<std::int64_t, Text>> rows;
        {
            Statement q(d.db, "SELECT doc_id, text FROM chapter_cache WHERE indexed=0 LIMIT ?");
            q.bind(1, static_cast<std::int64_t>(count));
            while (q.step() == SQLITE_ROW) rows.emplace_back(q.integer(0), q.bytes(1));
        }
        Statement mark(d.db, "UPDATE chapter_cache SET indexed=1 WHERE doc_id=?");
        for (const auto& [docId, text] : rows) {
            if (!d.indexText(docId, text, false) || !mark.reset().bind(1, docId).run())
                return false;
        }
        done = static_cast<int>(rows.size());
        return true;
    });
    return result.ok() ? done : -1;
}

FulltextProgress Library::fulltextProgress() {
    Impl& d = *impl_;
    std::lock_guard lock(d.mutex);
    FulltextProgress progress;
    if (!d.db) return progress;
    Statement q(d.db, "SELECT count(*), coalesce(sum(indexed), 0) FROM chapter_cache");
    if (q.step() == SQLITE_ROW) {
        progress.total = static_cast<int>(q.integer(0));
        progress.indexed = static_cast<int>(q.integer(1));
    }
    return progress;
}

FulltextResult Library::findText(std::string_view query, FulltextScope scope,
                                 const std::string& bookUrl, int limit) {
    Impl& d = *impl_;
    FulltextResult result;
    const std::string match = fulltextMatchExpression(query);
    std::lock_guard lock(d.mutex);
    if (!d.db || match.empty()) return result;
    {
        Statement pending(d.db, "SELECT count(*) FROM chapter_cache WHERE indexed=0");
        if (pending.step() == SQLITE_ROW) result.unindexed = static_cast<int>(pending.integer(0));
    }
    if (!d.docs) {
        d.docs.emplace();
        d.loadDocs(-1);
    }
    // A phrase is checked chapter by chapter, which on a large library takes longer than all the
    // rest: the doc ids are cut into one stretch per connection, searched at once.
    const std::vector<sqlite3*> helpers =
        d.docs->size() >= kParallelSearchChapters ? d.searchConnections() : std::vector<sqlite3*>();
    std::int64_t firstDoc = 0, lastDoc = -1;
    {
        // Two lookups in the doc_id index (min and max together would scan the table).
        Statement range(d.db,
                        "SELECT (SELECT min(doc_id) FROM chapter_cache), (SELECT max(doc_id) FROM "
                        "chapter_cache)");
        if (range.step() == SQLITE_ROW && !range.isNull(0)) {
            firstDoc = range.integer(0);
            lastDoc = range.integer(1);
        }
    }
    const auto parts = static_cast<std::int64_t>(helpers.size()) + 1;
    if (!d.docsRanked) d.rankDocs();
    std::vector<std::vector<const Library::Impl::Doc*>> found(static_cast<size_t>(parts));
    runOnConnections(d.db, helpers, [&](size_t part, sqlite3* db) {
        const auto k = static_cast<std::int64_t>(part);
        const std::int64_t span = lastDoc - firstDoc + 1;
        Statement q(db,
                    "SELECT rowid FROM chapter_fts WHERE chapter_fts MATCH ?1 AND rowid BETWEEN ?2 "
                    "AND ?3");
        q.bind(1, match)
            .bind(2, firstDoc + span * k / parts)
            .bind(3, firstDoc + span * (k + 1) / parts - 1);
        while (q.step() == SQLITE_ROW) {
            const auto it = d.docs->find(q.integer(0));
            if (it == d.docs->end()) continue;
            const FulltextHit& hit = it->second.hit;
            if (scope == FulltextScope::Book && hit.bookUrl != bookUrl) continue;
            if (scope == FulltextScope::Shelf && !hit.onShelf) continue;
            found[part].push_back(&it->second);
        }
    });
    std::vector<const Library::Impl::Doc*> matches;
    for (const auto& some : found) matches.insert(matches.end(), some.begin(), some.end());
    std::vector<FulltextHit> kept;
    result.matched = static_cast<int>(matches.size());
    const size_t shown =
        limit >= 0 ? std::min(matches.size(), static_cast<size_t>(limit)) : matches.size();
    std::partial_sort(matches.begin(), matches.begin() + static_cast<std::ptrdiff_t>(shown),
                      matches.end(), [](auto* a, auto* b) { return a->rank < b->rank; });
    for (size_t i = 0; i < shown; ++i) kept.push_back(matches[i]->hit);

    // The snippets, every connection taking every n-th hit.
    runOnConnections(d.db, helpers, [&](size_t part, sqlite3* db) {
        Statement text(db, "SELECT text FROM chapter_cache WHERE url=?");
        for (size_t i = part; i < kept.size(); i += helpers.size() + 1) {
            FulltextHit& hit = kept[i];
            if (text.reset().bind(1, d.stored(hit.chapterUrl)).step() != SQLITE_ROW) continue;
            const std::string plain = fulltextPlainText(text.bytes(0));
            if (std::optional<FulltextSnippet> s = fulltextSnippet(plain, query)) {
                hit.snippet = std::move(s->text);
                hit.hitBegin = s->hitBegin;
                hit.hitEnd = s->hitEnd;
            }
        }
    });
    result.hits = std::move(kept);
    return result;
}

}  // namespace novel
