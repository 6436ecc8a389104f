#include "download/book_session.h"

#include <algorithm>
#include <condition_variable>
#include <deque>

#include "catalogue/book_page.h"
#include "catalogue/site_urls.h"
#include "download/book_download.h"
#include "download/epub_writer.h"
#include "reader/chapter.h"
#include "web/file_io.h"

namespace novel {
namespace fs = std::filesystem;

EngineChapterSource::EngineChapterSource(RequestEngine& engine, BrandWords brand)
    : engine_(engine), brand_(std::move(brand)) {}

EngineChapterSource::~EngineChapterSource() {
    cancelAll();
}

void EngineChapterSource::fetch(const ChapterEntry& chapter, Done done) {
    const RequestId id =
        engine_.submit({chapter.url, RequestStyle::Page, RequestPriority::Background},
                       [brand = brand_, done = std::move(done)](FetchResult result) {
                           ChapterFetch fetched;
                           fetched.cancelled = result.cancelled;
                           if (result.ok())
                               fetched.text = chapterTextFromPage(textOf(result.body), brand);
                           else
                               fetched.problem = result.problem.empty() ? "已取消" : result.problem;
                           done(std::move(fetched));
                       });
    std::lock_guard lock(mutex_);
    running_.push_back(id);  // finished ones are ignored by cancel
}

void EngineChapterSource::cancelAll() {
    std::vector<RequestId> ids;
    {
        std::lock_guard lock(mutex_);
        ids.swap(running_);
    }
    for (RequestId id : ids) engine_.cancel(id);
}

namespace {}  // namespace

Text bookPageLink(std::string_view bookUrl, std::string_view link) {
    const Text trimmed = trimBlanks(link);
    return trimmed.empty() ? Text() : resolveUrl(trimBlanks(bookUrl), trimmed);
}

BookInfo bookInfoFromPage(std::string_view bookUrl, std::string_view page) {
    BookInfo info;
    const BookMeta meta = readBookMeta(page);
    info.title = meta.title;
    info.author = meta.author;
    info.bookUrl = trimBlanks(bookUrl);
    info.chapterBaseUrl = bookUrlStem(info.bookUrl);
    const BookPage details = parseBookPage(page, BrandWords{});
    info.txtPackageUrl = bookPageLink(info.bookUrl, details.txtPackageUrl);
    info.coverUrl = bookPageLink(info.bookUrl, details.coverUrl);
    info.tocUrl = bookPageLink(info.bookUrl, viewBetween(page, "CrbsLink\"><a href=\"", "\""));
    if (info.tocUrl.empty()) info.tocUrl = concatTexts(info.chapterBaseUrl, "/index.html");
    return info;
}

fs::path bookFilePath(const fs::path& base, std::string_view title, BookFormat format) {
    fs::path file = bookDownloadPaths(base, title).finalFile;
    if (format == BookFormat::Epub) file.replace_extension(".epub");
    return file;
}

BookSession::BookSession(RequestEngine& engine, FileDownloader& downloader, BrandWords brand,
                         ChapterSource* source)
    : engine_(engine), downloader_(downloader), brand_(std::move(brand)), source_(source) {
    if (!source_) {
        ownSource_ = std::make_unique<EngineChapterSource>(engine_, brand_);
        source_ = ownSource_.get();
    }
}

BookSession::~BookSession() {
    cancel();
}

// The package transfer is stopped by the run's own thread (it looks at the flag five times a
// second): stopping the downloader from here too would have two threads join its worker at once.
void BookSession::cancel() {
    cancelled_ = true;
    source_->cancelAll();
}

void BookSession::report() {
    if (!progress_) return;
    BookProgress copy;
    {
        std::lock_guard lock(progressMutex_);
        copy = state_;
    }
    progress_(copy);
}

Text BookSession::readPackage(const BookInfo& book, const fs::path& base, std::string* problem) {
    const BookDownloadPaths paths = bookDownloadPaths(base, book.title);
    {
        std::lock_guard lock(progressMutex_);
        state_.phase = BookProgress::Phase::Package;
    }
    report();
    const FinishResult transfer =
        transferCleanedBook(book.txtPackageUrl, paths, brand_, downloader_, [&] {
            {
                std::lock_guard lock(progressMutex_);
                state_.bytes = downloader_.received();
                state_.packageSize = downloader_.totalSize();
            }
            report();
            return !cancelled_.load();
        });
    if (!transfer.ok) {
        *problem = transfer.error;
        return {};
    }
    Text text = readTextFile(paths.temporaryFile);
    std::error_code ignored;
    fs::remove(paths.temporaryFile, ignored);
    {
        std::lock_guard lock(progressMutex_);
        state_.bytes = static_cast<int64_t>(text.size());
    }
    return text;
}

BookSessionResult BookSession::run(const BookInfo& book, const BookSessionOptions& options) {
    state_ = BookProgress{};
    BookSessionResult result;
    auto cancelledResult = [&] {
        result.cancelled = true;
        result.error = "下载已取消";
        return result;
    };
    const Text title = trimBlanks(book.title);
    if (title.empty()) {
        result.error = "不知道这本书的书名，无法下载";
        return result;
    }
    result.file = bookFilePath(options.base, title, options.format);
    BookInfo info = book;
    info.title = title;

    // The table of contents.
    std::vector<ChapterEntry> chapters = book.chapters;
    if (chapters.empty()) {
        report();
        const FetchResult toc = engine_.fetch(
            {trimBlanks(book.tocUrl), RequestStyle::Plain, RequestPriority::User}, cancelled_);
        if (cancelled_) return cancelledResult();
        const Text base =
            book.chapterBaseUrl.empty() ? bookUrlStem(book.bookUrl) : book.chapterBaseUrl;
        chapters = parseTableOfContents(textOf(toc.body), base);
        if (chapters.empty()) {
            result.error = toc.ok() ? "目录页上没有章节" : "目录页读取失败（" + toc.problem + "）";
            return result;
        }
    }
    result.chapters = static_cast<int>(chapters.size());
    {
        std::lock_guard lock(progressMutex_);
        state_.chaptersTotal = result.chapters;
    }

    // The package, checked against the table.
    Text package;
    if (trimBlanks(book.txtPackageUrl).empty())
        result.packageProblem = "这本书没有TXT下载地址";
    else
        package = readPackage(info, options.base, &result.packageProblem);
    if (cancelled_) return cancelledResult();
    AssembledBook assembled = bookFromPackage(package, chapters);
    if (!package.empty() &&
        std::none_of(assembled.chapters.begin(), assembled.chapters.end(),
                     [](const BookChapter& c) { return c.origin == ChapterOrigin::Package; }))
        result.packageProblem = "TXT包里找不到目录中的任何一章";

    // What the book's earlier TXT already holds.
    const fs::path earlierFile = bookFilePath(options.base, title, BookFormat::Txt);
    std::error_code ec;
    std::vector<std::optional<Text>> held;
    if (fs::exists(earlierFile, ec)) held = heldChapters(readFileBytes(earlierFile), chapters);

    std::vector<size_t> todo;
    for (size_t k = 0; k < chapters.size(); ++k) {
        BookChapter& c = assembled.chapters[k];
        if (c.origin == ChapterOrigin::Package) {
            ++result.fromPackage;
        } else if (k < held.size() && held[k]) {
            fillChapter(&c, *held[k], ChapterOrigin::Held, assembled.lineBreak);
            ++result.fromEarlier;
        } else {
            todo.push_back(k);
        }
    }

    // The rest from their pages, `connections` at a time.
    {
        std::lock_guard lock(progressMutex_);
        state_.phase = BookProgress::Phase::Chapters;
        state_.chaptersDone = result.chapters - static_cast<int>(todo.size());
        state_.pagesTotal = static_cast<int>(todo.size());
    }
    report();
    struct Finished {
        std::mutex mutex;
        std::condition_variable arrived;
        std::deque<std::pair<size_t, ChapterFetch>> queue;
    };
    auto finished = std::make_shared<Finished>();
    const size_t limit = static_cast<size_t>(std::max(1, options.connections));
    size_t next = 0, running = 0;
    while (next < todo.size() || running > 0) {
        while (!cancelled_ && running < limit && next < todo.size()) {
            const size_t k = todo[next++];
            ++running;
            source_->fetch(chapters[k], [finished, k](ChapterFetch fetched) {
                std::lock_guard lock(finished->mutex);
                finished->queue.emplace_back(k, std::move(fetched));
                finished->arrived.notify_all();
            });
        }
        if (cancelled_ && running == 0) break;
        std::deque<std::pair<size_t, ChapterFetch>> batch;
        {
            std::unique_lock lock(finished->mutex);
            finished->arrived.wait_for(lock, std::chrono::milliseconds(200),
                                       [&] { return !finished->queue.empty(); });
            batch.swap(finished->queue);
        }
        for (auto& [k, fetched] : batch) {
            --running;
            BookChapter& c = assembled.chapters[k];
            const Text text = fetched.ok() ? chapterPlainText(fetched.text) : Text();
            if (!text.empty()) {
                fillChapter(&c, text, ChapterOrigin::Page, assembled.lineBreak);
            } else {
                markMissing(&c, fetched.ok() ? "章节页面上没有正文" : fetched.problem,
                            assembled.lineBreak);
            }
            std::lock_guard lock(progressMutex_);
            ++state_.pagesDone;
            ++state_.chaptersDone;
            state_.bytes += static_cast<int64_t>(fetched.text.size());
        }
        if (!batch.empty()) report();
    }
    if (cancelled_) return cancelledResult();

    // The book's file.
    {
        std::lock_guard lock(progressMutex_);
        state_.phase = BookProgress::Phase::Writing;
    }
    report();
    for (const BookChapter& c : assembled.chapters) {
        if (c.origin == ChapterOrigin::Page) ++result.fromPages;
        if (c.origin == ChapterOrigin::Missing)
            result.missing.push_back({c.title, c.url, c.reason});
    }
    Bytes bytes;
    if (options.format == BookFormat::Txt) {
        bytes = bookText(assembled);
        if (options.encoding == TxtEncoding::Utf8) bytes = toUtf8(bytes);
    } else {
        EpubBook epub;
        epub.title = toUtf8(title);
        epub.author = toUtf8(book.author);
        epub.identifier = bookIdentifier(book.bookUrl.empty() ? book.tocUrl : book.bookUrl);
        if (!book.coverUrl.empty()) {
            const FetchResult cover = engine_.fetch(
                {trimBlanks(book.coverUrl), RequestStyle::Page, RequestPriority::User}, cancelled_);
            if (cancelled_) return cancelledResult();
            if (cover.ok()) epub.cover = cover.body;
        }
        fillEpubText(&epub, assembled);
        bytes = buildEpub(epub, &result.error);
        if (bytes.empty()) return result;
    }
    if (std::error_code write = writeFileAtomically(result.file, bytes)) {
        result.error = "无法保存小说文件 " + result.file.string() + "（" + write.message() + "）";
        return result;
    }
    result.written = true;
    return result;
}

}  // namespace novel
