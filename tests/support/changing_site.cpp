#include "support/changing_site.h"

#include <regex>
#include <thread>

#include "web/gbk.h"

namespace novel::test {

ChangingSite::ChangingSite(int books, int chapters, std::chrono::milliseconds latency)
    : latencyMs_(static_cast<int>(latency.count())) {
    for (int b = 1; b <= books; ++b)
        for (int c = 1; c <= chapters; ++c)
            tocs_[b].push_back({c, "第" + std::to_string(c) + "章"});
    server_ = std::make_unique<LoopbackServer>([this](httplib::Server& s) {
        s.Get(".*", [this](const httplib::Request& req, httplib::Response& res) {
            const int now = ++running_;
            int most = mostAtOnce_;
            while (now > most && !mostAtOnce_.compare_exchange_weak(most, now)) {
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(latencyMs_.load()));
            int status = 200;
            const std::string body = page(req.path, &status);
            res.status = status;
            res.set_content(body, "text/html");
            {
                std::lock_guard lock(mutex_);
                ++perPath_[req.path];
            }
            ++served_;
            --running_;
        });
    });
    base_ = server_->url("");
    while (!base_.empty() && base_.back() == '/') base_.pop_back();
}

ChangingSite::~ChangingSite() = default;

std::string ChangingSite::url(const std::string& path) const {
    return base_ + path;
}
std::string ChangingSite::bookUrl(int book) const {
    return url("/book/" + std::to_string(book) + ".html");
}
std::string ChangingSite::chapterUrl(int book, int chapter) const {
    return url("/book/" + std::to_string(book) + "/" + std::to_string(chapter) + ".html");
}

void ChangingSite::setToc(int book, std::vector<std::pair<int, std::string>> entries) {
    std::lock_guard lock(mutex_);
    tocs_[book] = std::move(entries);
}
std::vector<std::pair<int, std::string>> ChangingSite::toc(int book) const {
    std::lock_guard lock(mutex_);
    const auto it = tocs_.find(book);
    return it == tocs_.end() ? std::vector<std::pair<int, std::string>>{} : it->second;
}
void ChangingSite::setChapterText(int book, int chapter, std::string utf8Text) {
    std::lock_guard lock(mutex_);
    texts_[{book, chapter}] = std::move(utf8Text);
}
int ChangingSite::requestsFor(const std::string& path) const {
    std::lock_guard lock(mutex_);
    const auto it = perPath_.find(path);
    return it == perPath_.end() ? 0 : it->second;
}
void ChangingSite::resetCounts() {
    std::lock_guard lock(mutex_);
    perPath_.clear();
    served_ = 0;
    mostAtOnce_ = 0;
}
void ChangingSite::stop() {
    server_.reset();
}

std::string ChangingSite::page(const std::string& path, int* status) const {
    static const std::regex bookPage(R"(/book/(\d+)\.html)");
    static const std::regex tocPage(R"(/book/(\d+)/index\.html)");
    static const std::regex chapterPage(R"(/book/(\d+)/(\d+)\.html)");
    std::smatch m;
    std::lock_guard lock(mutex_);
    std::string s;
    if (std::regex_match(path, m, bookPage) && tocs_.contains(std::stoi(m[1]))) {
        const std::string b = m[1];
        s = "<html><head><meta name=\"keywords\" content=\"书" + b + ",作者" + b + ",书" + b +
            "最新章节\" /></head><body>book " + b + "</body></html>";
    } else if (std::regex_match(path, m, tocPage) && tocs_.contains(std::stoi(m[1]))) {
        s = "<div class=\"zip\"><a href=\"zip\">ZIP下载</a></div>\r\n";
        for (const auto& [chapter, title] : tocs_.at(std::stoi(m[1])))
            s += "<div class=\"dccss\"><a href=\"" + std::to_string(chapter) + ".html\">" + title +
                 "</a></div>\r\n";
        s += "如果您认为本站不错\r\n";
    } else if (std::regex_match(path, m, chapterPage)) {
        const std::pair key{std::stoi(m[1]), std::stoi(m[2])};
        const auto it = texts_.find(key);
        const std::string text = it != texts_.end()
                                     ? it->second
                                     : "书" + std::string(m[1]) + "第" + std::string(m[2]) +
                                           "章的正文。<br /><br />第二段。";
        s = "<html><body><div id=\"text_area\">" + text + "</div></body></html>";
    } else {
        *status = 404;
        return "not found";
    }
    return toGbk(s);
}

}  // namespace novel::test
