// The reader's own settings file: what it keeps, what it drops, and that a kill never leaves it
// half written.

#include "reader/reader_settings.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "support/kill_during.h"
#include "support/temp_dir.h"
#include "web/file_io.h"

namespace novel {
namespace {

TEST(ReaderSettings, DefaultsAndRoundTrip) {
    const ReaderSettings empty = parseReaderSettings("");
    EXPECT_EQ(empty.autoNextInterval(), "20000");
    EXPECT_FALSE(empty.contains("auto_next_interval"));

    ReaderSettings settings;
    settings.setAutoNextInterval("15000");
    settings.setValue("theme", "夜间");
    const ReaderSettings read = parseReaderSettings(formatReaderSettings(settings));
    EXPECT_EQ(read, settings);
    EXPECT_EQ(read.autoNextInterval(), "15000");
    EXPECT_EQ(read.value("theme"), "夜间");
}

// A newer version's keys survive an older one's save; damage is skipped, never guessed at.
TEST(ReaderSettings, UnknownKeysKeptDamageSkipped) {
    const ReaderSettings read = parseReaderSettings(
        "# a comment\n"
        "auto_next_interval = 9000\r\n"
        "line_height = 1.8\n"
        "no equals sign\n"
        "Upper = ignored\n"
        "broken = \xFF\xFE\n"
        " = nothing\n");
    EXPECT_EQ(read.autoNextInterval(), "9000");
    EXPECT_EQ(read.value("line_height"), "1.8");
    EXPECT_FALSE(read.contains("broken"));
    EXPECT_EQ(read.values().size(), 2u);
}

// A value typed by the user can never become a second line of the file.
TEST(ReaderSettings, ValuesStayOnOneLine) {
    ReaderSettings settings;
    settings.setAutoNextInterval("1\nauto_next_interval = 5");
    settings.setValue("bad key!", "x");
    const std::string text = formatReaderSettings(settings);
    EXPECT_EQ(text, "auto_next_interval = 1auto_next_interval = 5\n");
    EXPECT_EQ(parseReaderSettings(text), settings);
}

TEST(ReaderSettings, ThemeAndLayout) {
    const ReaderSettings empty;
    EXPECT_EQ(empty.theme(), "");
    EXPECT_EQ(empty.layout(), ReaderLayout{});
    EXPECT_EQ(empty.layout().measure, 36);
    EXPECT_DOUBLE_EQ(empty.layout().lineHeight, 1.8);

    ReaderSettings settings;
    settings.setTheme("护眼");
    settings.setLayout({30, 2.0, 1.25});
    const std::string text = formatReaderSettings(settings);
    EXPECT_NE(text.find("theme = 护眼\n"), std::string::npos);
    EXPECT_NE(text.find("measure = 30\n"), std::string::npos);
    EXPECT_NE(text.find("line_height = 2\n"), std::string::npos);
    EXPECT_NE(text.find("paragraph_spacing = 1.25\n"), std::string::npos);
    const ReaderSettings read = parseReaderSettings(text);
    EXPECT_EQ(read.theme(), "护眼");
    EXPECT_EQ(read.layout(), (ReaderLayout{30, 2.0, 1.25}));

    // Unknown themes and out-of-range or damaged numbers read as the defaults, each on its own.
    const ReaderSettings damaged = parseReaderSettings(
        "theme = sepia\nmeasure = 500\nline_height = 1.8em\nparagraph_spacing = 0\n");
    EXPECT_EQ(damaged.theme(), "");
    EXPECT_EQ(damaged.layout(), (ReaderLayout{36, 1.8, 0.0}));
    for (std::string_view bad : {"", "nan", "inf", "-1", "0x10", " ", "3.01", "1e9"}) {
        ReaderSettings one;
        one.setValue("line_height", bad);
        one.setValue("measure", bad);
        EXPECT_EQ(one.layout(), ReaderLayout{}) << bad;
    }
    EXPECT_EQ(parseReaderSettings("measure = 16\nline_height = 3\n").layout(),
              (ReaderLayout{16, 3.0, 0.5}));
    EXPECT_EQ(parseReaderSettings("measure = 15\nline_height = 0.99\n").layout(), ReaderLayout{});

    // What cannot be read back is not stored either; other keys stay.
    ReaderSettings stored;
    stored.setAutoNextInterval("9000");
    stored.setTheme("no such theme");
    stored.setLayout({9, -1.0, 1.0 / 3});
    EXPECT_EQ(stored.theme(), "");
    EXPECT_EQ(stored.value("measure"), "36");
    EXPECT_EQ(stored.value("paragraph_spacing"), "0.33");
    EXPECT_EQ(stored.autoNextInterval(), "9000");
}

TEST(ReaderSettings, FileSurvivesAKillAtAnyMoment) {
    test::TempDir dir;
    const std::filesystem::path folder = dir.path();
    ReaderSettings first;
    first.setAutoNextInterval("1000");
    ASSERT_FALSE(writeReaderSettingsFile(folder, first));
    bool ok = test::killDuringWrites(
        [&](int i) {
            ReaderSettings settings;
            settings.setAutoNextInterval(std::to_string(1000 + i));
            settings.setValue("padding", std::string(4000, 'x'));
            writeReaderSettingsFile(folder, settings);
        },
        [&] {
            const ReaderSettings left = readReaderSettingsFile(folder);
            // Either the first file or a whole later one, never a piece.
            const std::string interval = left.autoNextInterval();
            EXPECT_TRUE(interval == "1000" || left.value("padding").size() == 4000) << interval;
            EXPECT_GE(std::stoi(interval), 1000);
        });
    EXPECT_TRUE(ok);
}

}  // namespace
}  // namespace novel

namespace novel {
namespace {

TEST(ReaderSettingsSpeech, RateAndVoiceRoundTripAndBadValuesReadAsDefault) {
    ReaderSettings s =
        parseReaderSettings("speech_rate = 0.5\nspeech_voice = Chinese (Mandarin)\nx = 1\n");
    EXPECT_DOUBLE_EQ(s.speechRate(), 0.5);
    EXPECT_EQ(s.speechVoice(), "Chinese (Mandarin)");
    s.setSpeechRate(7);
    EXPECT_EQ(s.value("speech_rate"), "1.00");
    s.setSpeechRate(-0.333);
    EXPECT_EQ(parseReaderSettings(formatReaderSettings(s)).speechRate(), -0.33);
    EXPECT_EQ(s.value("x"), "1");
    for (const char* bad : {"fast", "0.5x", "nan", ""})
        EXPECT_EQ(parseReaderSettings(std::string("speech_rate = ") + bad).speechRate(), 0) << bad;
}

}  // namespace
}  // namespace novel
