// An update check of a 50-book shelf against a site that answers each page after 300 ms, beside
// the same 50 pages fetched through the request engine alone (four at a time, the per-site limit)
// in the same run. The check should cost little beyond its requests: within 1.2 times.

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <mutex>

#include "bench/bench_util.h"
#include "library/shelf_update.h"
#include "support/changing_site.h"
#include "support/temp_dir.h"
#include "web/gbk.h"

using namespace novel;
using namespace novel::bench;
using namespace std::chrono_literals;

namespace {

constexpr int kBooks = 50;
constexpr int kChapters = 200;

}  // namespace

int main() {
    test::ChangingSite site(kBooks, kChapters, 300ms);
    test::TempDir dir;
    Library library(dir.path() / "library.db", site.url());
    for (int b = 1; b <= kBooks; ++b) {
        ShelfBook book;
        book.bookUrl = site.bookUrl(b);
        book.title = toGbk("书" + std::to_string(b));
        book.tocUrl = site.url("/book/" + std::to_string(b) + "/index.html");
        for (int c = 1; c <= kChapters; ++c)
            book.toc.push_back(
                {std::to_string(c), toGbk("第" + std::to_string(c) + "章"), site.chapterUrl(b, c)});
        if (!library.addBook(book).ok()) {
            std::fprintf(stderr, "cannot fill the shelf\n");
            return 1;
        }
    }
    RequestEngine engine;
    const ChapterCleaning cleaning = ChapterCleaning::fromConfig(SiteConfig{});

    // Best of two, each kind in turn, so both see the same machine.
    double check = 1e300, reference = 1e300;
    for (int run = 0; run < 2; ++run) {
        int failed = 0;
        check = std::min(check, secondsOf([&] {
                             for (const BookCheck& c : checkShelf(library, engine, cleaning))
                                 failed += !c.ok();
                         }));
        reference =
            std::min(reference, secondsOf([&] {
                         std::mutex mutex;
                         std::condition_variable done;
                         int left = kBooks;
                         for (int b = 1; b <= kBooks; ++b)
                             engine.submit({site.url("/book/" + std::to_string(b) + "/index.html"),
                                            RequestStyle::Plain, RequestPriority::Background},
                                           [&](FetchResult r) {
                                               std::lock_guard lock(mutex);
                                               failed += !r.ok();
                                               if (--left == 0) done.notify_all();
                                           });
                         std::unique_lock lock(mutex);
                         done.wait(lock, [&] { return left == 0; });
                     }));
        if (failed) {
            std::fprintf(stderr, "%d requests failed\n", failed);
            return 1;
        }
    }
    const double ideal = (kBooks + 3) / 4 * 0.3;
    std::printf(
        "shelf update, %d books of %d chapters, 300 ms a page: %.2f s; the same pages "
        "through the engine %.2f s; ideal at 4 at a time %.2f s\n",
        kBooks, kChapters, check, reference, ideal);
    report("shelf update, 50 books, 300 ms latency", fmt("%.2f s", check),
           fmt("%.2f s engine only", reference), fmt("%.2fx", check / reference), "<= 1.2x");
    return 0;
}
