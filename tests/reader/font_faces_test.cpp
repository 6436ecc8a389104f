#include "reader/font_faces.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <set>

#include "reader/chapter.h"
#include "reader/reader_style.h"
#include "support/temp_dir.h"
#include "web/file_io.h"
#include "web/gbk.h"

namespace novel {
namespace {
namespace fs = std::filesystem;

// The CSS value the page must carry for a list: quoted names, the generic family bare.
Text cssValue(const std::vector<Text>& list) {
    Text out;
    for (size_t i = 0; i < list.size(); ++i) {
        if (i > 0) out += ',';
        out += i + 1 < list.size() ? "\"" + list[i] + "\"" : list[i];
    }
    return out;
}

TEST(FontFaces, EveryChoiceHasItsOwnFaces) {
    std::set<Text> leadingFaces;
    std::set<std::vector<Text>> lists;
    for (int index = 0; index < 6; ++index) {
        const Text choice = fontFamilyValue(index);
        const std::vector<Text> list = fontFamilyList(choice);
        ASSERT_GE(list.size(), 3u) << toUtf8(choice);
        EXPECT_EQ(list.front(), choice);  // a machine with the real face still uses it
        EXPECT_TRUE(list.back() == "serif" || list.back() == "sans-serif");
        for (size_t i = 1; i < list.size(); ++i) {
            EXPECT_TRUE(isValidUtf8(list[i]));  // installed names are ASCII, GBK-safe
            EXPECT_EQ(list[i].find_first_of("\"<>;"), Text::npos);
        }
        leadingFaces.insert(list[1]);
        lists.insert(list);
    }
    EXPECT_EQ(leadingFaces.size(), 6u);  // no two choices fall on the same face
    EXPECT_EQ(lists.size(), 6u);

    EXPECT_EQ(fontFamilyList(toGbk("宋体")).back(), "serif");
    EXPECT_EQ(fontFamilyList(toGbk("黑体")).back(), "sans-serif");
    EXPECT_EQ(fontFamilyList(toGbk("微软雅黑")).back(), "sans-serif");
    EXPECT_TRUE(fontFamilyList("Arial").empty());
    EXPECT_TRUE(fontFamilyList("").empty());
}

// Saving each choice stores only the name in config.txt, and the page written from the saved
// templates carries the full list after the templates' own rule.
TEST(FontFaces, PageCarriesTheListTemplatesKeepTheName) {
    test::TempDir temp;
    const fs::path folder = temp.path() / "html";
    ReaderTemplates templates = loadReaderTemplates(folder, ReaderTemplates::initial());
    for (int index : {2, 3, 4, 5, 1, 0}) {
        ReaderStyle chosen = styleOf(templates);
        chosen.fontFamily = fontFamilyValue(index);
        const StyleSave save = saveReaderStyle(folder, templates, chosen);
        ASSERT_TRUE(save.succeeded());
        templates = save.templates;

        const Text stored = readTextFile(folder / "config.txt");
        ReaderTemplates expected = ReaderTemplates::initial();
        expected.head = replaceText(expected.head, toGbk("font-family: 宋体;"),
                                    concatTexts("font-family: ", chosen.fontFamily, ";"));
        EXPECT_EQ(stored, expected.head) << index;

        const fs::path pageFile = folder / "web.html";
        ASSERT_FALSE(writeReaderPage(pageFile, templates, toGbk("第一章"), "text"));
        const Text page = readTextFile(pageFile);
        const Text rule = concatTexts(
            "body,td,th{font-family:", cssValue(fontFamilyList(chosen.fontFamily)), ";}");
        const size_t ruleAt = page.find(rule);
        ASSERT_NE(ruleAt, Text::npos) << index;
        EXPECT_GT(ruleAt, page.find(concatTexts("font-family: ", chosen.fontFamily, ";")));
        EXPECT_LT(ruleAt, page.find("<script"));
        EXPECT_EQ(page.find("font-family:\""), page.rfind("font-family:\""));  // one rule only
        EXPECT_TRUE(page.ends_with(toGbk("第一章") + "</br></br><p id=\"p0\">text</p></center>"));
    }
}

// A family typed into config.txt by hand gets no font rule: only the layout follows the templates.
TEST(FontFaces, UnknownFamilyLeavesThePageAlone) {
    ReaderTemplates t = ReaderTemplates::initial();
    t.head = replaceText(t.head, toGbk("font-family: 宋体;"), "font-family: Arial;");
    EXPECT_EQ(fontFamilyStyle(t.head), "");
    EXPECT_EQ(buildReaderPage(t.head, t.bodyStyle, t.script, "T", "x"),
              t.head + t.bodyStyle + readerLayoutStyle({}) + t.script +
                  "T</br></br><p id=\"p0\">x</p></center>");
    EXPECT_EQ(fontFamilyStyle("no markers at all"), "");
}

}  // namespace
}  // namespace novel
