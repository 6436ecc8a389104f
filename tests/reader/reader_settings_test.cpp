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
