#pragma once
// Read-ahead: while a chapter is read, the next few chapters that the library does not hold yet
// are fetched in the background and kept, so turning the page needs no wait and works offline.

#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "library/library.h"
#include "web/request_engine.h"

namespace novel {

class ReadAhead {
  public:
    static constexpr int kDefaultDepth = 2;

    // The library and the engine must outlive this object.
    ReadAhead(Library& library, RequestEngine& engine, ChapterCleaning cleaning,
              int depth = kDefaultDepth);
    // Cancels what is under way and waits for its callbacks.
    ~ReadAhead();
    ReadAhead(const ReadAhead&) = delete;
    ReadAhead& operator=(const ReadAhead&) = delete;

    // Called when chapter `current` of `toc` is shown: cancels the read-ahead of a previous
    // chapter, then requests (Background priority) those of the `depth` chapters after `current`
    // that are not kept yet. Never more than `depth` requests are under way, cancelled ones
    // included: the rest wait their turn. Returns how many chapters it will fetch. Each page is
    // stored as it arrives; failures are dropped silently. Does not block.
    int start(const std::vector<ChapterEntry>& toc, int current);
    // Cancels every request under way; returns at once.
    void cancel();
    // Blocks until nothing is under way or waiting (for the command-line tool and tests; never on
    // the engine's thread).
    void wait();
    int pending() const;  // requests under way and waiting
    // Runs on the engine's thread after each page is stored (url, stored ok).
    void onStored(std::function<void(const std::string&, bool)> callback);

  private:
    Library& library_;
    RequestEngine& engine_;
    ChapterCleaning cleaning_;
    int depth_;
    struct Slot;
    // Submits queued chapters while fewer than depth_ requests are under way.
    void launch(std::unique_lock<std::mutex>& lock);

    mutable std::mutex mutex_;
    std::condition_variable idle_;
    std::deque<std::string> queue_;
    std::vector<std::shared_ptr<Slot>> running_;  // cancelled ones count until they end
    std::function<void(const std::string&, bool)> onStored_;
};

}  // namespace novel
