#pragma once
// Reading a chapter through the library: the kept copy when there is one, else the site, keeping
// what it sends. The reader and `novel chapter` both read chapters this way.

#include <atomic>
#include <string>

#include "library/library.h"
#include "web/request_engine.h"

namespace novel {

struct ChapterRead {
    Text text;            // cleaned chapter text; empty when there is none
    bool cached = false;  // the text came from the library, not from the site
    FetchResult fetch;    // the request made (attempts == 0 when none was)
    std::string problem;  // why there is no text, in words for the user; empty when there is
    bool ok() const { return problem.empty(); }
};

// `library` may be null (no library this run). Without `refresh` a kept chapter is served without
// any request; with it the site is asked first. When the site cannot give the page, a kept copy is
// served all the same. Blocks: not for the engine's own thread. `cancelled`, when given, ends
// the wait for the site soon after it becomes true (the read then has fetch.cancelled set).
ChapterRead readChapter(Library* library, RequestEngine& engine, const std::string& url,
                        const ChapterCleaning& cleaning, bool refresh = false,
                        const std::atomic<bool>* cancelled = nullptr);

}  // namespace novel
