#include "library/shelf_update.h"

#include <unordered_map>
#include <unordered_set>

#include "catalogue/book_page.h"
#include "web/gbk.h"

namespace novel {

UpdateNews compareTables(const std::vector<ChapterEntry>& before,
                         const std::vector<ChapterEntry>& after) {
    UpdateNews news;
    std::unordered_map<std::string_view, const ChapterEntry*> old;
    for (const ChapterEntry& c : before) old.emplace(c.url, &c);
    std::unordered_set<std::string_view> now;
    for (const ChapterEntry& c : after) {
        now.insert(c.url);
        const auto it = old.find(c.url);
        if (it == old.end())
            news.added.push_back(c.title);
        else if (it->second->title != c.title)
            news.retitled.push_back(c.title);
    }
    for (const ChapterEntry& c : before)
        if (!now.contains(c.url)) news.removed.push_back(c.title);
    return news;
}

namespace {
const char* const kCancelled = "已取消";
}

struct ShelfUpdate::Run {
    struct Book {
        ShelfBook shelf;
        BookCheck check;
        std::vector<ChapterEntry> toc;
        int revisionsLeft = 0;
        bool done = false;
    };
    std::mutex mutex;
    std::condition_variable finished;
    std::vector<Book> books;
    std::vector<RequestId> requests;
    int booksLeft = 0;
    bool cancelled = false;
    std::function<void(const BookCheck&)> onBook;
};

ShelfUpdate::ShelfUpdate(Library& library, RequestEngine& engine, ChapterCleaning cleaning)
    : library_(library), engine_(engine), cleaning_(std::move(cleaning)) {}

ShelfUpdate::~ShelfUpdate() {
    if (!run_) return;
    cancel();
    wait();
}

bool ShelfUpdate::start(std::function<void(const BookCheck&)> onBook) {
    if (run_) {
        std::lock_guard lock(run_->mutex);
        if (run_->booksLeft > 0) return false;
    }
    auto run = std::make_shared<Run>();
    run->onBook = std::move(onBook);
    for (ShelfBook& shelf : library_.books(true)) {
        Run::Book& b = run->books.emplace_back();
        b.check.bookUrl = shelf.bookUrl;
        b.check.title = shelf.title;
        b.shelf = std::move(shelf);
    }
    run->booksLeft = static_cast<int>(run->books.size());
    run_ = run;

    // Ends book i: stores its table of contents and news in one transaction, unless it failed.
    // Called with the run's lock held.
    auto finish = [this, run](size_t i) {
        Run::Book& b = run->books[i];
        if (b.done) return;
        b.done = true;
        if (run->cancelled && b.check.ok()) b.check.problem = kCancelled;
        if (b.check.ok()) {
            const LibraryResult stored =
                library_.recordUpdate(b.shelf.bookUrl, b.toc, b.check.news, unixNow());
            if (!stored.ok()) b.check.problem = stored.problem;
        }
        if (run->onBook) run->onBook(b.check);
        if (--run->booksLeft == 0) run->finished.notify_all();
    };

    auto onRevision = [this, run, finish](size_t i, std::string url, Text title,
                                          FetchResult result) {
        std::optional<CachedChapter> kept;
        Text fresh;
        if (result.ok() && !result.body.empty()) {
            kept = library_.lookupChapter(url, cleaning_);
            fresh = cleaning_.textFromPage(result.body);
            if (kept && !fresh.empty() && fresh != kept->text)
                library_.storeChapter(url, result.body, cleaning_, unixNow());
        }
        std::lock_guard lock(run->mutex);
        Run::Book& b = run->books[i];
        if (kept && !fresh.empty() && fresh != kept->text) b.check.news.revised.push_back(title);
        if (--b.revisionsLeft == 0) finish(i);
    };

    auto onToc = [this, run, finish, onRevision](size_t i, FetchResult result) {
        std::vector<ChapterEntry> toc;
        std::string problem;
        if (result.cancelled) {
            problem = kCancelled;
        } else if (!result.ok()) {
            problem = result.problem;
        } else {
            toc =
                parseTableOfContents(textOf(result.body), bookUrlStem(run->books[i].shelf.bookUrl));
            // A page without chapters is no reason to forget the ones stored.
            if (toc.empty()) problem = "目录页面里没有章节";
        }
        // The newest chapters, in the new table, that the library keeps text for.
        std::vector<const ChapterEntry*> recheck;
        if (!toc.empty()) {
            const std::string stem = bookUrlStem(run->books[i].shelf.bookUrl) + "/";
            const std::vector<std::string> keptList = library_.keptChapterUrls(stem);
            const std::unordered_set<std::string> kept(keptList.begin(), keptList.end());
            for (auto it = toc.rbegin(); it != toc.rend() && recheck.size() < kRevisionChecks; ++it)
                if (kept.contains(it->url)) recheck.push_back(&*it);
        }

        std::lock_guard lock(run->mutex);
        Run::Book& b = run->books[i];
        b.check.problem = problem;
        if (!problem.empty() || run->cancelled) return finish(i);
        b.check.news = compareTables(b.shelf.toc, toc);
        b.toc = std::move(toc);
        if (recheck.empty()) return finish(i);
        b.revisionsLeft = static_cast<int>(recheck.size());
        for (const ChapterEntry* c : recheck) {
            // submit never runs the callback itself, so holding the run's lock here is safe.
            run->requests.push_back(
                engine_.submit({c->url, RequestStyle::Page, RequestPriority::Background},
                               [onRevision, i, url = c->url, title = c->title](FetchResult r) {
                                   onRevision(i, url, title, std::move(r));
                               }));
        }
    };

    std::lock_guard lock(run->mutex);
    for (size_t i = 0; i < run->books.size(); ++i) {
        const Run::Book& b = run->books[i];
        run->requests.push_back(
            engine_.submit({b.shelf.tocUrl, RequestStyle::Plain, RequestPriority::Background},
                           [onToc, i](FetchResult r) { onToc(i, std::move(r)); }));
    }
    return true;
}

void ShelfUpdate::cancel() {
    if (!run_) return;
    std::vector<RequestId> ids;
    {
        std::lock_guard lock(run_->mutex);
        run_->cancelled = true;
        ids = run_->requests;
    }
    for (RequestId id : ids) engine_.cancel(id);
}

std::vector<BookCheck> ShelfUpdate::wait() {
    std::vector<BookCheck> out;
    if (!run_) return out;
    std::unique_lock lock(run_->mutex);
    run_->finished.wait(lock, [&] { return run_->booksLeft == 0; });
    for (const Run::Book& b : run_->books) out.push_back(b.check);
    return out;
}

std::vector<BookCheck> checkShelf(Library& library, RequestEngine& engine,
                                  const ChapterCleaning& cleaning) {
    ShelfUpdate update(library, engine, cleaning);
    update.start();
    return update.wait();
}

}  // namespace novel
