#pragma once
// How the reader sets the chapter text: a column of at most `measure` characters, centred in the
// view, paragraphs justified with a two-character first-line indent as Chinese books set them.
// These rules go into the generated page only, so the template files keep their format.

#include <string>
#include <string_view>

#include "web/text.h"

namespace novel {

struct ReaderLayout {
    int measure = 36;               // characters per line at most (the column's width in em)
    double lineHeight = 1.8;        // times the font size
    double paragraphSpacing = 0.5;  // space between paragraphs, in em

    static constexpr int kMinMeasure = 16, kMaxMeasure = 80;
    static constexpr double kMinLineHeight = 1.0, kMaxLineHeight = 3.0;
    static constexpr double kMinParagraphSpacing = 0.0, kMaxParagraphSpacing = 3.0;

    friend bool operator==(const ReaderLayout&, const ReaderLayout&) = default;
};

// Each value outside its range (or not a number) replaced by its default; the decimals rounded
// to hundredths.
ReaderLayout validLayout(const ReaderLayout& layout);

// A number as CSS and reader.ini write it: no exponent, no trailing zeros, "." as the point.
std::string formatDecimal(double value);

// The style block that sets the page's "<center>" as the text column and its paragraphs as a
// book's (the layout validated first). The chapter title, outside any paragraph, stays centred.
Text readerLayoutStyle(const ReaderLayout& layout);

}  // namespace novel
