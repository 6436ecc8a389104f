#pragma once
// Fault routes for the reliability tests; only test programs link them. Under /fault/KIND/PATH the
// site serves what it serves at /PATH (or a page made for the fault), delivered badly one way:
//   trickle     one byte every 100 ms
//   reset       the full length announced, half the body sent, then the connection dropped
//   404, 500    that status, with an error page as the body
//   loop        a redirect to itself, for ever
//   huge        the page with 50 MB of filler before its content
//   soup        256 KB of random GBK-looking bytes, whatever PATH is
//   rows        the list page at PATH with its first row repeated to 100,000 rows
//   bigchapter  the chapter page at PATH with its text grown to 10 MB

#include <memory>
#include <vector>

#include "demo/demo_routes.h"

namespace novel {

std::vector<DemoRoute> demoFaultRoutes(std::shared_ptr<const DemoPages> pages);

}  // namespace novel
