#include "reader/reader_layout.h"

#include <charconv>
#include <cmath>

namespace novel {
namespace {

double validDecimal(double value, double low, double high, double fallback) {
    if (!std::isfinite(value) || value < low || value > high) return fallback;
    return std::round(value * 100) / 100;
}

}  // namespace

ReaderLayout validLayout(const ReaderLayout& layout) {
    const ReaderLayout defaults;
    ReaderLayout out;
    out.measure =
        layout.measure >= ReaderLayout::kMinMeasure && layout.measure <= ReaderLayout::kMaxMeasure
            ? layout.measure
            : defaults.measure;
    out.lineHeight = validDecimal(layout.lineHeight, ReaderLayout::kMinLineHeight,
                                  ReaderLayout::kMaxLineHeight, defaults.lineHeight);
    out.paragraphSpacing =
        validDecimal(layout.paragraphSpacing, ReaderLayout::kMinParagraphSpacing,
                     ReaderLayout::kMaxParagraphSpacing, defaults.paragraphSpacing);
    return out;
}

std::string formatDecimal(double value) {
    char buffer[64];
    const auto [end, error] =
        std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed);
    if (error != std::errc()) return "0";
    std::string out(buffer, end);
    return out == "-0" ? "0" : out;
}

Text readerLayoutStyle(const ReaderLayout& wanted) {
    const ReaderLayout layout = validLayout(wanted);
    // The templates end with "<center>", whose own rule centres every line; the column keeps it
    // only for the title and hands the paragraphs a book's alignment. "margin:auto" centres the
    // column in a wider view; "overflow-wrap" keeps a long Latin run (an address) inside it.
    return concatTexts(
        "<style type=\"text/css\">center{display:block;max-width:", std::to_string(layout.measure),
        "em;margin:0 auto;padding:0 1em;line-height:", formatDecimal(layout.lineHeight),
        ";text-align:center}center p{margin:0 0 ", formatDecimal(layout.paragraphSpacing),
        "em 0;text-indent:2em;text-align:justify;overflow-wrap:anywhere}</style>");
}

}  // namespace novel
