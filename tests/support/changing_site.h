#pragma once
// A small site for library tests and benchmarks: numbered books with a keywords meta, a table of
// contents and chapter pages in the site's markup, all of which a test may change between
// requests. Counts the requests it serves and the most it served at once; may answer slowly.

#include <atomic>
#include <chrono>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "support/loopback_server.h"

namespace novel::test {

class ChangingSite {
  public:
    // Books 1..books with chapters 1..chapters titled "第N章".
    ChangingSite(int books, int chapters, std::chrono::milliseconds latency = {});
    ~ChangingSite();

    std::string url(const std::string& path = "") const;  // base URL when path is empty
    std::string bookUrl(int book) const;                  // BASE/book/B.html
    std::string chapterUrl(int book, int chapter) const;  // BASE/book/B/C.html

    // The table of contents of a book: (chapter number, UTF-8 title) in page order.
    void setToc(int book, std::vector<std::pair<int, std::string>> entries);
    std::vector<std::pair<int, std::string>> toc(int book) const;
    void setChapterText(int book, int chapter, std::string utf8Text);
    void setLatency(std::chrono::milliseconds latency) {
        latencyMs_ = static_cast<int>(latency.count());
    }

    int requests() const { return served_; }
    int requestsFor(const std::string& path) const;
    int mostAtOnce() const { return mostAtOnce_; }
    void resetCounts();
    // Stops serving: every later request fails to connect.
    void stop();

  private:
    std::string page(const std::string& path, int* status) const;

    mutable std::mutex mutex_;
    std::map<int, std::vector<std::pair<int, std::string>>> tocs_;
    std::map<std::pair<int, int>, std::string> texts_;
    std::map<std::string, int> perPath_;
    std::atomic<int> latencyMs_{0};
    std::atomic<int> served_{0};
    std::atomic<int> running_{0};
    std::atomic<int> mostAtOnce_{0};
    std::unique_ptr<LoopbackServer> server_;
    std::string base_;
};

}  // namespace novel::test
