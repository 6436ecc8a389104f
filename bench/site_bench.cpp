// Parsing beside fetching, on loopback from the demo site: a 30-row list page and the table of
// contents of a 5,000-chapter book. Parsing should cost well under a tenth of the fetch.

#include <sched.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>

#include "bench/bench_util.h"
#include "catalogue/book_page.h"
#include "catalogue/list_parser.h"
#include "catalogue/site_urls.h"
#include "demo/demo_site.h"
#include "reader/toc_parser.h"
#include "web/http.h"

using namespace novel;
using namespace novel::bench;

namespace {

void compare(const char* figure, double fetch, double parse, size_t items, size_t bytes) {
    std::printf("%s: %zu items from %.0f KB; fetch %.2f ms, parse %.2f ms (%.1f%% of the fetch)\n",
                figure, items, bytes / 1024.0, fetch * 1000, parse * 1000, parse / fetch * 100);
    report(figure, fmt("parse %.2f ms", parse * 1000), fmt("fetch %.2f ms", fetch * 1000),
           fmt("%.1f%%", parse / fetch * 100), "< 10%");
}

// A fetch that came back different would make its time meaningless.
void checkSame(const Bytes& expected, const Bytes& got) {
    if (got != expected || got.empty()) {
        std::fprintf(stderr, "a fetch came back incomplete (%zu of %zu bytes)\n", got.size(),
                     expected.size());
        std::exit(1);
    }
}

// Seconds taken to produce a result, best of `runs`. Each result is destroyed only after its time
// is taken: freeing the previous page's rows is not part of reading this one, for the fetch and
// the parse alike.
template <typename Produce, typename Check>
double producingSeconds(int runs, Produce&& produce, Check&& check) {
    double best = 1e300;
    for (int i = 0; i < runs; ++i) {
        auto t0 = std::chrono::steady_clock::now();
        auto result = produce();
        std::chrono::duration<double> d = std::chrono::steady_clock::now() - t0;
        best = std::min(best, d.count());
        check(result);
    }
    return best;
}

// Fetch and parse are timed on the same core, the site's threads included. On a shared machine
// the cores need not run at the same speed: left to the scheduler, the parse would be timed on
// one core and the fetch across both.
void stayOnOneCore() {
    const int core = sched_getcpu();
    if (core < 0) return;
    cpu_set_t one;
    CPU_ZERO(&one);
    CPU_SET(core, &one);
    if (sched_setaffinity(0, sizeof one, &one) == 0)
        std::printf("fetch and parse timed on core %d\n", core);
}

}  // namespace

int main() {
    stayOnOneCore();  // before the site starts its threads, which inherit it
    DemoSite site;
    if (!site.start()) {
        std::fprintf(stderr, "the demo site did not start\n");
        return 1;
    }
    const int runs = 20;

    const Text listUrl = listPageUrl(site.url(), 1, 1);
    const Bytes listPage = httpFetch(listUrl);  // also warms the site's caches
    const auto sameAsList = [&](const Bytes& got) { checkSame(listPage, got); };
    const auto anyResult = [](const auto&) {};
    double listFetch = producingSeconds(
        runs, [&] { return httpFetch(listUrl); }, sameAsList);
    double listParse = producingSeconds(
        runs, [&] { return parseListPage(textOf(listPage), ListLayout::Ranking); }, anyResult);
    const ListPage list = parseListPage(textOf(listPage), ListLayout::Ranking);
    compare("30-row list page", listFetch, listParse, list.rows.size(), listPage.size());

    const Text bookUrl = site.url() + "/book/1.html";
    const Text tocUrl = site.url() + "/book/1/index.html";
    const Bytes tocPage = fetchPlain(tocUrl);
    double tocFetch = producingSeconds(
        runs, [&] { return fetchPlain(tocUrl); },
        [&](const Bytes& got) { checkSame(tocPage, got); });
    const Text stem = bookUrlStem(bookUrl);
    double tocParse = producingSeconds(
        runs, [&] { return parseTableOfContents(textOf(tocPage), stem); }, anyResult);
    const std::vector<ChapterEntry> chapters = parseTableOfContents(textOf(tocPage), stem);
    compare("5,000-chapter table of contents", tocFetch, tocParse, chapters.size(), tocPage.size());
    return 0;
}
