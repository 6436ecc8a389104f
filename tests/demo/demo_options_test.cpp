// How the demo site answers: its preferred port, answers delayed and bodies paced like a slow
// site, and the command line that sets these.

#include <gtest/gtest.h>
#include <httplib.h>

#include <chrono>
#include <thread>

#include "demo/demo_catalogue.h"
#include "demo/demo_command_line.h"
#include "demo/demo_pages.h"
#include "demo/demo_site.h"
#include "web/http.h"

namespace novel {
namespace {

using Clock = std::chrono::steady_clock;

double secondsSince(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

DemoSite::Options paced(int latencyMs, int rateKiB) {
    DemoSite::Options options;
    options.latencyMs = latencyMs;
    options.rateKiBPerSecond = rateKiB;
    return options;
}

TEST(DemoSitePort, PreferredPortWhenFreeAFreeOneWhenTaken) {
    DemoSite holder, site;
    ASSERT_TRUE(holder.start());
    const int taken = holder.port();

    ASSERT_TRUE(site.startPreferring(taken));
    EXPECT_NE(site.port(), taken);
    auto res = httplib::Client(site.url()).Get("/book/3.html");
    ASSERT_TRUE(res);
    EXPECT_EQ(res->status, 200);

    site.stop();
    holder.stop();
    ASSERT_TRUE(site.startPreferring(taken));
    EXPECT_EQ(site.port(), taken);
    EXPECT_FALSE(site.startPreferring(taken));  // already running
}

TEST(DemoSitePacing, LatencyDelaysEveryAnswer) {
    DemoSite site(paced(300, 0));
    ASSERT_TRUE(site.start());
    const DemoPages pages(DemoCatalogue::shared(), site.url());
    httplib::Client client(site.url());
    for (const char* path : {"/book/3.html", "/no/such/page"}) {
        const auto start = Clock::now();
        auto res = client.Get(path);
        EXPECT_GE(secondsSince(start), 0.3) << path;
        ASSERT_TRUE(res) << path;
        if (res->status == 200) {
            EXPECT_EQ(res->body, pages.bookPage(*DemoCatalogue::shared().book(3)));
        }
    }
}

TEST(DemoSitePacing, RateLimitsBodiesThatStillArriveWhole) {
    constexpr int kRateKiB = 8;
    DemoSite site(paced(0, kRateKiB));
    ASSERT_TRUE(site.start());
    const DemoCatalogue& c = DemoCatalogue::shared();
    const DemoPages pages(c, site.url());
    const DemoBook& book = *c.book(demo_books::kOneChapterBlank);
    // A generated page, a streamed package and the 404 page.
    const std::vector<std::pair<std::string, Bytes>> bodies = {
        {"/book/3/30001.html", pages.chapterPage(book, 1)},
        {"/modules/article/packdown_txt_3.txt", pages.txtPackage(book)},
        {"/book/999999.html", pages.notFoundPage()},
    };
    httplib::Client client(site.url());
    for (const auto& [path, expected] : bodies) {
        ASSERT_GT(expected.size(), 2000u) << path;  // big enough for the bound to mean something
        const auto start = Clock::now();
        auto res = client.Get(path.c_str());
        const double elapsed = secondsSince(start);
        ASSERT_TRUE(res) << path;
        EXPECT_EQ(res->body, expected) << path;
        // All but the last paced piece (a twentieth of a second's worth) waits for its turn.
        const double least =
            (static_cast<double>(expected.size()) - kRateKiB * 1024 / 20) / (kRateKiB * 1024);
        EXPECT_GE(elapsed, least) << path << ": " << expected.size() << " bytes";
    }
    // A range of a paced body is that range.
    auto tail = client.Get("/modules/article/packdown_txt_3.txt", {{"Range", "bytes=3000-"}});
    ASSERT_TRUE(tail);
    EXPECT_EQ(tail->status, 206);
    EXPECT_EQ(tail->body, pages.txtPackage(book).substr(3000));
    // The program's own client reads a paced body whole.
    EXPECT_EQ(httpFetch(pages.packageUrl(book)), pages.txtPackage(book));
}

TEST(DemoSitePacing, StopEndsASlowAnswer) {
    DemoSite site(paced(0, 1));
    ASSERT_TRUE(site.start());
    const DemoBook& book = *DemoCatalogue::shared().book(demo_books::kBlankTitle);
    const size_t size = DemoPages(DemoCatalogue::shared(), site.url()).txtPackage(book).size();
    bool whole = false;
    std::thread reader([&] {
        auto res = httplib::Client(site.url()).Get("/modules/article/packdown_txt_5.txt");
        whole = res && res->body.size() == size;
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    site.stop();  // would take minutes at 1 KiB/s if it waited for the body
    reader.join();
    EXPECT_FALSE(whole);
}

TEST(DemoCommandLine, ReadsEveryOptionAndRefusesTheRest) {
    auto all =
        parseDemoCommandLine({"--rate", "64", "--port", "0", "--allow-revise", "--latency", "250"});
    ASSERT_TRUE(all);
    EXPECT_EQ(all->port, 0);
    EXPECT_EQ(all->latencyMs, 250);
    EXPECT_EQ(all->rateKiBPerSecond, 64);
    EXPECT_TRUE(all->revisionRoute);

    auto none = parseDemoCommandLine({});
    ASSERT_TRUE(none);
    EXPECT_FALSE(none->port || none->latencyMs || none->rateKiBPerSecond || none->revisionRoute);

    const std::vector<std::vector<std::string>> bad = {
        {"--port"},
        {"--port", "65536"},
        {"--port", "-1"},
        {"--rate", "1x"},
        {"--latency", "60001"},
        {"--rate", ""},
        {"--bogus"},
        {"--port", "1", "--port", "2"},
        {"--allow-revise", "--allow-revise"},
        {"80"},
    };
    for (const auto& arguments : bad) EXPECT_FALSE(parseDemoCommandLine(arguments)) << arguments[0];
}

}  // namespace
}  // namespace novel
