#pragma once
// The reader's settings that the page templates do not hold (the auto-advance interval, and what
// later versions add), kept in "reader.ini" beside the templates: UTF-8 "key = value" lines. Keys
// this version does not know are kept as they were, so an older program never drops what a newer
// one saved.

#include <filesystem>
#include <map>
#include <string>
#include <string_view>
#include <system_error>

#include "reader/reader_layout.h"

namespace novel {

inline constexpr std::string_view kReaderSettingsFile = "reader.ini";
inline constexpr std::string_view kDefaultAutoNextInterval = "20000";

class ReaderSettings {
  public:
    // The value of `key`, or `fallback` when the file did not hold it.
    std::string value(std::string_view key, std::string_view fallback = {}) const;
    // A value is one line of text; line breaks and control bytes are dropped.
    void setValue(std::string_view key, std::string_view value);
    bool contains(std::string_view key) const;
    const std::map<std::string, std::string, std::less<>>& values() const { return values_; }

    std::string autoNextInterval() const {
        return value("auto_next_interval", kDefaultAutoNextInterval);
    }
    void setAutoNextInterval(std::string_view text) { setValue("auto_next_interval", text); }

    // The reading theme last chosen (UTF-8), empty when none was or the name is no theme's. The
    // page's colours live in the templates; themeOf tells whether they still are this theme's.
    std::string theme() const;
    void setTheme(std::string_view name);

    // The text layout; a value that is missing, no number or out of its range reads as its
    // default, and one stored out of range is stored as its default.
    ReaderLayout layout() const;
    void setLayout(const ReaderLayout& layout);
    // Reading aloud: the rate from -1 (slowest) to 1 (fastest), 0 when unset or unreadable, and
    // the voice's name (empty: the engine's choice).
    double speechRate() const;
    void setSpeechRate(double rate);
    std::string speechVoice() const { return value("speech_voice"); }
    void setSpeechVoice(std::string_view name) { setValue("speech_voice", name); }

    friend bool operator==(const ReaderSettings&, const ReaderSettings&) = default;

  private:
    std::map<std::string, std::string, std::less<>> values_;
};

// Reads settings text; malformed lines, comments and values that are no text are skipped.
ReaderSettings parseReaderSettings(std::string_view text);
std::string formatReaderSettings(const ReaderSettings& settings);

// The settings of `folder`; defaults when the file is missing or unreadable.
ReaderSettings readReaderSettingsFile(const std::filesystem::path& folder);
// Writes the file whole through a temporary file, so a crash never leaves half of it.
std::error_code writeReaderSettingsFile(const std::filesystem::path& folder,
                                        const ReaderSettings& settings);

}  // namespace novel
