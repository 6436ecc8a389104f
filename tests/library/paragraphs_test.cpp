// Paragraphs of a chapter text and restoring a reading position after the text changed.

#include <gtest/gtest.h>

#include "reader/paragraphs.h"
#include "web/gbk.h"

namespace novel {
namespace {

std::vector<std::string> utf8Paragraphs(const std::string& utf8Text) {
    std::vector<std::string> out;
    const Text text = toGbk(utf8Text);
    for (std::string_view p : paragraphTexts(text)) out.push_back(toUtf8(p));
    return out;
}

TEST(Paragraphs, SiteBreaksIndentsAndBlanksSeparateAndTrim) {
    EXPECT_EQ(utf8Paragraphs("&nbsp;&nbsp;第一段。<br />\r\n<br />\r\n&nbsp;&nbsp;第二段。<BR>"
                             "　　第三段　<br/><p>第四段</p>\n\n"),
              (std::vector<std::string>{"第一段。", "第二段。", "第三段", "第四段"}));
    EXPECT_TRUE(utf8Paragraphs("").empty());
    EXPECT_TRUE(utf8Paragraphs("<br /><br />&nbsp;　 \r\n").empty());
    // Other tags stay inside their paragraph.
    EXPECT_EQ(utf8Paragraphs("<b>粗</b>体<br>下一段"),
              (std::vector<std::string>{"<b>粗</b>体", "下一段"}));
}

TEST(Paragraphs, SpansPointIntoTheTextAndNeverSplitACharacter) {
    // 0xA1 0xA1 is a blank only at a character start: here the last character is 0xB0 0xA1
    // followed by 0xA1 0xA1 (a real blank).
    const Text text = "\xB0\xA1\xA1\xA1<br>\xA1\xA1x";
    const std::vector<ParagraphSpan> spans = splitParagraphs(text);
    ASSERT_EQ(spans.size(), 2u);
    EXPECT_EQ(text.substr(spans[0].begin, spans[0].end - spans[0].begin), "\xB0\xA1");
    EXPECT_EQ(text.substr(spans[1].begin, spans[1].end - spans[1].begin), "x");
}

TEST(Paragraphs, AnchorKeepsTwentyWholeCharacters) {
    const Text text = toGbk("一二三四五六七八九十一二三四五六七八九十多余的字<br>短");
    const auto paragraphs = paragraphTexts(text);
    const ParagraphAnchor anchor = anchorAt(paragraphs, 0);
    EXPECT_EQ(toUtf8(anchor.snippet), "一二三四五六七八九十一二三四五六七八九十");
    EXPECT_EQ(anchorAt(paragraphs, 7), (ParagraphAnchor{1, toGbk("短")}));
    EXPECT_EQ(anchorAt({}, 3), ParagraphAnchor{});
}

TEST(Paragraphs, RestoreFindsTheSameParagraphInAChangedText) {
    const Text before = toGbk("甲<br>乙<br>丙丙丙<br>丁<br>戊");
    const ParagraphAnchor anchor = anchorAt(paragraphTexts(before), 2);

    // Unchanged: the same index.
    EXPECT_EQ(restoreParagraph(anchor, paragraphTexts(before)), 2);
    // Two paragraphs inserted above: it moved down with its text.
    EXPECT_EQ(
        restoreParagraph(anchor, paragraphTexts(toGbk("新<br>新<br>甲<br>乙<br>丙丙丙<br>丁"))), 4);
    // The same text twice: the occurrence nearest to the old place wins.
    EXPECT_EQ(restoreParagraph(anchor, paragraphTexts(toGbk("丙丙丙<br>x<br>y<br>丙丙丙"))), 3);
    // Only found inside a paragraph now (something was prepended to it).
    EXPECT_EQ(restoreParagraph(anchor, paragraphTexts(toGbk("甲<br>前言丙丙丙<br>丁"))), 1);
    // Gone: the old index, clamped to the paragraphs there are.
    EXPECT_EQ(restoreParagraph(anchor, paragraphTexts(toGbk("一<br>二<br>三<br>四"))), 2);
    EXPECT_EQ(restoreParagraph(anchor, paragraphTexts(toGbk("一"))), 0);
    EXPECT_EQ(restoreParagraph(anchor, {}), 0);
    EXPECT_EQ(restoreParagraph({-5, {}}, paragraphTexts(before)), 0);
}

}  // namespace
}  // namespace novel
