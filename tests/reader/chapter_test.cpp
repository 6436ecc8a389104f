#include "reader/chapter.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "reader/font_faces.h"
#include "web/gbk.h"

namespace novel {
namespace {

const BrandWords kWords{"demobook", toGbk("演示书城"), toGbk("演 示 书 城")};

TEST(Chapter, CutAndClean) {
    const std::string page = toGbk(
        "<div id=\"head\">x</div><div id=\"text_area\">第一章WwW.DemoBook.CoM好<br />"
        "演示书城 演 示 书 城 ok</div><div id=\"text_area\">second</div>");
    EXPECT_EQ(toUtf8(chapterTextFromPage(page, kWords)), "第一章好<br />  ok");
    EXPECT_EQ(cutChapterText("<div id=\"text_area\">no end"), "");
    EXPECT_EQ(cutChapterText("<div id=\"TEXT_AREA\">x</div>"), "");  // the marker is exact
}

TEST(Chapter, CleaningNeverStartsInsideACharacter) {
    // 0xB0 0x57 and 0xB0 0x77 are GBK characters whose trail bytes read as 'W' and 'w'.
    EXPECT_EQ(cleanChapterText("\xB0\x57ww.x", kWords), "\xB0\x57ww.x");
    EXPECT_EQ(cleanChapterText("\xB0\x77WW.x", kWords), "\xB0\x77WW.x");
    EXPECT_EQ(cleanChapterText("\xB0\x57www.x", kWords), "\xB0\x57x");
    // Brand words left empty by the configuration are not removed.
    EXPECT_EQ(cleanChapterText("a.com b", BrandWords{}), "a b");
}

TEST(Chapter, StrayByteBeforeTheEndMarker) {
    // A euro sign (0x80) or a broken byte (0xFF) is one character: the chapter ends at its own
    // "</div>", not at the page's last one.
    for (const Text& stray : {Text("\x80"), Text("\xFF")}) {
        const Text page = "<div id=\"text_area\">" + toGbk("第一章") + stray +
                          "</div><div id=\"footer\">www.demobook.com</div>";
        EXPECT_EQ(chapterTextFromPage(page, kWords), toGbk("第一章") + stray);
    }
    EXPECT_EQ(cleanChapterText("\x80www.x\xFF.COM", kWords), "\x80x\xFF");
}

TEST(Chapter, Templates) {
    EXPECT_EQ(kPageHeadTemplate.size(), 112u);
    EXPECT_EQ(kPageBodyStyleTemplate.size(), 88u);
    EXPECT_EQ(kPageScriptTemplate.size(), 680u);
    const auto lines = [](std::string_view t) { return std::ranges::count(t, '\n') + 1; };
    EXPECT_EQ(lines(kPageHeadTemplate), 9);
    EXPECT_EQ(lines(kPageBodyStyleTemplate), 6);
    EXPECT_EQ(lines(kPageScriptTemplate), 40);
    for (std::string_view t : {kPageHeadTemplate, kPageBodyStyleTemplate, kPageScriptTemplate})
        EXPECT_EQ(std::ranges::count(t, '\n'), std::ranges::count(t, '\r'));
    EXPECT_NE(toUtf8(kPageHeadTemplate).find("\tfont-family: 宋体;\r\n"), std::string::npos);
    EXPECT_NE(toUtf8(kPageScriptTemplate).find("\r\n//双击鼠标滚动屏幕的代码\r\n"),
              std::string::npos);
    EXPECT_TRUE(kPageScriptTemplate.ends_with("\r\n \r\n\r\n\r\n\r\n<center>"));
}

TEST(Chapter, ReaderPage) {
    EXPECT_EQ(buildReaderPage("H", "B", "S", toGbk("第一章"), "text"),
              "HBS" + toGbk("第一章") + "</br></br>text</center>");
    const Text page =
        buildReaderPage(kPageHeadTemplate, kPageBodyStyleTemplate, kPageScriptTemplate, "", "");
    const Text fontStyle = fontFamilyStyle(kPageHeadTemplate);
    ASSERT_FALSE(fontStyle.empty());
    EXPECT_EQ(page, concatTexts(kPageHeadTemplate, kPageBodyStyleTemplate, fontStyle,
                                kPageScriptTemplate, "</br></br></center>"));
    EXPECT_TRUE(page.starts_with("<html>\r\n\r\n<style"));
    EXPECT_NE(page.find("</style><style type=\"text/css\">body,td,th{font-family:"),
              std::string::npos);
    EXPECT_NE(page.find(";}</style><script language"), std::string::npos);
    EXPECT_NE(page.find("color:#660000;\r\n}body {"), std::string::npos);
}

}  // namespace
}  // namespace novel
