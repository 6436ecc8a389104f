#include "reader/reader_settings.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <string>

#include "reader/reader_themes.h"
#include "web/file_io.h"
#include "web/gbk.h"
#include "web/text.h"

namespace novel {
namespace {

// Keys are plain identifiers, so a hand-edited or damaged file can never inject a line.
bool isKey(std::string_view key) {
    if (key.empty() || key.size() > 64) return false;
    for (char c : key)
        if (!((c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_')) return false;
    return true;
}

std::string cleanValue(std::string_view value) {
    std::string out;
    for (char c : value) {
        const auto b = static_cast<unsigned char>(c);
        if ((b < 0x20 && b != '\t') || b == 0x7F) continue;
        out.push_back(c);
    }
    return isValidUtf8(out) ? std::string(trimAsciiSpace(out)) : std::string();
}

constexpr std::string_view kThemeKey = "theme";
constexpr std::string_view kMeasureKey = "measure";
constexpr std::string_view kLineHeightKey = "line_height";
constexpr std::string_view kParagraphSpacingKey = "paragraph_spacing";

// The whole of `text` as a number; `fallback` when it is anything else ("1.8em", "", "nan").
template <typename Number>
Number numberOr(std::string_view text, Number fallback) {
    Number number{};
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), number);
    return error == std::errc() && end == text.data() + text.size() ? number : fallback;
}

}  // namespace

std::string ReaderSettings::theme() const {
    const std::string name = value(kThemeKey);
    return findReaderTheme(name) ? name : std::string();
}

void ReaderSettings::setTheme(std::string_view name) {
    setValue(kThemeKey, findReaderTheme(name) ? name : std::string_view());
}

ReaderLayout ReaderSettings::layout() const {
    // A value no number reads as one out of range, so validLayout gives its default.
    ReaderLayout read;
    read.measure = numberOr(value(kMeasureKey), -1);
    read.lineHeight = numberOr(value(kLineHeightKey), -1.0);
    read.paragraphSpacing = numberOr(value(kParagraphSpacingKey), -1.0);
    return validLayout(read);
}

void ReaderSettings::setLayout(const ReaderLayout& wanted) {
    const ReaderLayout layout = validLayout(wanted);
    setValue(kMeasureKey, std::to_string(layout.measure));
    setValue(kLineHeightKey, formatDecimal(layout.lineHeight));
    setValue(kParagraphSpacingKey, formatDecimal(layout.paragraphSpacing));
}

std::string ReaderSettings::value(std::string_view key, std::string_view fallback) const {
    const auto it = values_.find(key);
    return it == values_.end() ? std::string(fallback) : it->second;
}

void ReaderSettings::setValue(std::string_view key, std::string_view value) {
    if (!isKey(key)) return;
    values_[std::string(key)] = cleanValue(value);
}

double ReaderSettings::speechRate() const {
    const std::string text = value("speech_rate");
    double rate = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), rate);
    if (error != std::errc() || end != text.data() + text.size() || !std::isfinite(rate)) return 0;
    return std::clamp(rate, -1.0, 1.0);
}

void ReaderSettings::setSpeechRate(double rate) {
    if (!std::isfinite(rate)) rate = 0;
    char buffer[16];
    const auto [end, error] = std::to_chars(buffer, buffer + sizeof buffer,
                                            std::round(std::clamp(rate, -1.0, 1.0) * 100) / 100,
                                            std::chars_format::fixed, 2);
    if (error == std::errc()) setValue("speech_rate", std::string_view(buffer, end - buffer));
}

bool ReaderSettings::contains(std::string_view key) const {
    return values_.find(key) != values_.end();
}

ReaderSettings parseReaderSettings(std::string_view text) {
    ReaderSettings settings;
    while (!text.empty()) {
        const size_t end = text.find('\n');
        const std::string_view line = trimAsciiSpace(text.substr(0, end));
        text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
        if (line.empty() || line.front() == '#') continue;
        const size_t eq = line.find('=');
        if (eq == std::string_view::npos) continue;
        const std::string_view value = trimAsciiSpace(line.substr(eq + 1));
        if (!isValidUtf8(value)) continue;
        settings.setValue(trimAsciiSpace(line.substr(0, eq)), value);
    }
    return settings;
}

std::string formatReaderSettings(const ReaderSettings& settings) {
    std::string out;
    for (const auto& [key, value] : settings.values()) out += key + " = " + value + "\n";
    return out;
}

ReaderSettings readReaderSettingsFile(const std::filesystem::path& folder) {
    return parseReaderSettings(readTextFile(folder / std::filesystem::path(kReaderSettingsFile)));
}

std::error_code writeReaderSettingsFile(const std::filesystem::path& folder,
                                        const ReaderSettings& settings) {
    return writeFileAtomically(folder / std::filesystem::path(kReaderSettingsFile),
                               formatReaderSettings(settings));
}

}  // namespace novel
