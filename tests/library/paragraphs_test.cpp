// Restoring a reading position after the chapter text changed.

#include <gtest/gtest.h>

#include "reader/chapter.h"
#include "reader/paragraphs.h"
#include "web/gbk.h"

namespace novel {
namespace {

TEST(Paragraphs, AnchorKeepsTwentyWholeCharacters) {
    const Text text = toGbk("一二三四五六七八九十一二三四五六七八九十多余的字<br>短");
    const auto paragraphs = splitParagraphs(text);
    const ParagraphAnchor anchor = anchorAt(paragraphs, 0);
    EXPECT_EQ(toUtf8(anchor.snippet), "一二三四五六七八九十一二三四五六七八九十");
    EXPECT_EQ(anchorAt(paragraphs, 7), (ParagraphAnchor{1, toGbk("短")}));
    EXPECT_EQ(anchorAt({}, 3), ParagraphAnchor{});
}

TEST(Paragraphs, RestoreFindsTheSameParagraphInAChangedText) {
    const Text before = toGbk("甲<br>乙<br>丙丙丙<br>丁<br>戊");
    const ParagraphAnchor anchor = anchorAt(splitParagraphs(before), 2);

    // Unchanged: the same index.
    EXPECT_EQ(restoreParagraph(anchor, splitParagraphs(before)), 2);
    // Two paragraphs inserted above: it moved down with its text.
    EXPECT_EQ(
        restoreParagraph(anchor, splitParagraphs(toGbk("新<br>新<br>甲<br>乙<br>丙丙丙<br>丁"))),
        4);
    // The same text twice: the occurrence nearest to the old place wins.
    EXPECT_EQ(restoreParagraph(anchor, splitParagraphs(toGbk("丙丙丙<br>x<br>y<br>丙丙丙"))), 3);
    // Only found inside a paragraph now (something was prepended to it).
    EXPECT_EQ(restoreParagraph(anchor, splitParagraphs(toGbk("甲<br>前言丙丙丙<br>丁"))), 1);
    // Gone: the old index, clamped to the paragraphs there are.
    EXPECT_EQ(restoreParagraph(anchor, splitParagraphs(toGbk("一<br>二<br>三<br>四"))), 2);
    EXPECT_EQ(restoreParagraph(anchor, splitParagraphs(toGbk("一"))), 0);
    EXPECT_EQ(restoreParagraph(anchor, {}), 0);
    EXPECT_EQ(restoreParagraph({-5, {}}, splitParagraphs(before)), 0);
}

}  // namespace
}  // namespace novel
