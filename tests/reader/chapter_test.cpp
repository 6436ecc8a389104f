#include "reader/chapter.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <limits>
#include <vector>

#include "reader/ad_sentences.h"
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
    // One made of an address alone: the second sentence opens inside the first, and nothing is
    // written twice. In place, a book's text comes out the same.
    words.adSentences = {"*m.x.cn"};
    const AdSentenceRemover remover(words);
    EXPECT_EQ(remover.remove("m.x.cn m.x.cn\nok m.x.cn"), "\nok m.x.cn");
    Text book = "a\nm.x.cn m.x.cn\n";
    remover.removeIn(&book);
    EXPECT_EQ(book, "a\n\n");
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
    const Text layout = readerLayoutStyle({});
    EXPECT_EQ(buildReaderPage("H", "B", "S", toGbk("第一章"), "text"),
              "HB" + layout + "S" + toGbk("第一章") + "</br></br><p id=\"p0\">text</p></center>");
    const Text page =
        buildReaderPage(kPageHeadTemplate, kPageBodyStyleTemplate, kPageScriptTemplate, "", "");
    const Text fontStyle = fontFamilyStyle(kPageHeadTemplate);
    ASSERT_FALSE(fontStyle.empty());
    EXPECT_EQ(page, concatTexts(kPageHeadTemplate, kPageBodyStyleTemplate, fontStyle, layout,
                                kPageScriptTemplate, "</br></br></center>"));
    EXPECT_TRUE(page.starts_with("<html>\r\n\r\n<style"));
    EXPECT_NE(page.find("</style><style type=\"text/css\">body,td,th{font-family:"),
              std::string::npos);
    EXPECT_NE(page.find(";}</style><style type=\"text/css\">center{"), std::string::npos);
    EXPECT_NE(page.find("}</style><script language"), std::string::npos);
    EXPECT_NE(page.find("color:#660000;\r\n}body {"), std::string::npos);

    // The layout given is the layout the page carries.
    ReaderLayout wide;
    wide.measure = 50;
    const Text widePage = buildReaderPage("H", "B", "S", "T", "x", wide);
    EXPECT_NE(widePage.find(readerLayoutStyle(wide)), std::string::npos);
    EXPECT_NE(widePage.find("max-width:50em"), std::string::npos);
}

// The generated style sets the column as a book's page: the template's "<center>" no longer
// centres the paragraphs, the column is centred in the view at the chosen measure.
TEST(Chapter, LayoutStyle) {
    const Text style = readerLayoutStyle({});
    EXPECT_TRUE(style.starts_with("<style type=\"text/css\">"));
    EXPECT_TRUE(style.ends_with("</style>"));
    for (std::string_view rule :
         {"center{display:block;", "max-width:36em;", "margin:0 auto;", "line-height:1.8;",
          "center p{", "text-indent:2em;", "text-align:justify;", "margin:0 0 0.5em 0;"})
        EXPECT_NE(style.find(rule), std::string::npos) << rule;
    // The paragraph rule is more specific than the column's, so centring stays with the title.
    EXPECT_LT(style.find("text-align:center"), style.find("center p{"));

    const Text custom = readerLayoutStyle({28, 2.25, 1.0});
    EXPECT_NE(custom.find("max-width:28em;"), std::string::npos);
    EXPECT_NE(custom.find("line-height:2.25;"), std::string::npos);
    EXPECT_NE(custom.find("margin:0 0 1em 0;"), std::string::npos);
    EXPECT_NE(readerLayoutStyle({36, 1.8, 0}).find("margin:0 0 0em 0;"), std::string::npos);
    // Values no CSS should carry fall back to the defaults, so the rule is always well formed.
    EXPECT_EQ(readerLayoutStyle({-5, std::numeric_limits<double>::quiet_NaN(), 1e300}), style);
}

