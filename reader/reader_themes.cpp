#include "reader/reader_themes.h"

#include <algorithm>
#include <array>
#include <cmath>

namespace novel {
namespace fs = std::filesystem;
namespace {

// Text at 7:1 or more against its page (the unit tests check it); hints at 4.5:1 or more.
constexpr std::array<ReaderTheme, 4> kThemes = {{
    // Dark grey on off-white rather than black on white: less glare, still about 15:1.
    {"日间", "#FAF8F2", "#222222", "#666666"},
    // Light grey on near-black: white text on black glows at night.
    {"夜间", "#121212", "#BDBDBD", "#8A8A8A"},
    // The pale green eye-care page readers know, with dark green text.
    {"护眼", "#CCE8CF", "#1F3A24", "#4A6650"},
    // Dark brown on a warm paper tone.
    {"纸张", "#F3E9D2", "#4A3222", "#7A6148"},
}};

int hexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

double linearChannel(uint8_t channel) {
    const double c = channel / 255.0;
    return c <= 0.04045 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4);
}

bool sameColor(std::string_view a, std::string_view b) {
    const std::optional<Rgb> left = parseHexColor(a);
    return left && left == parseHexColor(b);
}

}  // namespace

std::span<const ReaderTheme> readerThemes() {
    return kThemes;
}

const ReaderTheme* findReaderTheme(std::string_view name) {
    for (const ReaderTheme& theme : kThemes)
        if (theme.name == name) return &theme;
    return nullptr;
}

std::optional<Rgb> parseHexColor(std::string_view value) {
    const Text trimmed = trimBlanks(value);
    std::string_view text = trimmed;
    if (text.starts_with('#')) text.remove_prefix(1);
    if (text.size() != 3 && text.size() != 6) return std::nullopt;
    std::array<int, 6> digits{};
    for (size_t i = 0; i < text.size(); ++i) {
        digits[i] = hexDigit(text[i]);
        if (digits[i] < 0) return std::nullopt;
    }
    const auto channel = [&](size_t i) {
        return static_cast<uint8_t>(text.size() == 3 ? digits[i] * 17
                                                     : digits[2 * i] * 16 + digits[2 * i + 1]);
    };
    return Rgb{channel(0), channel(1), channel(2)};
}

double relativeLuminance(Rgb color) {
    return 0.2126 * linearChannel(color.red) + 0.7152 * linearChannel(color.green) +
           0.0722 * linearChannel(color.blue);
}

double contrastRatio(Rgb a, Rgb b) {
    const double la = relativeLuminance(a), lb = relativeLuminance(b);
    return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

ReaderTemplates applyTheme(const ReaderTemplates& templates, const ReaderTheme& theme) {
    // Only the two colours are replaced: a hand-edited value elsewhere that the style could not
    // store again must not stop the theme.
    ReaderTemplates out = templates;
    const auto put = [&](StyleSetting setting, std::string_view value) {
        const StyleMarkers markers = markersOf(setting);
        Text& text = templateOf(out, setting);
        text = replaceBetweenMarkers(text, markers.left, markers.right, value);
    };
    put(StyleSetting::Background, theme.background);
    // The template holds the text colour after its own "#".
    put(StyleSetting::TextColor, theme.text.substr(1));
    return out;
}

const ReaderTheme* themeOf(const ReaderStyle& style) {
    for (const ReaderTheme& theme : kThemes)
        if (sameColor(style.background, theme.background) && sameColor(style.textColor, theme.text))
            return &theme;
    return nullptr;
}

ReaderTemplates firstStartTemplates() {
    ReaderTemplates templates = applyTheme(ReaderTemplates::initial(), kThemes.front());
    const StyleMarkers size = markersOf(StyleSetting::FontSize);
    templates.head =
        replaceBetweenMarkers(templates.head, size.left, size.right, kFirstStartFontSize);
    return templates;
}

bool hasSavedAppearance(const fs::path& folder) {
    std::error_code ec;
    for (std::string_view name : {kHeadTemplateFile, kBodyStyleTemplateFile, kScriptTemplateFile})
        if (fs::exists(folder / fs::path(name), ec)) return true;
    return false;
}

ReaderTemplates loadReaderAppearance(const fs::path& folder, const ReaderTemplates& current) {
    return loadReaderTemplates(folder,
                               hasSavedAppearance(folder) ? current : firstStartTemplates());
}

}  // namespace novel
