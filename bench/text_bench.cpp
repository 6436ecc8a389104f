// Throughput of the two text operations every page and book goes through: removing the site's
// words from a large GBK text (beside perl doing the same removals on the same file), and cutting
// every piece between two markers out of a large page.

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <string>
#include <string_view>
#include <vector>

#include "bench/bench_util.h"
#include "web/text.h"

using namespace novel;
using namespace novel::bench;

namespace {

const Text kBrandChinese = toGbk("演示书城");
const char* kChineseRun = "第一章山河故人风起云涌他说道你来了吗天色已晚";

// About 50 MB of GBK lines with ~100,000 removable words in mixed case, plus characters whose trail
// byte spells a letter, so the scan has to respect character boundaries.
Text makeBook(size_t bytes) {
    const Text chinese = toGbk(kChineseRun);
    const char* words[] = {"www.", "WWW.", ".com", ".Com", "demobook", "DemoBook"};
    SplitMix64 rng{42};
    Text out;
    out.reserve(bytes + 256);
    size_t occurrences = 0;
    while (out.size() < bytes) {
        size_t from = 2 * rng.below(static_cast<uint32_t>(chinese.size() / 2 - 8));
        out.append(chinese, from,
                   16 + 2 * rng.below(static_cast<uint32_t>(chinese.size() / 2 - from / 2 - 8)));
        if (rng.below(20) == 0) out.append("\x81\x57ww ");  // ends in 'W': no "www" starts there
        if (out.size() / 500 > occurrences) {
            out.append(rng.below(5) == 0 ? kBrandChinese : Text(words[rng.below(6)]));
            ++occurrences;
        }
        if (rng.below(4) == 0) out.append("\r\n");
    }
    return out;
}

Text makePage(int pieces) {
    Text page = "<html><body><table>\r\n";
    const Text cell = toGbk(
        "<td class=\"odd\">书名一二三四五六七八九十甲乙丙丁</td><td "
        "class=\"even\">作者甲乙丙丁戊</td>");
    for (int i = 0; i < pieces; ++i) {
        page += "<tr>" + cell + std::to_string(i) + "</tr>\r\n";
    }
    page += "</table></body></html>";
    return page;
}

}  // namespace

int main() {
    const size_t size = 50u << 20;
    const Text book = makeBook(size);
    const double mb = book.size() / 1048576.0;
    const Text path = "/tmp/novel-text-bench.txt";
    std::ofstream(path, std::ios::binary) << book;

    // Each run works on a fresh copy made before the clock starts.
    size_t left = 0;
    double ours = 1e300;
    for (int run = 0; run < 3; ++run) {
        Text t = book;
        ours = std::min(ours, bestSeconds(1, [&] {
                            for (std::string_view word :
                                 {std::string_view("Www."), std::string_view("demobook"),
                                  std::string_view(".com"), std::string_view(kBrandChinese)})
                                replaceTextInPlace(&t, word);
                        }));
        left = t.size();
    }
    std::string script = "/tmp/novel-text-bench.pl";
    std::ofstream(script) << "s/www\\.//gi; s/\\.com//gi; s/demobook//gi; "
                             "s/\\xD1\\xDD\\xCA\\xBE\\xCA\\xE9\\xB3\\xC7//g;\n";
    double perl = commandSeconds("perl -p " + script + " " + path + " > /dev/null");
    std::printf("replaceTextInPlace, 4 words from %.1f MB (%zu bytes removed): %.3f s, %.0f MB/s\n",
                mb, book.size() - left, ours, mb / ours);
    if (perl > 0) {
        std::printf("perl -p, the same removals on the same file:    %.3f s, %.0f MB/s\n", perl,
                    mb / perl);
        std::printf("ratio: %.1fx perl's throughput (goal: at least 2x)\n", perl / ours);
        report("word removal, 50 MB", fmt("%.0f MB/s", mb / ours), fmt("perl %.0f MB/s", mb / perl),
               fmt("%.1fx", perl / ours), ">= 2x");
    }

    const Text page = makePage(50000);
    const double pageMb = page.size() / 1048576.0;
    TextList items;
    int count = 0;
    double cut = bestSeconds(5, [&] { count = allBetween(page, "<tr>", "</tr>", &items); });
    // Reference: a plain byte-wise cut of the same pieces (no case folding, no character rules).
    double plain = bestSeconds(5, [&] {
        std::vector<std::string_view> pieces;
        std::string_view v(page);
        for (size_t p = v.find("<tr>"); p != v.npos; p = v.find("<tr>", p)) {
            size_t q = v.find("</tr>", p + 4);
            if (q == v.npos) break;
            pieces.push_back(v.substr(p + 4, q - p - 4));
            p = q + 5;
        }
    });
    std::printf(
        "allBetween, %.1f MB page, %d pieces: %.1f ms, %.0f MB/s (goal: at least 200 MB/s)\n",
        pageMb, count, cut * 1000, pageMb / cut);
    std::printf("plain std::string_view::find cut of the same pieces: %.1f ms, %.0f MB/s\n",
                plain * 1000, pageMb / plain);
    report("allBetween, 5 MB page", fmt("%.0f MB/s", pageMb / cut),
           fmt("plain find %.0f MB/s", pageMb / plain), fmt("%.2fx", plain / cut), ">= 200 MB/s");
    std::remove(path.c_str());
    std::remove(script.c_str());
    return 0;
}
