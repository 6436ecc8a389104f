#pragma once
// Caps the size of files this process may write, for as long as it lives: writes past the cap
// fail even for root, which is how the tests make a write fail on purpose.

#include <sys/resource.h>

#include <csignal>

namespace novel::test {

class FileSizeLimit {
  public:
    explicit FileSizeLimit(rlim_t bytes) {
        std::signal(SIGXFSZ, SIG_IGN);  // a failed write, not a killed process
        active_ = getrlimit(RLIMIT_FSIZE, &old_) == 0;
        rlimit small = old_;
        small.rlim_cur = bytes;
        active_ = active_ && setrlimit(RLIMIT_FSIZE, &small) == 0;
    }
    ~FileSizeLimit() {
        if (active_) setrlimit(RLIMIT_FSIZE, &old_);
    }
    FileSizeLimit(const FileSizeLimit&) = delete;
    FileSizeLimit& operator=(const FileSizeLimit&) = delete;

    bool active() const { return active_; }

  private:
    rlimit old_{};
    bool active_ = false;
};

}  // namespace novel::test
