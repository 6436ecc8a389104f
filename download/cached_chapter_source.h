#pragma once
// Chapter texts for a book download through the library: a chapter it keeps is served without a
// request, any other is fetched and kept, so a second download of a book asks the site only for
// what the first could not get.

#include <atomic>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>
#include <utility>
#include <vector>

#include "download/book_session.h"
#include "library/library.h"
#include "web/request_engine.h"

namespace novel {

class CachedChapterSource : public ChapterSource {
  public:
    // `library` may be null (no library this run): every chapter then comes from the site. At
    // most `workers` chapters are read at once.
    CachedChapterSource(Library* library, RequestEngine& engine, ChapterCleaning cleaning,
                        int workers = 4);
    // Cancels what is left and waits for the workers; every callback has run by then.
    ~CachedChapterSource() override;
    void fetch(const ChapterEntry& chapter, Done done) override;
    // Cancels what was begun, and every later fetch ends cancelled at once: one begun at the
    // moment of the cancel must not hold up the end of the download.
    void cancelAll() override;

  private:
    void work();

    Library* library_;
    RequestEngine& engine_;
    const ChapterCleaning cleaning_;
    const size_t maxWorkers_;
    std::atomic<bool> cancelled_{false};
    std::mutex mutex_;
    std::condition_variable wake_;
    std::deque<std::pair<ChapterEntry, Done>> queue_;
    std::vector<std::thread> workers_;
    size_t idle_ = 0;
    bool stopping_ = false;
};

}  // namespace novel