TEST(Paragraphs, SplitAtBreaksWithoutTheSitesIndent) {
    const Text nbsp4 = "&nbsp;&nbsp;&nbsp;&nbsp;";
    const Text text = nbsp4 + toGbk("第一段") + "<br />\r\n<br />\r\n" + toGbk("　　第二段") +
                      "<BR>" + nbsp4 + " b&nbsp;c " + nbsp4 + "</br><br/>\r\n&#160;" + toGbk("三") +
                      "<p class=\"x\">four</P>\r\n";
    const std::vector<std::string_view> paragraphs = splitParagraphs(text);
    ASSERT_EQ(paragraphs.size(), 5u);
    EXPECT_EQ(paragraphs[0], toGbk("第一段"));
    EXPECT_EQ(paragraphs[1], toGbk("第二段"));
    EXPECT_EQ(paragraphs[2], "b&nbsp;c");  // blanks inside a paragraph stay
    EXPECT_EQ(paragraphs[3], toGbk("三"));
    EXPECT_EQ(paragraphs[4], "four");
    EXPECT_EQ(paragraphsHtml(text), "<p id=\"p0\">" + toGbk("第一段") + "</p><p id=\"p1\">" +
                                        toGbk("第二段") +
                                        "</p><p id=\"p2\">b&nbsp;c</p><p id=\"p3\">" + toGbk("三") +
                                        "</p><p id=\"p4\">four</p>");

    EXPECT_TRUE(splitParagraphs("").empty());
    EXPECT_TRUE(splitParagraphs("<br /><br>&nbsp; \r\n" + toGbk("　")).empty());
    EXPECT_EQ(paragraphsHtml(""), "");
    // Other tags are no breaks.
    for (std::string_view kept :
         {"a<pre>b", "a<b>b</b>", "a<param x>", "a<brx>b", "a<br", "x<br />"})
        EXPECT_EQ(splitParagraphs(kept).size(), 1u) << kept;
}

TEST(Paragraphs, NeverInsideACharacter) {
    // 0xB0 0x3C is no GBK character, but a lead byte always takes the next byte: the '<' after it
    // opens no tag. The same for a blank's trail byte: 0xB0 0xA1 0xA1 is one character then a lead
    // byte, not a blank.
    const Text lead = "a\xB0<br>b";
    ASSERT_EQ(splitParagraphs(lead).size(), 1u);
    EXPECT_EQ(splitParagraphs(lead)[0], lead);
    EXPECT_EQ(splitParagraphs("\xB0\xA1\xA1x")[0], "\xB0\xA1\xA1x");
    EXPECT_EQ(splitParagraphs("\xB0\xA1\xA1x<br>x")[0], "\xB0\xA1\xA1x");
    EXPECT_EQ(splitParagraphs("x\xB0\xA1\xA1\xA1")[0], "x\xB0\xA1");  // then a real blank
    // A '>' that is a trail byte does not end a tag.
    EXPECT_EQ(splitParagraphs("a<br \xB0>b").size(), 1u);
    EXPECT_EQ(splitParagraphs("a<br \xB0\x40>b").size(), 2u);
    // Half a character at the very end is left out, so it cannot swallow the page's "</p>".
    EXPECT_EQ(splitParagraphs("a<br>b\xB0")[1], "b");
    EXPECT_EQ(splitParagraphs("a<br>\xB0").size(), 1u);
    EXPECT_EQ(paragraphsHtml("b\xB0"), "<p id=\"p0\">b</p>");
}

TEST(Paragraphs, SplittingAgainChangesNothing) {
    const Text text = "&nbsp;x<br>\r\n<br> y \xB0\x41<br><p>z&nbsp;</p>\xA1\xA1w";
    const std::vector<std::string_view> first = splitParagraphs(text);
    Text joined;
    for (std::string_view p : first) {
        ASSERT_EQ(splitParagraphs(p), std::vector<std::string_view>{p});
        joined += concatTexts(p, "<br>");
    }
    const std::vector<std::string_view> again = splitParagraphs(joined);
    EXPECT_EQ(std::vector<Text>(again.begin(), again.end()),
              std::vector<Text>(first.begin(), first.end()));
}

}  // namespace
}  // namespace novel
