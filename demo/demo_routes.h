#pragma once
// The demo site's routing table: one row per path pattern. Kept apart from the server so more
// rows (fault routes for reliability tests) can be appended without touching the pages.

#include <httplib.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "demo/demo_pages.h"

namespace novel {

inline constexpr const char* kDemoHtmlType = "text/html; charset=gbk";

struct DemoRoute {
    std::string pattern;  // ECMAScript regular expression over the whole decoded path
    httplib::Server::Handler handle;
};

// Routes of the site proper; pages carry the catalogue and the site's base URL.
std::vector<DemoRoute> demoRoutes(std::shared_ptr<const DemoPages> pages);

// Serves a generated page; an empty page means the path names nothing there, and answers 404.
void answerPage(httplib::Response& res, const Text& page);

}  // namespace novel
