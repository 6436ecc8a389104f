#pragma once
// Builds the full-text index of chapters kept before it existed, on a thread of its own, a few
// chapters per short transaction, so reading and storing go on meanwhile.

#include <atomic>
#include <functional>
#include <thread>

#include "library/library.h"

namespace novel {

class FulltextBuilder {
  public:
    // `progress` runs on the builder's thread after each step and once at the end.
    FulltextBuilder(Library& library, std::function<void(FulltextProgress)> progress,
                    int chaptersPerStep = 100);
    // Stops after the step under way.
    ~FulltextBuilder();
    FulltextBuilder(const FulltextBuilder&) = delete;
    FulltextBuilder& operator=(const FulltextBuilder&) = delete;

    bool running() const { return running_; }

  private:
    std::atomic<bool> stop_{false};
    std::atomic<bool> running_{true};
    std::thread thread_;
};

}  // namespace novel
