#include "catalogue/site_config.h"

#include <charconv>
#include <fstream>
#include <iterator>

#include "web/gbk.h"

namespace novel {
namespace {

std::string* fieldFor(SiteConfig& config, std::string_view key) {
    if (key == "site") return &config.site;
    if (key == "brand_latin") return &config.brandLatin;
    if (key == "brand_chinese") return &config.brandChinese;
    if (key == "brand_chinese_spaced") return &config.brandChineseSpaced;
    if (key == "home_page") return &config.homePage;
    if (key == "help_page") return &config.helpPage;
    if (key == "news_page") return &config.newsPage;
    if (key == "chat_group_link") return &config.chatGroupLink;
    if (key == "chat_group_number") return &config.chatGroupNumber;
    if (key == "mail") return &config.mail;
    if (key == "im_number") return &config.imNumber;
    return nullptr;
}

// A decimal number within [low, high]; nothing for anything else.
std::optional<long> boundedNumber(std::string_view digits, long low, long high) {
    long n = 0;
    auto [end, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), n);
    if (ec != std::errc() || end != digits.data() + digits.size() || n < low || n > high)
        return std::nullopt;
    return n;
}

// Keys with a number for a value, and the numbers each takes; out of range keeps the default.
bool readNumber(SiteConfig& config, std::string_view key, std::string_view digits) {
    std::optional<long> n;
    if (key == "page_timeout") {
        if ((n = boundedNumber(digits, 1, 3600))) config.pageTimeLimitSeconds = *n;
    } else if (key == "demo_port") {
        if ((n = boundedNumber(digits, 1, 65535))) config.demoPort = static_cast<int>(*n);
    } else if (key == "demo_latency") {
        if ((n = boundedNumber(digits, 0, kMaxDemoLatencyMs))) config.demoLatencyMs = *n;
    } else if (key == "demo_rate") {
        if ((n = boundedNumber(digits, 0, kMaxDemoRateKiB))) config.demoRateKiB = *n;
    } else {
        return false;
    }
    return true;
}

bool isReadableValue(std::string_view value) {
    for (unsigned char c : value)
        if ((c < 0x20 && c != '\t') || c == 0x7F) return false;
    return isValidUtf8(value);
}

}  // namespace

BrandWords SiteConfig::brandWords() const {
    BrandWords words{toGbk(brandLatin), toGbk(brandChinese), toGbk(brandChineseSpaced)};
    for (const std::string& sentence : adSentences) words.adSentences.push_back(toGbk(sentence));
    return words;
}

SiteConfig parseSiteConfig(std::string_view iniText) {
    constexpr std::string_view kBom = "\xEF\xBB\xBF";
    if (iniText.starts_with(kBom)) iniText.remove_prefix(kBom.size());

    SiteConfig config;
    while (!iniText.empty()) {
        const size_t end = iniText.find('\n');
        std::string_view line = trimAsciiSpace(iniText.substr(0, end));
        iniText.remove_prefix(end == std::string_view::npos ? iniText.size() : end + 1);

        // Only whole lines are comments: addresses may carry a "#".
        if (line.empty() || line.front() == '#') continue;
        const size_t eq = line.find('=');
        if (eq == std::string_view::npos) continue;
        const std::string_view key = trimAsciiSpace(line.substr(0, eq));
        if (readNumber(config, key, trimAsciiSpace(line.substr(eq + 1)))) continue;
        std::string* field = fieldFor(config, key);
        const bool adSentence = key == "ad_sentence";
        if (!field && !adSentence) continue;
        std::string_view value = trimAsciiSpace(line.substr(eq + 1));
        // A value that is no text (broken UTF-8, control bytes) cannot be read: the key keeps
        // its default.
        if (!isReadableValue(value)) continue;
        if (adSentence) {
            if (!value.empty()) config.adSentences.emplace_back(value);
            continue;
        }

        if (field == &config.site) {
            // Every URL is built as site + "/path", so a trailing slash would double it.
            while (value.ends_with('/')) value.remove_suffix(1);
            if (value.empty()) continue;  // an empty site cannot work: keep the default
        }
        field->assign(value);
    }
    return config;
}

SiteConfig loadSiteConfig(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return {};
    const std::string text{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    return parseSiteConfig(text);
}

}  // namespace novel
