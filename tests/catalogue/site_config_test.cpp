#include "catalogue/site_config.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <random>

#include <unistd.h>

#include "web/gbk.h"

namespace novel {
namespace {

TEST(SiteConfig, Defaults) {
    const SiteConfig c = parseSiteConfig("");
    EXPECT_TRUE(c.usesDemoSite());
    EXPECT_EQ(c.brandLatin, kDemoBrandLatin);
    EXPECT_EQ(c.mail, "");
    const BrandWords w = c.brandWords();
    EXPECT_EQ(w.latin, "demobook");
    EXPECT_EQ(w.chinese, toGbk("演示书城"));
    EXPECT_EQ(w.chineseSpaced, toGbk("演 示 书 城"));
}

TEST(SiteConfig, AdSentencesRepeat) {
    const SiteConfig c = parseSiteConfig(
        "ad_sentence = 请收藏*，谢谢！\n"
        "ad_sentence =\n"
        "ad_sentence = \xFF\xFE\n"
        "ad_sentence=手机阅读*。\n");
    ASSERT_EQ(c.adSentences.size(), 2u);  // the empty and the unreadable value are left out
    EXPECT_EQ(c.adSentences[1], "手机阅读*。");
    const BrandWords w = c.brandWords();
    ASSERT_EQ(w.adSentences.size(), 2u);
    EXPECT_EQ(w.adSentences[0], toGbk("请收藏*，谢谢！"));
    EXPECT_TRUE(parseSiteConfig("").brandWords().adSentences.empty());
}

TEST(SiteConfig, Parsing) {
    const SiteConfig c = parseSiteConfig(
        "\xEF\xBB\xBF"
        "site = http://novel.example:81//\r\n"
        "# brand_latin = commented\r\n"
        "  brand_chinese\t=  书城  \r\n"
        "no equals sign here\n"
        "unknown = 1\n"
        "chat_group_link = http://g.example/#join\n"
        "mail =\n");
    EXPECT_EQ(c.site, "http://novel.example:81");
    EXPECT_FALSE(c.usesDemoSite());
    EXPECT_EQ(c.brandLatin, kDemoBrandLatin);
    EXPECT_EQ(c.brandChinese, "书城");
    EXPECT_EQ(c.brandWords().chinese, toGbk("书城"));
    EXPECT_EQ(c.brandChineseSpaced, kDemoBrandChineseSpaced);
    EXPECT_EQ(c.chatGroupLink, "http://g.example/#join");
    EXPECT_EQ(c.mail, "");

    // The first key after a byte-order mark is read; an empty site keeps the demo.
    EXPECT_EQ(parseSiteConfig("\xEF\xBB\xBFsite=http://a").site, "http://a");
    EXPECT_TRUE(parseSiteConfig("site = /\n").usesDemoSite());
}

TEST(SiteConfig, GarbageKeepsTheDefaults) {
    // Lines that are no text are skipped; the readable lines around them still count.
    using namespace std::string_literals;
    const std::string ini =
        "brand_latin = abc\n"
        "\x00\xFF\xFE=\x81\n"
        "site = http://\xC3\x28"
        "bad\n"
        "mail = a\0b\n"
        "home_page = http://h\x01\n"
        "brand_chinese = \x81\x40\n"
        "im_number = 42\n"s;
    const SiteConfig c = parseSiteConfig(ini);
    EXPECT_EQ(c.brandLatin, "abc");
    EXPECT_TRUE(c.usesDemoSite());
    EXPECT_EQ(c.mail, "");
    EXPECT_EQ(c.homePage, "");
    EXPECT_EQ(c.brandChinese, kDemoBrandChinese);
    EXPECT_EQ(c.imNumber, "42");

    // Random bytes with a 1 MB line among them: the defaults, and every value is text.
    std::mt19937 rng(11);
    std::string bytes(1 << 20, '\0');
    for (char& b : bytes) b = static_cast<char>(rng());
    for (const std::string& text : {bytes, "site = " + bytes, bytes + "\nsite=http://a\n"}) {
        const SiteConfig g = parseSiteConfig(text);
        EXPECT_TRUE(isValidUtf8(g.site));
        EXPECT_TRUE(isValidUtf8(g.brandLatin));
    }
    EXPECT_TRUE(parseSiteConfig("site = " + bytes).usesDemoSite());
    EXPECT_EQ(parseSiteConfig(bytes + "\nsite=http://a\n").site, "http://a");
}

TEST(SiteConfig, DemoSiteNumbers) {
    const SiteConfig unset = parseSiteConfig("");
    EXPECT_FALSE(unset.demoPort);
    EXPECT_EQ(unset.demoLatencyMs, 0);
    EXPECT_EQ(unset.demoRateKiB, 0);

    const SiteConfig c = parseSiteConfig("demo_port = 8080\ndemo_latency = 250\ndemo_rate = 64\n");
    EXPECT_EQ(c.demoPort, 8080);
    EXPECT_EQ(c.demoLatencyMs, 250);
    EXPECT_EQ(c.demoRateKiB, 64);
    EXPECT_EQ(parseSiteConfig("demo_port=65535\n").demoPort, 65535);
    EXPECT_EQ(parseSiteConfig("demo_latency=60000\ndemo_rate=1048576").demoRateKiB, 1048576);

    // Out of range or not a number: the key keeps its default, the next good line still counts.
    for (const char* bad :
         {"demo_port = 0", "demo_port = 65536", "demo_port = -80", "demo_port = 80x",
          "demo_port =", "demo_port = 99999999999999999999", "demo_latency = 60001",
          "demo_latency = -1", "demo_rate = 1048577", "demo_rate = 1.5"}) {
        const SiteConfig g = parseSiteConfig(std::string(bad) + "\npage_timeout = 5\n");
        EXPECT_FALSE(g.demoPort) << bad;
        EXPECT_EQ(g.demoLatencyMs, 0) << bad;
        EXPECT_EQ(g.demoRateKiB, 0) << bad;
        EXPECT_EQ(g.pageTimeLimitSeconds, 5) << bad;
    }
    EXPECT_EQ(parseSiteConfig("demo_port = 0\ndemo_port = 81\n").demoPort, 81);
}

TEST(SiteConfig, File) {
    const auto path = std::filesystem::temp_directory_path() /
                      ("site_config_test_" + std::to_string(getpid()) + ".ini");
    std::filesystem::remove(path);
    EXPECT_TRUE(loadSiteConfig(path.string()).usesDemoSite());

    std::ofstream(path) << "site = http://127.0.0.1:9\nim_number = 12345\n";
    const SiteConfig c = loadSiteConfig(path.string());
    EXPECT_EQ(c.site, "http://127.0.0.1:9");
    EXPECT_EQ(c.imNumber, "12345");
    std::filesystem::remove(path);
}

}  // namespace
}  // namespace novel
