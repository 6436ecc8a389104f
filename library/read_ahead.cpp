#include "library/read_ahead.h"

#include <algorithm>

namespace novel {

struct ReadAhead::Slot {
    RequestId id = 0;  // 0 until submit has returned
    bool cancelled = false;
};

ReadAhead::ReadAhead(Library& library, RequestEngine& engine, ChapterCleaning cleaning, int depth)
    : library_(library),
      engine_(engine),
      cleaning_(std::move(cleaning)),
      depth_(std::max(0, depth)) {}

ReadAhead::~ReadAhead() {
    cancel();
    wait();
}

int ReadAhead::start(const std::vector<ChapterEntry>& toc, int current) {
    cancel();
    if (!library_.writable()) return 0;
    std::deque<std::string> wanted;
    const int first = std::max(0, current + 1);
    for (int i = first; i < static_cast<int>(toc.size()) && i < first + depth_; ++i)
        if (!toc[i].url.empty() && !library_.hasChapter(toc[i].url)) wanted.push_back(toc[i].url);
    const int count = static_cast<int>(wanted.size());
    std::unique_lock lock(mutex_);
    queue_ = std::move(wanted);
    launch(lock);
    return count;
}

void ReadAhead::launch(std::unique_lock<std::mutex>& lock) {
    while (!queue_.empty() && static_cast<int>(running_.size()) < depth_) {
        const std::string url = std::move(queue_.front());
        queue_.pop_front();
        auto slot = std::make_shared<Slot>();
        running_.push_back(slot);
        // The callback may run before submit returns; it finds its slot by pointer, not by id.
        lock.unlock();
        const RequestId id = engine_.submit(
            {url, RequestStyle::Page, RequestPriority::Background},
            [this, url, slot](FetchResult result) {
                bool stored = false;
                if (result.ok() && !result.body.empty() &&
                    !cleaning_.textFromPage(result.body).empty())
                    stored = library_.storeChapter(url, result.body, cleaning_, unixNow()).ok();
                std::function<void(const std::string&, bool)> callback;
                {
                    std::lock_guard guard(mutex_);
                    callback = onStored_;
                }
                if (callback && !result.cancelled) callback(url, stored);
                // Notified under the lock: once wait() sees nothing running, this callback no
                // longer touches the object.
                std::unique_lock guard(mutex_);
                std::erase(running_, slot);
                launch(guard);
                idle_.notify_all();
            });
        lock.lock();
        slot->id = id;
        if (slot->cancelled) {
            lock.unlock();
            engine_.cancel(id);
            lock.lock();
        }
    }
}

void ReadAhead::cancel() {
    std::vector<RequestId> ids;
    {
        std::lock_guard lock(mutex_);
        queue_.clear();
        for (const std::shared_ptr<Slot>& slot : running_) {
            slot->cancelled = true;
            if (slot->id != 0) ids.push_back(slot->id);
        }
    }
    for (RequestId id : ids) engine_.cancel(id);
}

void ReadAhead::wait() {
    std::unique_lock lock(mutex_);
    idle_.wait(lock, [&] { return running_.empty() && queue_.empty(); });
}

int ReadAhead::pending() const {
    std::lock_guard lock(mutex_);
    return static_cast<int>(running_.size() + queue_.size());
}

void ReadAhead::onStored(std::function<void(const std::string&, bool)> callback) {
    std::lock_guard lock(mutex_);
    onStored_ = std::move(callback);
}

}  // namespace novel
