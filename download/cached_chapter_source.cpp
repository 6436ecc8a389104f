#include "download/cached_chapter_source.h"

#include <algorithm>

#include "library/chapter_source.h"

namespace novel {

namespace {

ChapterFetch cancelledFetch() {
    ChapterFetch fetched;
    fetched.cancelled = true;
    fetched.problem = "已取消";
    return fetched;
}

}  // namespace

CachedChapterSource::CachedChapterSource(Library* library, RequestEngine& engine,
                                         ChapterCleaning cleaning, int workers)
    : library_(library),
      engine_(engine),
      cleaning_(std::move(cleaning)),
      maxWorkers_(static_cast<size_t>(std::max(1, workers))) {}

CachedChapterSource::~CachedChapterSource() {
    cancelAll();
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    wake_.notify_all();
    for (std::thread& worker : workers_) worker.join();
}

// readChapter blocks on the site (and must not run on the engine's thread), so it runs on
// threads of this source, started as the work needs them.
void CachedChapterSource::fetch(const ChapterEntry& chapter, Done done) {
    if (cancelled_) return done(cancelledFetch());
    {
        std::lock_guard lock(mutex_);
        queue_.emplace_back(chapter, std::move(done));
        if (idle_ == 0 && workers_.size() < maxWorkers_)
            workers_.emplace_back(&CachedChapterSource::work, this);
    }
    wake_.notify_one();
}

void CachedChapterSource::cancelAll() {
    cancelled_ = true;
    std::deque<std::pair<ChapterEntry, Done>> waiting;
    {
        std::lock_guard lock(mutex_);
        waiting.swap(queue_);
    }
    for (auto& [chapter, done] : waiting) done(cancelledFetch());
}

void CachedChapterSource::work() {
    std::unique_lock lock(mutex_);
    for (;;) {
        ++idle_;
        wake_.wait(lock, [&] { return stopping_ || !queue_.empty(); });
        --idle_;
        if (queue_.empty()) return;  // stopping
        auto [chapter, done] = std::move(queue_.front());
        queue_.pop_front();
        lock.unlock();
        ChapterFetch fetched;
        if (cancelled_) {
            fetched = cancelledFetch();
        } else {
            ChapterRead read =
                readChapter(library_, engine_, chapter.url, cleaning_, false, &cancelled_);
            fetched.cancelled = read.fetch.cancelled;
            fetched.text = std::move(read.text);
            fetched.problem = std::move(read.problem);
        }
        done(std::move(fetched));
        lock.lock();
    }
}

}  // namespace novel
