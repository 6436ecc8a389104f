// A 50 MB book from the demo site: the whole download pipeline (transfer, cleaning on the way to
// the file, the final rename) beside curl fetching the same file from the same server, and the
// cleaning pass alone beside perl making the four word removals. The pass also removes the
// advertising sentences, which perl is spared: written as regular expressions that keep to the
// start of a sentence, they slow perl down a hundredfold, and the ratio would say more about them
// than about the pass.

#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>

#include "bench/bench_util.h"
#include "catalogue/site_config.h"
#include "demo/demo_site.h"
#include "download/book_download.h"
#include "web/file_io.h"

using namespace novel;
using namespace novel::bench;
namespace fs = std::filesystem;

namespace {

constexpr int kMegabytes = 50;

// One book download as the program does it, without the window; false when it failed.
bool downloadBook(const std::string& url, const fs::path& base, const BrandWords& brand) {
    FileDownloader downloader;
    return downloadBookFile(url, bookDownloadPaths(base, "bench"), brand, downloader).ok;
}

std::string shellQuote(const std::string& s) {
    std::string out = "'";
    for (char c : s) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return out + "'";
}

// A perl program that reads the file whole, times the four removals and prints the seconds.
std::string perlScript(const BrandWords& brand) {
    auto hex = [](const std::string& s) {
        std::string out;
        char buf[8];
        for (unsigned char c : s) {
            std::snprintf(buf, sizeof buf, "\\x%02X", c);
            out += buf;
        }
        return out;
    };
    return "use Time::HiRes qw(time); local $/; my $t = <STDIN>; my $s = time;"
           " $t =~ s/Www\\.//gi; $t =~ s/" +
           hex(brand.latin) + "//gi; $t =~ s/\\.com//gi; $t =~ s/" + hex(brand.chinese) +
           "//gi; my $e = time - $s; print STDERR length($t), \"\\n\"; printf \"%.6f\\n\", $e;";
}

double perlSeconds(const fs::path& input, const BrandWords& brand, size_t* keptBytes) {
    const std::string command = "perl -e " + shellQuote(perlScript(brand)) + " < " +
                                shellQuote(input.string()) + " 2>" +
                                shellQuote(input.string() + ".len");
    double best = -1;
    for (int run = 0; run < 3; ++run) {
        FILE* pipe = ::popen(command.c_str(), "r");
        if (!pipe) return -1;
        double seconds = -1;
        if (std::fscanf(pipe, "%lf", &seconds) != 1) seconds = -1;
        if (::pclose(pipe) != 0 || seconds < 0) return -1;
        if (best < 0 || seconds < best) best = seconds;
    }
    *keptBytes = static_cast<size_t>(std::stoull(readTextFile(input.string() + ".len")));
    return best;
}

}  // namespace

int main() {
    DemoSite site;
    if (!site.start()) {
        std::fprintf(stderr, "the demo site did not start\n");
        return 1;
    }
    char pattern[] = "/tmp/novel-download-bench-XXXXXX";
    const fs::path dir = ::mkdtemp(pattern);
    const BrandWords brand = SiteConfig{}.brandWords();
    const std::string url =
        site.url() + "/modules/article/packdown_txt_bench_" + std::to_string(kMegabytes) + ".txt";
    const double megabytes = kMegabytes;
    const int runs = 5;

    // The pipeline beside curl, alternating so both see the same state of the machine. The
    // pipeline's file is on the disk before it takes the book's name, so the reference syncs its
    // file too; plain curl is shown beside it.
    bool failed = false;
    const fs::path curlFile = dir / "curl.txt";
    const std::string curlCommand = "curl -s -o " + shellQuote(curlFile.string()) + " " + url;
    double pipeline = 1e300, curl = 1e300, plainCurl = 1e300;
    for (int run = 0; run < runs && !failed; ++run) {
        pipeline =
            std::min(pipeline, bestSeconds(1, [&] { failed |= !downloadBook(url, dir, brand); }));
        double c = commandSeconds(curlCommand + " && sync " + shellQuote(curlFile.string()), 1);
        double plain = commandSeconds(curlCommand, 1);
        failed |= c < 0 || plain < 0;
        curl = std::min(curl, c);
        plainCurl = std::min(plainCurl, plain);
    }
    const fs::path book = dir / "下载小说" / "bench" / "bench.txt";
    std::error_code ec;
    if (failed || fs::file_size(curlFile, ec) != static_cast<uintmax_t>(kMegabytes) << 20) {
        std::fprintf(stderr, "a download failed\n");
        return 1;
    }
    std::printf(
        "%d MB book: pipeline %.3f s (%.0f MB/s), curl -s -o + sync %.3f s (%.0f MB/s), %.2fx; "
        "curl without sync %.3f s\n",
        kMegabytes, pipeline, megabytes / pipeline, curl, megabytes / curl, pipeline / curl,
        plainCurl);
    report("50 MB book download", fmt("%.3f s", pipeline), fmt("curl + sync %.3f s", curl),
           fmt("%.2fx", pipeline / curl), "<= 1.3x");

    // The cleaning pass alone over the book as it arrived, beside perl on the same bytes.
    const Text raw = readTextFile(curlFile);
    Text cleaned;
    double cleanOnly = 1e300;
    for (int run = 0; run < runs; ++run) {
        Text copy = raw;  // the copy is not part of the measure
        const auto t0 = std::chrono::steady_clock::now();
        cleanBookText(&copy, brand);
        const std::chrono::duration<double> d = std::chrono::steady_clock::now() - t0;
        cleanOnly = std::min(cleanOnly, d.count());
        cleaned = std::move(copy);
    }
    size_t perlKept = 0;
    const double perl = perlSeconds(curlFile, brand, &perlKept);
    if (perl < 0) {
        std::fprintf(stderr, "perl failed\n");
        return 1;
    }
    if (readFileBytes(book) != cleaned)
        std::fprintf(stderr, "note: the downloaded book differs from the cleaning pass alone\n");
    std::printf(
        "cleaning %.1f MB: %.0f MB/s (kept %zu bytes), perl %.0f MB/s (kept %zu bytes), "
        "%.2fx\n",
        raw.size() / 1048576.0, megabytes / cleanOnly, cleaned.size(), megabytes / perl, perlKept,
        perl / cleanOnly);
    report("cleaning pass, 50 MB", fmt("%.0f MB/s", megabytes / cleanOnly),
           fmt("perl %.0f MB/s", megabytes / perl), fmt("%.2fx", perl / cleanOnly), ">= 2x");
    fs::remove_all(dir, ec);
    return 0;
}
