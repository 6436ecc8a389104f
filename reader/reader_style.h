#pragma once
// The reader's appearance. The settings are not stored on their own: each lives inside one of the
// three page templates, between two fixed markers, and the templates are stored verbatim in the
// html folder (config.txt, config1.txt, config2.txt) beside ReaderPage (web.html).

#include <filesystem>
#include <optional>
#include <string_view>
#include <system_error>

#include "reader/reader_layout.h"
#include "web/text.h"

namespace novel {

inline constexpr std::string_view kHeadTemplateFile = "config.txt";
inline constexpr std::string_view kBodyStyleTemplateFile = "config1.txt";
inline constexpr std::string_view kScriptTemplateFile = "config2.txt";
inline constexpr std::string_view kReaderPageFile = "web.html";

// The working copy of the three templates (the hidden boxes of ReaderWindow).
struct ReaderTemplates {
    Text head;       // PageHeadTemplate: font family, size and text colour
    Text bodyStyle;  // PageBodyStyleTemplate: background colour
    Text script;     // PageScriptTemplate: the scrolling script and its interval

    static ReaderTemplates initial();
    friend bool operator==(const ReaderTemplates&, const ReaderTemplates&) = default;
};

enum class StyleSetting { Background, FontFamily, TextColor, FontSize, ScrollInterval };
inline constexpr StyleSetting kStyleSettings[] = {
    StyleSetting::Background, StyleSetting::FontFamily, StyleSetting::TextColor,
    StyleSetting::FontSize, StyleSetting::ScrollInterval};

// One value per setting, as it stands in the templates (text colour without its "#").
struct ReaderStyle {
    Text background;
    Text fontFamily;
    Text textColor;
    Text fontSize;
    Text scrollInterval;

    const Text& operator[](StyleSetting setting) const;
    Text& operator[](StyleSetting setting);
    friend bool operator==(const ReaderStyle&, const ReaderStyle&) = default;
};

// The values behind the items of the three combo boxes; empty for an index outside the list.
Text backgroundColorValue(int index);
Text fontFamilyValue(int index);
Text textColorValue(int index);
// The item index whose value is `value` (letter case ignored), -1 when no item has it: the reverse
// of the three functions above, so the toolbar can show what the templates hold.
int backgroundColorIndex(std::string_view value);
int fontFamilyIndex(std::string_view value);
int textColorIndex(std::string_view value);

struct StyleMarkers {
    std::string_view left;
    std::string_view right;
};
StyleMarkers markersOf(StyleSetting setting);

// The template a setting lives in.
const Text& templateOf(const ReaderTemplates& templates, StyleSetting setting);
Text& templateOf(ReaderTemplates& templates, StyleSetting setting);

// The settings as the templates hold them; a setting whose markers are missing reads as empty.
ReaderStyle styleOf(const ReaderTemplates& templates);

// `text` with the value between the first `left` and the next `right` after it replaced by
// `value`; nothing else in the text is touched. Unchanged when either marker is missing.
Text replaceBetweenMarkers(std::string_view text, std::string_view left, std::string_view right,
                           std::string_view value);

// A value that holds its own right marker or a line break could not be found again between its
// markers by the next save; such a value is refused.
bool canStoreValue(StyleSetting setting, std::string_view value);

// The templates with every setting replaced between its markers, or nothing when a value cannot
// be stored (`refused`, when given, names the first such setting).
std::optional<ReaderTemplates> applyReaderStyle(const ReaderTemplates& templates,
                                                const ReaderStyle& style,
                                                StyleSetting* refused = nullptr);

// Seeds each missing configuration file of `folder` with its template from `current` (making the
// folder first), then reads the files back. A file that still does not exist (the folder is not
// writable) leaves its template as it is in `current`; a file that exists but is empty makes its
// template empty.
ReaderTemplates loadReaderTemplates(const std::filesystem::path& folder,
                                    const ReaderTemplates& current);

// Saving the style: config.txt is read again, the chosen values go between their markers and the
// three files are written, each whole through a temporary file.
struct StyleSave {
    ReaderTemplates templates;            // the working copy after the save, equal to the files
    std::optional<StyleSetting> refused;  // a value that cannot be stored; nothing was written
    std::filesystem::path failedFile;     // the first file that could not be written
    std::error_code error;                // why it could not be written

    bool succeeded() const { return !refused && !error; }
};
StyleSave saveReaderStyle(const std::filesystem::path& folder, const ReaderTemplates& current,
                          const ReaderStyle& chosen);

// Writes ReaderPage whole, as buildReaderPage builds it.
std::error_code writeReaderPage(const std::filesystem::path& file, const ReaderTemplates& templates,
                                std::string_view chapterTitle, std::string_view chapterText,
                                const ReaderLayout& layout = {});

}  // namespace novel
