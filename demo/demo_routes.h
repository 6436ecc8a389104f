#pragma once
// The demo site's routing table: one row per path pattern. Kept apart from the server so more
// rows (fault routes for reliability tests) can be appended without touching the pages.

#include <httplib.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "demo/demo_pages.h"
#include "demo/demo_revisions.h"

namespace novel {

inline constexpr const char* kDemoHtmlType = "text/html; charset=gbk";

struct DemoRoute {
    std::string pattern;  // ECMAScript regular expression over the whole decoded path
    httplib::Server::Handler handle;
};

// Routes of the site proper; pages carry the catalogue and the site's base URL. Books revised in
// `revisions` (when given) are served as revised.
std::vector<DemoRoute> demoRoutes(std::shared_ptr<const DemoPages> pages,
                                  std::shared_ptr<const DemoRevisions> revisions = nullptr);

// POST /demo/revise?book=ID&step=N: sets book demo_books::kRevisable to step N of
// demoRevisionSteps (0: as generated). 400 for a malformed query, 404 for another book or a step
// past the sequence.
DemoRoute demoRevisionRoute(std::shared_ptr<DemoRevisions> revisions);

// Serves a generated page; an empty page means the path names nothing there, and answers 404.
void answerPage(httplib::Response& res, const Text& page);

}  // namespace novel
