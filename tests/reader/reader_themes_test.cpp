// Reading themes: every theme readable at AAA contrast, a theme lands in the templates where the
// colour choices go, and a first start differs from an old saved appearance.

#include "reader/reader_themes.h"

#include <gtest/gtest.h>

#include <set>

#include "reader/chapter.h"
#include "support/temp_dir.h"
#include "web/file_io.h"

namespace novel {
namespace {
namespace fs = std::filesystem;
using test::TempDir;

TEST(ReaderThemes, ContrastFormula) {
    // The WCAG reference points: black on white is 21:1, a colour on itself 1:1, #777 on white
    // just under 4.5:1.
    const Rgb black{0, 0, 0}, white{255, 255, 255};
    EXPECT_DOUBLE_EQ(contrastRatio(black, white), 21.0);
    EXPECT_DOUBLE_EQ(contrastRatio(white, black), 21.0);
    EXPECT_DOUBLE_EQ(contrastRatio(white, white), 1.0);
    EXPECT_NEAR(contrastRatio(*parseHexColor("#777777"), white), 4.48, 0.01);
    EXPECT_NEAR(relativeLuminance(*parseHexColor("#808080")), 0.2159, 0.0001);

    EXPECT_EQ(parseHexColor("#FFffff"), white);
    EXPECT_EQ(parseHexColor("660000"), (Rgb{0x66, 0, 0}));
    EXPECT_EQ(parseHexColor("#abc"), (Rgb{0xAA, 0xBB, 0xCC}));
    for (std::string_view bad : {"", "#", "#12345", "#1234567", "#ggg000", "red", "#12 456"})
        EXPECT_FALSE(parseHexColor(bad)) << bad;
}

TEST(ReaderThemes, EveryThemeIsReadable) {
    ASSERT_GE(readerThemes().size(), 4u);
    EXPECT_EQ(readerThemes().front().name, kDayTheme);
    std::set<std::string_view> names;
    for (const ReaderTheme& theme : readerThemes()) {
        SCOPED_TRACE(std::string(theme.name));
        const auto page = parseHexColor(theme.background), text = parseHexColor(theme.text),
                   hint = parseHexColor(theme.hint);
        ASSERT_TRUE(page && text && hint);
        ASSERT_TRUE(theme.background.starts_with('#') && theme.text.starts_with('#'));
        EXPECT_GE(contrastRatio(*page, *text), 7.0);
        EXPECT_GE(contrastRatio(*page, *hint), 4.5);
        EXPECT_EQ(findReaderTheme(theme.name), &theme);
        names.insert(theme.name);
    }
    EXPECT_EQ(names.size(), readerThemes().size());
    for (std::string_view name : {"日间", "夜间", "护眼", "纸张"})
        EXPECT_TRUE(findReaderTheme(name));
    EXPECT_FALSE(findReaderTheme(""));
    // Dark text by day, light text at night.
    const auto luminance = [](std::string_view c) { return relativeLuminance(*parseHexColor(c)); };
    const ReaderTheme* night = findReaderTheme("夜间");
    EXPECT_LT(luminance(night->background), luminance(night->text));
    for (std::string_view name : {"日间", "护眼", "纸张"}) {
        const ReaderTheme* theme = findReaderTheme(name);
        EXPECT_GT(luminance(theme->background), luminance(theme->text));
    }
}

TEST(ReaderThemes, ApplyAndRecogniseATheme) {
    const ReaderTemplates initial = ReaderTemplates::initial();
    EXPECT_EQ(themeOf(styleOf(initial)), nullptr);  // brown on black is no theme
    for (const ReaderTheme& theme : readerThemes()) {
        const ReaderTemplates themed = applyTheme(initial, theme);
        const ReaderStyle style = styleOf(themed);
        EXPECT_EQ(style.background, theme.background);
        EXPECT_EQ("#" + style.textColor, theme.text);
        EXPECT_EQ(themeOf(style), &theme);
        // Nothing but the two colours changed, and a theme's colours can be saved.
        ReaderStyle others = styleOf(initial);
        others.background = style.background;
        others.textColor = style.textColor;
        EXPECT_EQ(style, others);
        EXPECT_EQ(applyReaderStyle(initial, style), themed);
        EXPECT_EQ(themed.script, initial.script);
    }
    // Colours compare by value, not by spelling.
    ReaderStyle spelled = styleOf(applyTheme(initial, readerThemes()[1]));
    spelled.background = " #121212 ";
    spelled.textColor = "bdbdbd";
    EXPECT_EQ(themeOf(spelled), &readerThemes()[1]);
    spelled.textColor = "bdbdbe";
    EXPECT_EQ(themeOf(spelled), nullptr);
    // Templates without the markers stay as they are.
    const ReaderTemplates bare{"head", "body", "script"};
    EXPECT_EQ(applyTheme(bare, readerThemes()[0]), bare);
}

TEST(ReaderThemes, FirstStartIsDayThemeAtAReadableSize) {
    const ReaderTemplates first = firstStartTemplates();
    const ReaderStyle style = styleOf(first);
    ASSERT_NE(themeOf(style), nullptr);
    EXPECT_EQ(themeOf(style)->name, kDayTheme);
    EXPECT_EQ(style.fontSize, kFirstStartFontSize);
    EXPECT_EQ(style.scrollInterval, "80");
    EXPECT_EQ(style.fontFamily, styleOf(ReaderTemplates::initial()).fontFamily);

    TempDir temp;
    const fs::path folder = temp.path() / "html";
    EXPECT_FALSE(hasSavedAppearance(folder));
    EXPECT_EQ(loadReaderAppearance(folder, ReaderTemplates::initial()), first);
    EXPECT_TRUE(hasSavedAppearance(folder));
    EXPECT_EQ(readFileBytes(folder / "config.txt"), first.head);
    EXPECT_EQ(readFileBytes(folder / "config1.txt"), first.bodyStyle);
    // The second start reads what the first one stored.
    EXPECT_EQ(loadReaderAppearance(folder, ReaderTemplates::initial()), first);
}

TEST(ReaderThemes, OldAppearanceLoadsUnchanged) {
    TempDir temp;
    const fs::path folder = temp.path();
    const ReaderTemplates old = ReaderTemplates::initial();  // #660000 on black
    ASSERT_FALSE(writeFileAtomically(folder / "config.txt", old.head));
    ASSERT_FALSE(writeFileAtomically(folder / "config1.txt", old.bodyStyle));
    ASSERT_FALSE(writeFileAtomically(folder / "config2.txt", old.script));
    const ReaderTemplates loaded = loadReaderAppearance(folder, old);
    EXPECT_EQ(loaded, old);
    EXPECT_EQ(themeOf(styleOf(loaded)), nullptr);
    EXPECT_EQ(readFileBytes(folder / "config.txt"), old.head);

    // One file left from an earlier version is enough: the missing ones are seeded as before,
    // never in a theme's colours that would clash with the saved text colour.
    TempDir partial;
    ASSERT_FALSE(writeFileAtomically(partial.path() / "config.txt", old.head));
    EXPECT_EQ(loadReaderAppearance(partial.path(), old), old);
    EXPECT_EQ(readFileBytes(partial.path() / "config1.txt"), old.bodyStyle);
}

}  // namespace
}  // namespace novel
