#include "speech/sentences.h"

#include <gtest/gtest.h>

#include "web/gbk.h"

namespace novel {
namespace {

std::vector<std::string> texts(const std::vector<Sentence>& sentences) {
    std::vector<std::string> out;
    for (const Sentence& s : sentences) out.push_back(s.text);
    return out;
}

using V = std::vector<std::string>;

TEST(ChapterParagraphs, BreaksEntitiesAndBlanks) {
    const std::string html = toGbk(
        "&nbsp;&nbsp;&nbsp;&nbsp;第一段。<br />\r\n<br />\r\n&nbsp;&nbsp;　第二段<b>加粗</b>"
        "&amp;&lt;&#x4e00;&#20108;<BR/>  <br>\n三   段 &bogus; &#0;&#xD800;");
    EXPECT_EQ(chapterParagraphs(html),
              (V{"第一段。", "第二段加粗&<一二", "三 段 &bogus; &#0;&#xD800;"}));
    EXPECT_TRUE(chapterParagraphs("").empty());
    EXPECT_TRUE(chapterParagraphs("<br /><br />&nbsp;").empty());
    // A stray '<' with no end is text, and a lead byte at the end never leaves broken UTF-8.
    const V odd = chapterParagraphs("a < b\xC4");
    ASSERT_EQ(odd.size(), 1u);
    EXPECT_TRUE(isValidUtf8(odd[0]));
    EXPECT_EQ(odd[0].substr(0, 5), "a < b");
}

TEST(SplitSentences, WideAndAsciiMarksWithRunsAndClosers) {
    EXPECT_EQ(texts(splitSentences({"他来了。你呢？我也来！走吧；好……真的?!"})),
              (V{"他来了。", "你呢？", "我也来！", "走吧；", "好……", "真的?!"}));
    EXPECT_EQ(texts(splitSentences({"「你好。」他说，“走吧！？”《书》。（注。）完"})),
              (V{"「你好。」", "他说，“走吧！？”", "《书》。", "（注。）", "完"}));
    EXPECT_EQ(texts(splitSentences({"Wait... \"Go!\" he said. 'Yes.' Pi is 3.14 at a.com; ok"})),
              (V{"Wait...", "\"Go!\"", "he said.", "'Yes.'", "Pi is 3.14 at a.com;", "ok"}));
    // A straight quote after a mark opens the next sentence when no quote is open.
    EXPECT_EQ(texts(splitSentences({"完了。\"来吧。\"好"})), (V{"完了。", "\"来吧。\"", "好"}));
}

TEST(SplitSentences, NoSentenceEndGivesParagraphs) {
    const auto sentences = chapterSentences(toGbk("第一行没有句号<br />第二行也没有<br/>"));
    EXPECT_EQ(texts(sentences), (V{"第一行没有句号", "第二行也没有"}));
    EXPECT_EQ(sentences[1].paragraph, 1);
    // Nothing to say: marks and blanks alone are left out.
    EXPECT_TRUE(splitSentences({"……", "。！", "  "}).empty());
}

TEST(SplitSentences, PositionsNameTheCharactersOfTheParagraph) {
    const auto s = splitSentences({"甲。", "　  乙说：“好。” 丙？"});
    ASSERT_EQ(s.size(), 3u);
    EXPECT_EQ(s[0], (Sentence{"甲。", 0, 0, 2}));
    EXPECT_EQ(s[1], (Sentence{"乙说：“好。”", 1, 3, 7}));
    EXPECT_EQ(s[2], (Sentence{"丙？", 1, 11, 2}));
}

TEST(SplitSentences, LongSentencesAreCutAfterCommas) {
    const auto s = splitSentences({"一二三，四五六七，八九。"}, 5);
    EXPECT_EQ(texts(s), (V{"一二三，", "四五六七，", "八九。"}));
    EXPECT_EQ(s[1].offset, 4);
    // Without a comma the cut falls at the limit, on a character boundary.
    EXPECT_EQ(texts(splitSentences({"一二三四五六七"}, 3)), (V{"一二三", "四五六", "七"}));
}

}  // namespace
}  // namespace novel
