// The complete-book session on a 2,000-chapter book whose package lacks a tenth of its chapters,
// served with 100 ms per chapter page, beside the same requests made N at a time by plain threads;
// and the package check on a 50 MB package beside a plain split of it into lines.

#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <thread>

#include "bench/bench_util.h"
#include "download/book_session.h"
#include "tests/support/test_book_site.h"
#include "web/http.h"

using namespace novel;
using namespace novel::bench;
namespace fs = std::filesystem;

namespace {

constexpr int kChapters = 2000;
constexpr int kConnections = 4;

// The requests of the session, made by kConnections threads that only fetch: the table of
// contents, the package, then the chapter pages the package lacks.
double idealSeconds(const std::string& base, const std::vector<int>& pages) {
    const auto t0 = std::chrono::steady_clock::now();
    httpFetch(base + "/book/7/index.html");
    httpFetch(base + "/modules/article/packdown_txt_7.txt");
    std::atomic<size_t> next{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < kConnections; ++t)
        threads.emplace_back([&] {
            for (size_t i; (i = next++) < pages.size();)
                httpFetch(base + "/book/7/" + std::to_string(pages[i]) + ".html");
        });
    for (auto& t : threads) t.join();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
}

std::vector<ChapterEntry> tableOf(const test::TestBookSite& site) {
    std::vector<ChapterEntry> table;
    for (int k = 1; k <= site.chapterCount; ++k)
        table.push_back({std::to_string(k), toGbk(site.chapterTitle(k)), "u"});
    return table;
}

}  // namespace

int main() {
    test::TestBookSite site;
    site.chapterCount = kChapters;
    site.latency = std::chrono::milliseconds(100);
    SplitMix64 random{42};
    while (site.notInPackage.size() < kChapters / 10)
        site.notInPackage.insert(1 + static_cast<int>(random.below(kChapters)));
    httplib::Server server;
    server.new_task_queue = [] { return new httplib::ThreadPool(16); };
    server.set_tcp_nodelay(true);  // as the demo site
    site.addRoutes(server);
    const int port = server.bind_to_any_port("127.0.0.1");
    std::thread serving([&] { server.listen_after_bind(); });
    while (!server.is_running()) std::this_thread::sleep_for(std::chrono::milliseconds(5));
    const std::string base = "http://127.0.0.1:" + std::to_string(port);

    char pattern[] = "/tmp/novel-book-bench-XXXXXX";
    const fs::path dir = ::mkdtemp(pattern);
    const std::vector<int> pages(site.notInPackage.begin(), site.notInPackage.end());

    double session = 1e300, ideal = 1e300;
    bool failed = false;
    for (int run = 0; run < 2 && !failed; ++run) {
        fs::remove_all(dir / "下载小说");  // no earlier output: every lacking page is fetched
        EngineOptions options;
        options.perSiteLimit = kConnections;
        RequestEngine engine(options);
        FileDownloader downloader;
        BookSession s(engine, downloader, SiteConfig{}.brandWords());
        BookInfo book;
        book.title = toGbk(site.title);
        book.bookUrl = base + "/book/7.html";
        book.tocUrl = base + "/book/7/index.html";
        book.txtPackageUrl = base + "/modules/article/packdown_txt_7.txt";
        BookSessionOptions o;
        o.base = dir;
        o.connections = kConnections;
        BookSessionResult result;
        session = std::min(session, bestSeconds(1, [&] { result = s.run(book, o); }));
        failed |= !result.complete() || result.fromPages != static_cast<int>(pages.size());
        ideal = std::min(ideal, idealSeconds(base, pages));
    }
    if (failed) {
        std::fprintf(stderr, "the session did not complete the book\n");
        return 1;
    }
    std::printf(
        "%d chapters, %zu from pages at %d at a time, 100 ms each: session %.2f s, "
        "plain fetches %.2f s (%.2f s by arithmetic), %.2fx\n",
        kChapters, pages.size(), kConnections, session, ideal,
        0.1 * static_cast<double>((pages.size() + kConnections - 1) / kConnections),
        session / ideal);
    report("2000-chapter book, 200 pages", fmt("%.2f s", session),
           fmt("plain fetches %.2f s", ideal), fmt("%.2fx", session / ideal), "<= 1.3x");
    server.stop();
    serving.join();

    // A 50 MB package of many chapters, a tenth of them left out.
    test::TestBookSite big;
    big.chapterCount = 1;
    std::string chapterText;
    for (int j = 0; j < 40; ++j)
        chapterText += "    这是一段足够长的正文，用来填满这一章，让包有五十兆那么大。\r\n";
    std::string utf8 = big.preface;
    int k = 0;
    while (utf8.size() < (75u << 20)) {  // about 50 MB once in GBK
        ++k;
        if (k % 10 != 3) utf8 += big.chapterTitle(k) + "\r\n" + chapterText + "\r\n";
    }
    big.chapterCount = k;
    const Text package = toGbk(utf8);
    utf8.clear();
    const std::vector<ChapterEntry> table = tableOf(big);

    size_t matched = 0, lines = 0;
    const double check = bestSeconds(3, [&] { matched = matchPackage(package, table).matched; });
    const double split = bestSeconds(3, [&] {
        std::vector<std::string_view> v;
        const char* p = package.data();
        const char* end = p + package.size();
        while (p < end) {
            const char* nl = static_cast<const char*>(std::memchr(p, '\n', end - p));
            if (!nl) nl = end;
            v.emplace_back(p, static_cast<size_t>(nl - p));
            p = nl + 1;
        }
        lines = v.size();
    });
    const double assemble = bestSeconds(1, [&] { bookText(bookFromPackage(package, table)); });
    const double mb = static_cast<double>(package.size()) / 1048576.0;
    std::printf(
        "package check, %.1f MB, %d chapters (%zu matched, %zu lines): %.3f s, line split "
        "%.3f s, %.2fx; whole layout and text %.3f s\n",
        mb, k, matched, lines, check, split, check / split, assemble);
    report("package check, 50 MB", fmt("%.0f MB/s", mb / check),
           fmt("line split %.0f MB/s", mb / split), fmt("%.2fx", check / split), "<= 2x");
    std::error_code ec;
    fs::remove_all(dir, ec);
    return 0;
}
