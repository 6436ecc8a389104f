#include "demo/demo_routes.h"

#include <algorithm>
#include <charconv>
#include <list>
#include <mutex>

namespace novel {
namespace {

using httplib::DataSink;
using httplib::Request;
using httplib::Response;

constexpr const char* kTextType = "text/plain; charset=gbk";
constexpr size_t kChunk = 64 * 1024;
constexpr int kMaxBenchMegabytes = 1024;

// A decimal number without sign, or -1 when the text is not one.
int64_t number(std::string_view digits) {
    int64_t n = -1;
    auto [end, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), n);
    if (ec != std::errc() || end != digits.data() + digits.size() || n < 0) return -1;
    return n;
}

int pageParameter(const Request& req) {
    int64_t n = number(req.get_param_value("page"));
    return n >= 1 && n <= 1000000 ? static_cast<int>(n) : 1;
}

// The packages served last, kept because clients tend to fetch a book twice (size, then body)
// and the big one takes a moment to write.
// A revised book is a new book to the cache: entries hold the revision they were written from.
class PackageCache {
  public:
    std::shared_ptr<const Bytes> get(const DemoPages& pages, const DemoBook& book,
                                     std::shared_ptr<const DemoRevisedBook> revised) {
        std::lock_guard lock(mutex_);
        auto hit = std::find_if(entries_.begin(), entries_.end(), [&](const Entry& e) {
            return e.bookId == book.id && e.revised == revised;
        });
        if (hit != entries_.end()) {
            entries_.splice(entries_.begin(), entries_, hit);
        } else {
            auto bytes = std::make_shared<const Bytes>(pages.txtPackage(book, revised.get()));
            entries_.push_front({book.id, std::move(revised), std::move(bytes)});
            if (entries_.size() > kKept) entries_.pop_back();
        }
        return entries_.front().bytes;
    }

  private:
    struct Entry {
        int bookId;
        std::shared_ptr<const DemoRevisedBook> revised;
        std::shared_ptr<const Bytes> bytes;
    };
    static constexpr size_t kKept = 4;
    std::mutex mutex_;
    std::list<Entry> entries_;
};

void sendBytes(Response& res, std::shared_ptr<const Bytes> bytes, const char* type) {
    const size_t size = bytes->size();
    res.set_content_provider(
        size, type, [bytes = std::move(bytes)](size_t offset, size_t length, DataSink& sink) {
            return sink.write(bytes->data() + offset, std::min(length, kChunk));
        });
}

}  // namespace

void answerPage(Response& res, const Text& page) {
    if (page.empty()) {
        res.status = 404;
        return;
    }
    res.set_content(page, kDemoHtmlType);
}

