#include "reader/reader_style.h"

#include <gtest/gtest.h>

#include <unistd.h>
#include "support/temp_dir.h"

#include <filesystem>

#include "reader/chapter.h"
#include "reader/font_faces.h"
#include "web/file_io.h"
#include "web/gbk.h"

namespace novel {
namespace {
namespace fs = std::filesystem;
using test::TempDir;

// The style chosen in the example: 浅红, 楷体, 蓝色, 30 and 40.
ReaderStyle exampleStyle() {
    return {backgroundColorValue(10), fontFamilyValue(2), textColorValue(4), "30", "40"};
}

ReaderTemplates exampleTemplates() {
    ReaderTemplates t = ReaderTemplates::initial();
    t.head = replaceText(t.head, toGbk("font-family: 宋体;"), toGbk("font-family: 楷体;"));
    t.head = replaceText(t.head, "font-size:28px;", "font-size:30px;");
    t.head = replaceText(t.head, "color:#660000;", "color:#0000ff;");
    t.bodyStyle = replaceText(t.bodyStyle, "#000000", "#CD5C5C");
    t.script = replaceText(t.script, "\"scrollwindow ()\",80)", "\"scrollwindow ()\",40)");
    return t;
}

TEST(ReaderStyle, ValueTables) {
    EXPECT_EQ(backgroundColorValue(0), "#FFffff");
    EXPECT_EQ(backgroundColorValue(1), "#000000");
    EXPECT_EQ(backgroundColorValue(10), "#CD5C5C");
    EXPECT_EQ(backgroundColorValue(11), "");
    EXPECT_EQ(backgroundColorValue(-1), "");
    EXPECT_EQ(toUtf8(fontFamilyValue(5)), "微软雅黑");
    EXPECT_EQ(fontFamilyValue(6), "");
    EXPECT_EQ(textColorValue(5), "660000");
    EXPECT_EQ(textColorValue(4), "0000ff");
    EXPECT_EQ(textColorValue(6), "");

    // The fixed items selected at start describe the initial templates.
    const ReaderStyle initial{backgroundColorValue(1), fontFamilyValue(0), textColorValue(5), "28",
                              "80"};
    EXPECT_EQ(styleOf(ReaderTemplates::initial()), initial);
    EXPECT_EQ(*applyReaderStyle(ReaderTemplates::initial(), initial), ReaderTemplates::initial());
}

TEST(ReaderStyle, ReplacesOnlyBetweenTheMarkers) {
    EXPECT_EQ(replaceBetweenMarkers("a:1; b:1;", "b:", ";", "22"), "a:1; b:22;");
    EXPECT_EQ(replaceBetweenMarkers("x:;", "x:", ";", "5"), "x:5;");
    EXPECT_EQ(replaceBetweenMarkers("x:1", "x:", ";", "5"), "x:1");  // no right marker
    EXPECT_EQ(replaceBetweenMarkers("y:1;", "x:", ";", "5"), "y:1;");
    // The right marker is looked for after the left one only.
    EXPECT_EQ(replaceBetweenMarkers(";x:1;", "x:", ";", "5"), ";x:5;");

    // An interval of "0" must not reach "scroll(0," or "clearInterval(timer)" later on.
    ReaderStyle style = styleOf(ReaderTemplates::initial());
    style.scrollInterval = "0";
    const auto zero = applyReaderStyle(ReaderTemplates::initial(), style);
    ASSERT_TRUE(zero);
    EXPECT_NE(zero->script.find("\"scrollwindow ()\",0);"), std::string::npos);
    style.scrollInterval = "80";
    EXPECT_EQ(applyReaderStyle(*zero, style)->script, Text(kPageScriptTemplate));

    // A text colour equal to a digit run elsewhere ("28" of the font size) stays in its place.
    style = styleOf(ReaderTemplates::initial());
    style.textColor = "28";
    const auto colour = applyReaderStyle(ReaderTemplates::initial(), style);
    style.textColor = "000000";
    const auto black = applyReaderStyle(*colour, style);
    EXPECT_NE(black->head.find("font-size:28px;"), std::string::npos);
    EXPECT_NE(black->head.find("color:#000000;"), std::string::npos);
}

TEST(ReaderStyle, ExampleAndSecondSave) {
    const auto saved = applyReaderStyle(ReaderTemplates::initial(), exampleStyle());
    ASSERT_TRUE(saved);
    EXPECT_EQ(*saved, exampleTemplates());
    EXPECT_EQ(styleOf(*saved), exampleStyle());
    EXPECT_EQ(*applyReaderStyle(*saved, exampleStyle()), *saved);
}

TEST(ReaderStyle, RefusesValuesThatWouldNotBeFoundAgain) {
    StyleSetting refused = StyleSetting::Background;
    ReaderStyle style = exampleStyle();
    style.fontSize = "30px";
    EXPECT_FALSE(applyReaderStyle(ReaderTemplates::initial(), style, &refused));
    EXPECT_EQ(refused, StyleSetting::FontSize);
    style = exampleStyle();
    style.scrollInterval = "4)0";
    EXPECT_FALSE(applyReaderStyle(ReaderTemplates::initial(), style, &refused));
    EXPECT_EQ(refused, StyleSetting::ScrollInterval);
    EXPECT_FALSE(canStoreValue(StyleSetting::FontSize, "3\r\n0"));
    // Anything else goes in as typed.
    EXPECT_TRUE(canStoreValue(StyleSetting::FontSize, "abc"));
    EXPECT_TRUE(canStoreValue(StyleSetting::ScrollInterval, ""));
}

TEST(ReaderStyleFiles, FirstStartSeedsTheFiles) {
    TempDir temp;
    const fs::path folder = temp.path() / "html";
    const ReaderTemplates loaded = loadReaderTemplates(folder, ReaderTemplates::initial());
    EXPECT_EQ(loaded, ReaderTemplates::initial());
    EXPECT_EQ(readFileBytes(folder / "config.txt"), Bytes(kPageHeadTemplate));
    EXPECT_EQ(readFileBytes(folder / "config1.txt"), Bytes(kPageBodyStyleTemplate));
    EXPECT_EQ(readFileBytes(folder / "config2.txt"), Bytes(kPageScriptTemplate));
    EXPECT_EQ(std::distance(fs::directory_iterator(folder), fs::directory_iterator()), 3);

    // Existing files win; an empty one empties its template.
    ASSERT_FALSE(writeFileAtomically(folder / "config1.txt", "saved body"));
    ASSERT_FALSE(writeFileAtomically(folder / "config2.txt", ""));
    const ReaderTemplates again = loadReaderTemplates(folder, ReaderTemplates::initial());
    EXPECT_EQ(again.head, Text(kPageHeadTemplate));
    EXPECT_EQ(again.bodyStyle, "saved body");
    EXPECT_EQ(again.script, "");
}

TEST(ReaderStyleFiles, UnwritableFolderKeepsTheTemplates) {
    TempDir temp;
    const fs::path notAFolder = temp.path() / "html";
    ASSERT_FALSE(writeFileAtomically(notAFolder, "x"));
    EXPECT_EQ(loadReaderTemplates(notAFolder, ReaderTemplates::initial()),
              ReaderTemplates::initial());
}

TEST(ReaderStyleFiles, Save) {
    TempDir temp;
    const fs::path folder = temp.path();
    const ReaderTemplates loaded = loadReaderTemplates(folder, ReaderTemplates::initial());
    const StyleSave save = saveReaderStyle(folder, loaded, exampleStyle());
    ASSERT_TRUE(save.succeeded());
    EXPECT_EQ(save.templates, exampleTemplates());
    EXPECT_EQ(readFileBytes(folder / "config.txt"), exampleTemplates().head);
    EXPECT_EQ(readFileBytes(folder / "config1.txt"), exampleTemplates().bodyStyle);
    EXPECT_EQ(readFileBytes(folder / "config2.txt"), exampleTemplates().script);

    // config.txt is read again: a head saved by another copy of the program is the base.
    Text otherHead = exampleTemplates().head + "/*mine*/";
    ASSERT_FALSE(writeFileAtomically(folder / "config.txt", otherHead));
    const StyleSave second = saveReaderStyle(folder, save.templates, exampleStyle());
    EXPECT_EQ(second.templates.head, otherHead);

    // A refused value writes nothing.
    ReaderStyle bad = exampleStyle();
    bad.fontSize = "1px";
    const StyleSave refused = saveReaderStyle(folder, second.templates, bad);
    EXPECT_FALSE(refused.succeeded());
    EXPECT_EQ(refused.refused, StyleSetting::FontSize);
    EXPECT_EQ(readFileBytes(folder / "config.txt"), otherHead);
}

TEST(ReaderStyleFiles, FailedWriteIsReportedAndNotTakenOver) {
    TempDir temp;
    const fs::path folder = temp.path() / "html";
    ASSERT_FALSE(writeFileAtomically(folder / "config.txt", kPageHeadTemplate));
    // config1.txt cannot be written: a folder stands in its place.
    fs::create_directories(folder / "config1.txt" / "x");
    const StyleSave save = saveReaderStyle(folder, ReaderTemplates::initial(), exampleStyle());
    EXPECT_FALSE(save.succeeded());
    EXPECT_TRUE(save.error);
    EXPECT_EQ(save.failedFile, folder / "config1.txt");
    // What was written is taken over, the rest keeps the old text; nothing after the failure is
    // written.
    EXPECT_EQ(save.templates.head, exampleTemplates().head);
    EXPECT_EQ(save.templates.bodyStyle, Text(kPageBodyStyleTemplate));
    EXPECT_EQ(save.templates.script, Text(kPageScriptTemplate));
    EXPECT_FALSE(fs::exists(folder / "config2.txt"));

    // A file where the folder should be.
    const fs::path file = temp.path() / "file";
    ASSERT_FALSE(writeFileAtomically(file, "x"));
    const StyleSave none = saveReaderStyle(file, ReaderTemplates::initial(), exampleStyle());
    EXPECT_EQ(none.failedFile, file / "config.txt");
    EXPECT_EQ(none.templates, ReaderTemplates::initial());
}

TEST(ReaderStyleFiles, ReaderPage) {
    TempDir temp;
    const fs::path page = temp.path() / "html" / "web.html";
    const ReaderLayout layout{30, 2.0, 1.0};
    ASSERT_FALSE(writeReaderPage(page, exampleTemplates(), toGbk("第一章"), "text<br>", layout));
    const ReaderTemplates t = exampleTemplates();
    EXPECT_EQ(readFileBytes(page),
              buildReaderPage(t.head, t.bodyStyle, t.script, toGbk("第一章"), "text<br>", layout));
    EXPECT_TRUE(readFileBytes(page).ends_with(toGbk("第一章") +
                                              "</br></br><p id=\"p0\">text</p></center>"));
    EXPECT_TRUE(writeReaderPage(temp.path() / "html" / "web.html" / "x", t, "", ""));
}

}  // namespace
}  // namespace novel
