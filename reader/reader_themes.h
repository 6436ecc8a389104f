#pragma once
// Reading themes: named pairs of page colours, each readable for long stretches (contrast of the
// text against the page at least 7:1). A theme is no setting of its own in the templates: choosing
// one writes its colours where the toolbar's colour choices go, so the template files keep their
// format and an older program still shows the same page.

#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>
#include <string_view>

#include "reader/reader_style.h"

namespace novel {

struct ReaderTheme {
    std::string_view name;        // UTF-8, as the theme box shows it
    std::string_view background;  // "#rrggbb", the page
    std::string_view text;        // "#rrggbb", the chapter text
    std::string_view hint;        // "#rrggbb", secondary text on the page colour (progress, notes)
};

inline constexpr std::string_view kDayTheme = "日间";

// Every theme, in the order the theme box lists them; the first is the one of a first start.
std::span<const ReaderTheme> readerThemes();
// The theme called `name` (UTF-8), or null.
const ReaderTheme* findReaderTheme(std::string_view name);

struct Rgb {
    uint8_t red = 0, green = 0, blue = 0;
    friend bool operator==(const Rgb&, const Rgb&) = default;
};

// A hexadecimal colour, "#rrggbb" or "#rgb", the "#" optional, either letter case; nothing for
// anything else.
std::optional<Rgb> parseHexColor(std::string_view text);
// WCAG relative luminance, 0 (black) to 1 (white).
double relativeLuminance(Rgb color);
// WCAG contrast ratio of two colours, 1 to 21, in either order.
double contrastRatio(Rgb a, Rgb b);

// The templates with the theme's page and text colours between their markers; everything else,
// the other settings included, untouched.
ReaderTemplates applyTheme(const ReaderTemplates& templates, const ReaderTheme& theme);

// The theme whose colours the style holds (colours compared by value, so "#FFF" is "#ffffff"),
// or null when the user's colours are no theme's.
const ReaderTheme* themeOf(const ReaderStyle& style);

// The templates of a first start: the initial ones in the first theme's colours and a size that
// reads well on today's screens.
inline constexpr std::string_view kFirstStartFontSize = "20";
ReaderTemplates firstStartTemplates();

// Whether `folder` holds any of the three template files, i.e. an appearance was saved before.
bool hasSavedAppearance(const std::filesystem::path& folder);

// loadReaderTemplates, seeding a folder that holds no template file yet with firstStartTemplates.
// A folder with any of the files loads exactly as before: missing files are seeded from
// `current`, so an appearance saved by an earlier version never changes its colours.
ReaderTemplates loadReaderAppearance(const std::filesystem::path& folder,
                                     const ReaderTemplates& current);

}  // namespace novel
