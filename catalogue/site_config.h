#pragma once
// Deployment configuration: which site the program reads and the words that site stamps into its
// texts. Read from site.ini beside the program (UTF-8 "key = value" lines, "#" comments); a missing
// file or key keeps the built-in default.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "web/text.h"

namespace novel {

// The site value that means "start the embedded demo site and use it".
inline constexpr std::string_view kDemoSite = "demo";
// The port the program's demo site listens on unless site.ini sets demo_port: fixed, so addresses
// saved in bookmarks still work after a restart; high and unassigned, so rarely taken.
inline constexpr int kDefaultDemoPort = 28471;
// Bounds of demo_latency (ms) and demo_rate (KiB/s).
inline constexpr long kMaxDemoLatencyMs = 60000;
inline constexpr long kMaxDemoRateKiB = 1 << 20;

// Brand words of the embedded demo site (UTF-8; the default configuration uses them).
inline constexpr std::string_view kDemoBrandLatin = "demobook";
inline constexpr std::string_view kDemoBrandChinese = "演示书城";
inline constexpr std::string_view kDemoBrandChineseSpaced = "演 示 书 城";

// The words removed from chapter text and downloaded books, as GBK text.
struct BrandWords {
    Text latin;
    Text chinese;
    Text chineseSpaced;
    // Advertising sentences beyond the built-in ones (site.ini "ad_sentence"), same form.
    TextList adSentences = {};
};

struct SiteConfig {
    std::string site{kDemoSite};  // base URL without trailing slash, or "demo"
    std::string brandLatin{kDemoBrandLatin};
    std::string brandChinese{kDemoBrandChinese};
    std::string brandChineseSpaced{kDemoBrandChineseSpaced};
    std::string homePage;
    std::string helpPage;
    std::string newsPage;
    std::string chatGroupLink;
    std::string chatGroupNumber;
    std::string mail;
    std::string imNumber;
    long pageTimeLimitSeconds = 60;  // "page_timeout": seconds a whole page request may take
    // The embedded demo site: "demo_port" (1..65535, unset: kDefaultDemoPort for the program, a
    // free port for the CLI), "demo_latency" (ms before each answer), "demo_rate" (KiB/s of
    // bodies); 0 means no delay and no limit.
    std::optional<int> demoPort;
    long demoLatencyMs = 0;
    long demoRateKiB = 0;
    std::vector<std::string> adSentences;  // "ad_sentence", one per line, repeatable

    bool usesDemoSite() const { return site == kDemoSite; }
    BrandWords brandWords() const;  // converted to GBK
};

// Parses site.ini text; unknown keys, malformed lines and values that are not text (broken UTF-8,
// control bytes) are ignored.
SiteConfig parseSiteConfig(std::string_view iniText);
// Reads site.ini at path; a missing or unreadable file gives the defaults.
SiteConfig loadSiteConfig(const std::string& path);

}  // namespace novel
