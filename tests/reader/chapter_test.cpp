#include "reader/chapter.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "reader/font_faces.h"
#include "reader/ad_sentences.h"
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

TEST(Chapter, AdvertisingSentencesGoWithOrWithoutTheirAddress) {
    auto clean = [](std::string_view utf8) {
        return toUtf8(cleanChapterText(toGbk(utf8), kWords));
    };
    // The demo site's closing sentence as the page has it, and as earlier cleaning left it.
    EXPECT_EQ(
        clean("（本章完）请记住本站网址：www.demobook.com，演 示 书 城 DEMOBOOK 最快更新！<br />"),
        "（本章完）<br />");
    EXPECT_EQ(toUtf8(removeAdSentences(toGbk("请记住本站网址：，  最快更新！"), kWords)), "");
    EXPECT_EQ(toUtf8(removeAdSentences(toGbk("a请记住本站网址：　&nbsp;，最快更新！b"), kWords)),
              "ab");
    // The opening sentence, with its brand and address in front of it.
    EXPECT_EQ(clean("&nbsp;&nbsp;演示书城 WWW.DemoBook.Com "
                    "欢迎您的光临，本书最新章节尽在演示书城。<br />正文"),
              "&nbsp;&nbsp;  <br />正文");
    // The package's chapter ending opens a sentence; the same words inside one are ordinary text.
    EXPECT_EQ(
        toUtf8(removeAdSentences(toGbk("完。 演示书城 www.X.com 提供全文阅读。\r\n"), kWords)),
        "完。 \r\n");
    EXPECT_EQ(toUtf8(removeAdSentences(toGbk("他们提供全文阅读。"), kWords)), "他们提供全文阅读。");

    // Ordinary text that shares words with a sentence stays.
    for (const char* kept :
         {"请记住本站网址：他说，你最快更新！", "本书由作者首发，更多精彩请访问书店或图书馆。",
          "本书由他（老王）整理收录，仅供试读。", "请记住本站网址",
          "欢迎您的光临，本书最新章节尽在"})
        EXPECT_EQ(clean(kept), kept);

    // site.ini adds sentences of its own.
    BrandWords words = kWords;
    words.adSentences = {toGbk("手机用户请访问*阅读。"), toGbk("* ")};  // the second has no words
    EXPECT_EQ(toUtf8(cleanChapterText(toGbk("甲手机用户请访问 m.demobook.com 阅读。乙"), words)),
              "甲乙");
}

TEST(Chapter, TextIsSanitizedAfterCleaning) {
    // A removal must not be able to put a handler together again.
    const std::string page = toGbk(
        "<div id=\"text_area\">第一章<br />\r\n<img src=x o.comnerror=alert(1)>"
        "<scr.comipt>x()</script>好</div>");
    EXPECT_EQ(toUtf8(chapterTextFromPage(page, kWords)), "第一章<br />\r\n<img src=\"x\">好");
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
