#include "demo/demo_faults.h"

#include <chrono>
#include <regex>
#include <string>
#include <thread>

#include "web/gbk.h"

namespace novel {
namespace {

using httplib::DataSink;
using httplib::Request;
using httplib::Response;

constexpr size_t kHugeFiller = 50u << 20;
constexpr size_t kManyRows = 100000;
constexpr size_t kBigChapter = 10u << 20;

// The page the site proper serves at `path`; empty when there is none.
Bytes pageAt(const std::vector<std::pair<std::regex, DemoRoute>>& routes, const std::string& path) {
    for (const auto& [pattern, route] : routes) {
        Request req;
        req.path = path;
        if (!std::regex_match(req.path, req.matches, pattern)) continue;
        Response res;
        route.handle(req, res);
        return res.status == 200 || res.status == -1 ? res.body : Bytes();
    }
    return {};
}

// `piece` over and over, to at least `bytes` bytes.
Bytes repeated(std::string_view piece, size_t bytes) {
    Bytes out;
    out.reserve(bytes + piece.size());
    while (out.size() < bytes) out.append(piece);
    return out;
}

Bytes byteSoup() {
    Bytes soup(256 * 1024, '\0');
    uint64_t state = 0x5EED;
    for (char& c : soup) {
        state = state * 6364136223846793005ull + 1442695040888963407ull;
        const auto r = static_cast<unsigned char>(state >> 56);
        // Mostly two-byte character bytes, with markup characters and lone lead bytes among them.
        c = static_cast<char>(r < 40 ? "<>\"/= \r\n"[r % 8] : (r | 0x80));
    }
    return soup;
}

Bytes errorPage(int status) {
    return toGbk("<html><head><title>" + std::to_string(status) +
                 "</title></head><body><h1>出错了</h1></body></html>");
}

void trickle(Response& res, Bytes body) {
    auto shared = std::make_shared<const Bytes>(std::move(body));
    res.set_content_provider(
        shared->size(), kDemoHtmlType, [shared](size_t offset, size_t, DataSink& sink) {
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
            return sink.is_writable() && sink.write(shared->data() + offset, 1);
        });
}

void resetHalfway(Response& res, Bytes body) {
    auto shared = std::make_shared<const Bytes>(std::move(body));
    res.set_content_provider(shared->size(), kDemoHtmlType,
                             [shared](size_t offset, size_t, DataSink& sink) {
                                 if (offset > 0) return false;  // drops the connection
                                 sink.write(shared->data(), shared->size() / 2);
                                 return true;
                             });
}

}  // namespace

std::vector<DemoRoute> demoFaultRoutes(std::shared_ptr<const DemoPages> pages) {
    auto routes = std::make_shared<std::vector<std::pair<std::regex, DemoRoute>>>();
    for (DemoRoute& route : demoRoutes(pages))
        routes->emplace_back(std::regex(route.pattern), std::move(route));
    auto soup = std::make_shared<const Bytes>(byteSoup());

    return {{R"(/fault/([a-z0-9]+)(/.*))", [routes, soup](const Request& req, Response& res) {
                 const std::string kind = req.matches[1].str();
                 const std::string rest = req.matches[2].str();
                 if (kind == "loop") {
                     res.set_redirect(req.path);
                     return;
                 }
                 if (kind == "404" || kind == "500") {
                     res.status = std::stoi(kind);
                     res.set_content(errorPage(res.status), kDemoHtmlType);
                     return;
                 }
                 if (kind == "soup") {
                     res.set_content(*soup, kDemoHtmlType);
                     return;
                 }
                 Bytes page = pageAt(*routes, rest);
                 if (page.empty()) {
                     res.status = 404;
                     return;
                 }
                 if (kind == "trickle") return trickle(res, std::move(page));
                 if (kind == "reset") return resetHalfway(res, std::move(page));
                 if (kind == "huge") {
                     const size_t body = page.find("<body");
                     page.insert(body == std::string::npos ? 0 : body,
                                 repeated("<!-- filler -->\r\n", kHugeFiller));
                 } else if (kind == "rows") {
                     // The first row of the table, from its "<tr>" to the next one.
                     const size_t first = page.find("<tr>\r\n    <td class=\"odd\">");
                     const size_t next = page.find("<tr>", first + 1);
                     if (first != std::string::npos && next != std::string::npos)
                         page.insert(next, repeated(page.substr(first, next - first),
                                                    (kManyRows - 1) * (next - first)));
                 } else if (kind == "bigchapter") {
                     const std::string_view start = "<div id=\"text_area\">";
                     const size_t at = page.find(start);
                     if (at != std::string::npos)
                         page.insert(at + start.size(),
                                     repeated(toGbk("　　夜色如墨，山门寂静。<br /><br />\r\n"),
                                              kBigChapter));
                 } else {
                     res.status = 404;
                     return;
                 }
                 res.set_content(page, kDemoHtmlType);
             }}};
}

}  // namespace novel
