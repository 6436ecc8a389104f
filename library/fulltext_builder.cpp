#include "library/fulltext_builder.h"

namespace novel {

FulltextBuilder::FulltextBuilder(Library& library, std::function<void(FulltextProgress)> progress,
                                 int chaptersPerStep) {
    thread_ = std::thread([this, &library, progress = std::move(progress), chaptersPerStep] {
        while (!stop_ && library.writable()) {
            const int done = library.indexPendingChapters(chaptersPerStep);
            if (progress) progress(library.fulltextProgress());
            if (done <= 0) break;
        }
        running_ = false;
    });
}

FulltextBuilder::~FulltextBuilder() {
    stop_ = true;
    thread_.join();
}

}  // namespace novel
