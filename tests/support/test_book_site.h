#pragma once
// A book served on loopback for the complete-book tests and benchmark: its page, table of
// contents, chapter pages and TXT package, with chapters left out of the package, chapter pages
// that fail, a latency, and a count of the chapter pages under way at once.

#include <httplib.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "web/gbk.h"

namespace novel::test {

class TestBookSite {
  public:
    std::string title = "测试之书";
    std::string author = "某作者";
    int chapterCount = 10;
    std::set<int> notInPackage;  // chapters (from 1) the package lacks
    bool packageMissing = false;
    std::map<int, int> failures;  // chapter -> how many 500 answers before a page (-1: always)
    std::chrono::milliseconds latency{0};
    std::string preface = "本书前言：感谢阅读。\r\n作者的话在这里。\r\n\r\n";
    std::map<int, std::string> titles;  // titles other than "第K章 标题K"

    std::string chapterTitle(int k) const {
        auto it = titles.find(k);
        return it != titles.end() ? it->second
                                  : "第" + std::to_string(k) + "章 标题" + std::to_string(k);
    }
    std::vector<std::string> paragraphs(int k) const {
        std::vector<std::string> out;
        for (int j = 1; j <= 3; ++j)
            out.push_back("第" + std::to_string(k) + "章的第" + std::to_string(j) + "段文字。");
        return out;
    }
    // One chapter as the package writes it (UTF-8), the same lines a page gives.
    std::string packageChapter(int k) const {
        std::string s = chapterTitle(k) + "\r\n";
        for (const std::string& p : paragraphs(k)) s += "    " + p + "\r\n";
        return s + "\r\n";
    }
    std::string package(bool complete = false) const {
        std::string s = preface;
        for (int k = 1; k <= chapterCount; ++k)
            if (complete || !notInPackage.count(k)) s += packageChapter(k);
        return s;
    }

    std::vector<int> pageRequests() const {
        std::lock_guard lock(mutex_);
        return pageRequests_;
    }
    void clearPageRequests() {
        std::lock_guard lock(mutex_);
        pageRequests_.clear();
    }
    int mostPagesAtOnce() const { return mostAtOnce_.load(); }

    void addRoutes(httplib::Server& server) {
        server.Get("/book/7.html", [this](const httplib::Request&, httplib::Response& res) {
            res.set_content(toGbk(bookPage()), "text/html");
        });
        server.Get("/book/7/index.html", [this](const httplib::Request&, httplib::Response& res) {
            res.set_content(toGbk(tableOfContents()), "text/html");
        });
        server.Get(R"(/book/7/(\d+)\.html)",
                   [this](const httplib::Request& req, httplib::Response& res) {
                       chapterPage(std::stoi(req.matches[1]), res);
                   });
        server.Get("/modules/article/packdown_txt_7.txt",
                   [this](const httplib::Request&, httplib::Response& res) {
                       if (packageMissing) {
                           res.status = 404;
                           return;
                       }
                       res.set_content(toGbk(package()), "text/plain");
                   });
        server.Get("/cover.jpg", [](const httplib::Request&, httplib::Response& res) {
            res.set_content(std::string("\xFF\xD8\xFF\xE0"
                                        "cover-bytes",
                                        15),
                            "image/jpeg");
        });
    }

  private:
    std::string bookPage() const {
        return "<html><head><meta name=\"keywords\" content=\"" + title + "," + author + "," +
               title +
               "最新章节\" />\r\n</head><body>\r\n"
               "\t<div class=\"cover\"><img src=\"/cover.jpg\" width=\"100\" /></div>\r\n"
               "\t\t<div class=\"CrbsLink\"><a href=\"/book/7/index.html\" "
               "target=\"_blank\">点击阅读</a></div>\r\n"
               "\t\t<div class=\"links\">【<a href=\"/add\">加入书架</a>】\r\n\t\t\t【<a href=\""
               "/modules/article/txtdown_7.txt\" target=\"_blank\">TXT下载</a>】</div>\r\n"
               "</body></html>\r\n";
    }
    std::string tableOfContents() const {
        std::string s = "<div class=\"down\"><a href=\"/p\">ZIP下载</a></div>\r\n";
        for (int k = 1; k <= chapterCount; ++k)
            s += "<div class=\"dccss\"><a href=\"" + std::to_string(k) + ".html\">" +
                 chapterTitle(k) + "</a></div>\r\n";
        return s + "<div>如果您认为本书不错</div>\r\n";
    }
    void chapterPage(int k, httplib::Response& res) {
        const int now = ++atOnce_;
        int most = mostAtOnce_.load();
        while (now > most && !mostAtOnce_.compare_exchange_weak(most, now)) {
        }
        bool fail = false;
        {
            std::lock_guard lock(mutex_);
            pageRequests_.push_back(k);
            auto it = failures.find(k);
            if (it != failures.end() && it->second != 0) {
                fail = true;
                if (it->second > 0) --it->second;
            }
        }
        if (latency.count() > 0) std::this_thread::sleep_for(latency);
        --atOnce_;
        if (fail || k < 1 || k > chapterCount) {
            res.status = 500;
            return;
        }
        std::string s = "<html><body><h1>" + chapterTitle(k) + "</h1>\r\n<div id=\"text_area\">";
        for (const std::string& p : paragraphs(k))
            s += "&nbsp;&nbsp;&nbsp;&nbsp;" + p + "<br />\r\n<br />\r\n";
        s += "</div>\r\n</body></html>\r\n";
        res.set_content(toGbk(s), "text/html");
    }

    mutable std::mutex mutex_;
    std::vector<int> pageRequests_;
    std::atomic<int> atOnce_{0};
    std::atomic<int> mostAtOnce_{0};
};

}  // namespace novel::test