std::vector<DemoRoute> demoRoutes(std::shared_ptr<const DemoPages> pages,
                                  std::shared_ptr<const DemoRevisions> revisions) {
    auto cache = std::make_shared<PackageCache>();
    auto revisedOf = [revisions](const DemoBook& book) {
        return revisions ? revisions->of(book.id) : nullptr;
    };
    auto bookAt = [pages](const std::ssub_match& digits) {
        int64_t id = number(digits.str());
        return id > 0 && id < 1000000000 ? pages->catalogue().book(static_cast<int>(id)) : nullptr;
    };
    std::vector<DemoRoute> routes;
    routes.push_back({R"(/|/index\.html)", [pages](const Request&, Response& res) {
                          answerPage(res, pages->homePage());
                      }});
    routes.push_back({R"((/top/[a-z]+_|/dudu/list\d{1,2}_)(\d{1,9})\.html)",
                      [pages](const Request& req, Response& res) {
                          const DemoList* list =
                              pages->catalogue().listByPrefix(req.matches[1].str());
                          int page = static_cast<int>(number(req.matches[2].str()));
                          answerPage(res, list ? pages->listPage(*list, page) : Text{});
                      }});
    // Keywords arrive percent-encoded GBK; httplib has already turned them back into raw bytes.
    routes.push_back(
        {R"(/modules/article/search\.php)", [pages](const Request& req, Response& res) {
             bool byAuthor = req.get_param_value("searchtype") == "author";
             answerPage(res, pages->searchAnswer(req.get_param_value("searchkey"), byAuthor,
                                                 pageParameter(req)));
         }});
    routes.push_back(
        {R"(/book/(\d{1,9})\.html)", [pages, bookAt](const Request& req, Response& res) {
             const DemoBook* book = bookAt(req.matches[1]);
             answerPage(res, book ? pages->bookPage(*book) : Text{});
         }});
    routes.push_back(
        {R"(/book/(\d{1,9})/index\.html)",
         [pages, bookAt, revisedOf](const Request& req, Response& res) {
             const DemoBook* book = bookAt(req.matches[1]);
             answerPage(res, book ? pages->tableOfContents(*book, revisedOf(*book).get()) : Text{});
         }});
    routes.push_back({R"(/book/(\d{1,9})/(\d{1,15})\.html)",
                      [pages, bookAt, revisedOf](const Request& req, Response& res) {
                          const DemoBook* book = bookAt(req.matches[1]);
                          if (!book) return answerPage(res, {});
                          // A revised book may have chapters past its generated count.
                          const int64_t chapter =
                              number(req.matches[2].str()) -
                              int64_t{book->id} * DemoCatalogue::kPageIdsPerBook;
                          answerPage(res, chapter >= 1 && chapter < DemoCatalogue::kPageIdsPerBook
                                              ? pages->chapterPage(*book, static_cast<int>(chapter),
                                                                   revisedOf(*book).get())
                                              : Text{});
                      }});
    // The book page links txtdown_N; the reader rewrites that to packdown_txt_N. Both give the
    // package.
    routes.push_back({R"(/modules/article/(?:txtdown|packdown_txt)_(\d{1,9})\.txt)",
                      [pages, bookAt, cache, revisedOf](const Request& req, Response& res) {
                          const DemoBook* book = bookAt(req.matches[1]);
                          if (!book) {
                              res.status = 404;
                              return;
                          }
                          res.set_header(
                              "Content-Disposition",
                              "attachment; filename=\"" + std::to_string(book->id) + ".txt\"");
                          sendBytes(res, cache->get(*pages, *book, revisedOf(*book)), kTextType);
                      }});
    // Packages of any size for download benchmarks: N MiB of book-like text.
    routes.push_back({R"(/modules/article/packdown_txt_bench_(\d{1,4})\.txt)",
                      [](const Request& req, Response& res) {
                          int64_t megabytes = number(req.matches[1].str());
                          if (megabytes < 1 || megabytes > kMaxBenchMegabytes) {
                              res.status = 404;
                              return;
                          }
                          const Bytes& block = DemoPages::benchBlock();
                          res.set_content_provider(
                              static_cast<size_t>(megabytes) * block.size(), kTextType,
                              [&block](size_t offset, size_t length, DataSink& sink) {
                                  size_t at = offset % block.size();
                                  size_t n = std::min({length, block.size() - at, kChunk});
                                  return sink.write(block.data() + at, n);
                              });
                      }});
    routes.push_back({R"(/modules/article/images/nocover\.jpg)", [](const Request&, Response& res) {
                          const Bytes& jpeg = demoCoverJpeg();
                          if (jpeg.empty()) {
                              res.status = 500;
                              return;
                          }
                          res.set_content(jpeg, "image/jpeg");
                      }});
    return routes;
}

DemoRoute demoRevisionRoute(std::shared_ptr<DemoRevisions> revisions) {
    return {R"(/demo/revise)", [revisions](const Request& req, Response& res) {
                const int64_t book = number(req.get_param_value("book"));
                const int64_t step = number(req.get_param_value("step"));
                if (book < 0 || step < 0 || step > 1000) {
                    res.status = 400;
                    return;
                }
                if (book != demo_books::kRevisable ||
                    !revisions->setStep(static_cast<int>(book), static_cast<int>(step))) {
                    res.status = 404;
                    return;
                }
                res.set_content(
                    "book " + std::to_string(book) + " step " + std::to_string(step) + "\n",
                    "text/plain");
            }};
}

}  // namespace novel
