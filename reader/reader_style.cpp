#include "reader/reader_style.h"

#include <array>
#include <utility>

#include "reader/chapter.h"
#include "web/file_io.h"
#include "web/gbk.h"

namespace novel {
namespace fs = std::filesystem;

namespace {

template <size_t N>
Text valueAt(const std::array<Text, N>& values, int index) {
    return index >= 0 && static_cast<size_t>(index) < N ? values[static_cast<size_t>(index)]
                                                        : Text();
}

fs::path fileIn(const fs::path& folder, std::string_view name) {
    return folder / fs::path(name);
}

// The file's text, or nothing when the file does not exist.
std::optional<Text> readExistingFile(const fs::path& file) {
    std::error_code ec;
    if (!fs::exists(file, ec)) return std::nullopt;
    return readTextFile(file);
}

struct TemplateFile {
    std::string_view name;
    Text ReaderTemplates::*text;
};
constexpr TemplateFile kTemplateFiles[] = {{kHeadTemplateFile, &ReaderTemplates::head},
                                           {kBodyStyleTemplateFile, &ReaderTemplates::bodyStyle},
                                           {kScriptTemplateFile, &ReaderTemplates::script}};

}  // namespace

ReaderTemplates ReaderTemplates::initial() {
    return {Text(kPageHeadTemplate), Text(kPageBodyStyleTemplate), Text(kPageScriptTemplate)};
}

const Text& ReaderStyle::operator[](StyleSetting setting) const {
    switch (setting) {
        case StyleSetting::Background:
            return background;
        case StyleSetting::FontFamily:
            return fontFamily;
        case StyleSetting::TextColor:
            return textColor;
        case StyleSetting::FontSize:
            return fontSize;
        case StyleSetting::ScrollInterval:
            break;
    }
    return scrollInterval;
}

Text& ReaderStyle::operator[](StyleSetting setting) {
    return const_cast<Text&>(std::as_const(*this)[setting]);
}

Text backgroundColorValue(int index) {
    static const std::array<Text, 11> values = {"#FFffff", "#000000", "#e4ebf1", "#e6f3ff",
                                                "#eeeeee", "#eaeaea", "#e4e1d8", "#e6e6e6",
                                                "#eefaee", "#ffffed", "#CD5C5C"};
    return valueAt(values, index);
}

Text fontFamilyValue(int index) {
    static const std::array<Text, 6> values = {toGbk("宋体"), toGbk("黑体"),   toGbk("楷体"),
                                               toGbk("仿宋"), toGbk("新宋体"), toGbk("微软雅黑")};
    return valueAt(values, index);
}

Text textColorValue(int index) {
    static const std::array<Text, 6> values = {"000000", "ffffff", "ff0000",
                                               "006600", "0000ff", "660000"};
    return valueAt(values, index);
}

namespace {

int indexOf(Text (*valueAt)(int), std::string_view value) {
    const Text wanted = lowerAscii(trimBlanks(value));
    if (wanted.empty()) return -1;
    for (int index = 0;; ++index) {
        const Text item = valueAt(index);
        if (item.empty()) return -1;
        if (lowerAscii(item) == wanted) return index;
    }
}

}  // namespace

int backgroundColorIndex(std::string_view value) {
    return indexOf(&backgroundColorValue, value);
}

int fontFamilyIndex(std::string_view value) {
    return indexOf(&fontFamilyValue, value);
}

int textColorIndex(std::string_view value) {
    return indexOf(&textColorValue, value);
}

StyleMarkers markersOf(StyleSetting setting) {
    switch (setting) {
        case StyleSetting::Background:
            return {"background-color:", ";"};
        case StyleSetting::FontFamily:
            return {"font-family: ", ";"};
        case StyleSetting::TextColor:
            return {"color:#", ";"};
        case StyleSetting::FontSize:
            return {"font-size:", "px"};
        case StyleSetting::ScrollInterval:
            break;
    }
    return {"scrollwindow ()\",", ")"};
}

const Text& templateOf(const ReaderTemplates& templates, StyleSetting setting) {
    switch (setting) {
        case StyleSetting::Background:
            return templates.bodyStyle;
        case StyleSetting::ScrollInterval:
            return templates.script;
        default:
            return templates.head;
    }
}

Text& templateOf(ReaderTemplates& templates, StyleSetting setting) {
    return const_cast<Text&>(templateOf(std::as_const(templates), setting));
}

ReaderStyle styleOf(const ReaderTemplates& templates) {
    ReaderStyle style;
    for (StyleSetting setting : kStyleSettings) {
        const StyleMarkers markers = markersOf(setting);
        style[setting] = textBetween(templateOf(templates, setting), markers.left, markers.right);
    }
    return style;
}

Text replaceBetweenMarkers(std::string_view text, std::string_view left, std::string_view right,
                           std::string_view value) {
    const int leftAt = findText(text, left);
    if (leftAt < 0) return Text(text);
    const int valueAt = leftAt + static_cast<int>(left.size());
    const int rightAt = findText(text, right, valueAt);
    if (rightAt < 0) return Text(text);
    const size_t begin = static_cast<size_t>(valueAt - 1);
    const size_t end = static_cast<size_t>(rightAt - 1);
    return concatTexts(text.substr(0, begin), value, text.substr(end));
}

bool canStoreValue(StyleSetting setting, std::string_view value) {
    return findText(value, markersOf(setting).right) < 0 &&
           value.find_first_of("\r\n") == std::string_view::npos;
}

std::optional<ReaderTemplates> applyReaderStyle(const ReaderTemplates& templates,
                                                const ReaderStyle& style, StyleSetting* refused) {
    ReaderTemplates out = templates;
    for (StyleSetting setting : kStyleSettings) {
        if (!canStoreValue(setting, style[setting])) {
            if (refused) *refused = setting;
            return std::nullopt;
        }
        const StyleMarkers markers = markersOf(setting);
        Text& text = templateOf(out, setting);
        text = replaceBetweenMarkers(text, markers.left, markers.right, style[setting]);
    }
    return out;
}

ReaderTemplates loadReaderTemplates(const fs::path& folder, const ReaderTemplates& current) {
    std::error_code ignored;
    fs::create_directories(folder, ignored);
    ReaderTemplates loaded = current;
    for (const TemplateFile& file : kTemplateFiles) {
        const fs::path path = fileIn(folder, file.name);
        if (!fs::exists(path, ignored)) writeFileAtomically(path, current.*file.text);
    }
    for (const TemplateFile& file : kTemplateFiles) {
        if (auto text = readExistingFile(fileIn(folder, file.name))) loaded.*file.text = *text;
    }
    return loaded;
}

StyleSave saveReaderStyle(const fs::path& folder, const ReaderTemplates& current,
                          const ReaderStyle& chosen) {
    StyleSave save;
    save.templates = current;
    // Another copy of the program may have saved since this one loaded.
    if (auto head = readExistingFile(fileIn(folder, kHeadTemplateFile)))
        save.templates.head = *head;

    StyleSetting refused{};
    const std::optional<ReaderTemplates> styled =
        applyReaderStyle(save.templates, chosen, &refused);
    if (!styled) {
        save.refused = refused;
        return save;
    }
    // Each template changes only once its file holds it, so the working copy never claims a
    // style the files do not have.
    for (const TemplateFile& file : kTemplateFiles) {
        const fs::path path = fileIn(folder, file.name);
        save.error = writeFileAtomically(path, (*styled).*file.text);
        if (save.error) {
            save.failedFile = path;
            break;
        }
        save.templates.*file.text = (*styled).*file.text;
    }
    return save;
}

std::error_code writeReaderPage(const fs::path& file, const ReaderTemplates& templates,
                                std::string_view chapterTitle, std::string_view chapterText,
                                const ReaderLayout& layout) {
    // Written anew for every chapter shown: a chapter switch need not wait for the disk.
    return writeFileAtomically(file,
                               buildReaderPage(templates.head, templates.bodyStyle,
                                               templates.script, chapterTitle, chapterText, layout),
                               false);
}

}  // namespace novel
