#include "web/text.h"

#include <algorithm>
#include <climits>
#include <cstring>
#include <functional>
#include <optional>

#include "web/regex_object.h"

#include "web/gbk.h"

namespace novel {
namespace {

CharScanner scannerFor(std::string_view text, const Marker& marker) {
    return CharScanner(text, marker.text(), marker.ignoreCase(), marker.filter());
}

bool isBlankAt(std::string_view text, size_t i) {
    unsigned char c = byteAt(text, i);
    return c == ' ' || (c == 0xA1 && i + 1 < text.size() && byteAt(text, i + 1) == 0xA1);
}

}  // namespace

int findText(std::string_view text, std::string_view sought, int start, bool ignoreCase) {
    if (sought.empty()) return text.empty() ? -1 : 1;
    if (start < 1) start = 1;
    if (static_cast<size_t>(start) > text.size()) return -1;
    CharScanner scanner(text, sought, ignoreCase);
    size_t from = scanner.advanceTo(0, static_cast<size_t>(start) - 1);
    size_t hit = scanner.find(from);
    return hit == std::string_view::npos ? -1 : static_cast<int>(hit) + 1;
}

int findTextBackwards(std::string_view text, std::string_view sought, int start, bool ignoreCase) {
    if (sought.empty()) return text.empty() ? -1 : 1;
    // An occurrence counts when it ends before `start` (1-based; default just after the end).
    const size_t limit = start < 0 ? text.size() + 1 : static_cast<size_t>(start);
    CharScanner scanner(text, sought, ignoreCase);
    int last = -1;
    for (size_t hit = scanner.find(0); hit != std::string_view::npos;
         hit = scanner.find(hit + charLengthAt(text, hit))) {
        if (hit + 1 + sought.size() > limit) break;
        last = static_cast<int>(hit) + 1;
    }
    return last;
}

namespace {

// The one replacement pass behind both forms of replaceText. `text` is read left to right;
// `emit(from, length)` copies unchanged text and `put()` writes one replacement, in order.
template <typename Emit, typename Put>
void replacePass(std::string_view text, std::string_view find, int start, int count,
                 bool caseSensitive, Emit&& emit, Put&& put) {
    CharScanner scanner(text, find, !caseSensitive);
    size_t copied = 0;  // text before this offset has been emitted
    size_t pos = scanner.advanceTo(0, static_cast<size_t>(start) - 1);
    for (int done = 0; count < 0 || done < count; ++done) {
        size_t hit = scanner.find(pos);
        if (hit == std::string_view::npos) break;
        pos = scanner.advanceTo(hit, hit + find.size());
        emit(copied, hit - copied);
        put();
        copied = hit + find.size();
    }
    emit(copied, text.size() - copied);
}

bool nothingToReplace(std::string_view text, std::string_view find, int& start, int count) {
    if (start < 1) start = 1;
    return find.empty() || count == 0 || static_cast<size_t>(start) > text.size();
}

}  // namespace

Text replaceText(std::string_view text, std::string_view find, std::string_view replacement,
                 int start, int count, bool caseSensitive) {
    if (nothingToReplace(text, find, start, count)) return Text(text);
    Text out;
    out.reserve(text.size());
    replacePass(
        text, find, start, count, caseSensitive,
        [&](size_t from, size_t length) { out.append(text.substr(from, length)); },
        [&] { out.append(replacement); });
    return out;
}

void replaceTextInPlace(Text* text, std::string_view find, std::string_view replacement, int start,
                        int count, bool caseSensitive) {
    if (nothingToReplace(*text, find, start, count)) return;
    if (replacement.size() > find.size()) {
        *text = replaceText(*text, find, replacement, start, count, caseSensitive);
        return;
    }
    // The text only shrinks, so the written part never overtakes the part still to be read.
    char* data = text->data();
    size_t written = 0;
    replacePass(
        *text, find, start, count, caseSensitive,
        [&](size_t from, size_t length) {
            if (written != from) std::memmove(data + written, data + from, length);
            written += length;
        },
        [&] {
            replacement.copy(data + written, replacement.size());
            written += replacement.size();
        });
    text->resize(written);
}

TextList splitText(std::string_view text, std::string_view separator, int maxPieces) {
    TextList pieces;
    if (text.empty()) return pieces;
    if (separator.empty()) {
        pieces.emplace_back(text);
        return pieces;
    }
    CharScanner scanner(text, separator, false);
    size_t begin = 0;
    while (begin < text.size() &&
           (maxPieces <= 0 || pieces.size() < static_cast<size_t>(maxPieces))) {
        size_t hit = scanner.find(begin);
        if (hit == std::string_view::npos) {
            pieces.emplace_back(text.substr(begin));
            break;
        }
        pieces.emplace_back(text.substr(begin, hit - begin));
        begin = scanner.advanceTo(hit, hit + separator.size());
    }
    return pieces;
}

std::string_view trimAsciiSpace(std::string_view text) {
    constexpr std::string_view kSpace = " \t\r\n\f\v";
    const size_t first = text.find_first_not_of(kSpace);
    if (first == std::string_view::npos) return {};
    return text.substr(first, text.find_last_not_of(kSpace) - first + 1);
}

Text trimBlanks(std::string_view text) {
    size_t begin = 0;
    while (begin < text.size() && isBlankAt(text, begin))
        begin += byteAt(text, begin) == ' ' ? 1 : 2;
    size_t end = begin;  // end of the last character that is not a blank
    for (size_t i = begin; i < text.size();) {
        size_t len = charLengthAt(text, i);
        if (!isBlankAt(text, i)) end = i + len;
        i += len;
    }
    return Text(text.substr(begin, end - begin));
}

Text removeBlanks(std::string_view text) {
    Text out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size();) {
        size_t len = charLengthAt(text, i);
        if (!isBlankAt(text, i)) out.append(text.substr(i, len));
        i += len;
    }
    return out;
}

Text leftBytes(std::string_view text, int n) {
    if (n <= 0) return {};
    return Text(text.substr(0, static_cast<size_t>(n)));
}

Text rightBytes(std::string_view text, int n) {
    if (n <= 0) return {};
    size_t k = std::min(text.size(), static_cast<size_t>(n));
    return Text(text.substr(text.size() - k));
}

Text midBytes(std::string_view text, int start, int n) {
    if (n <= 0 || start < 1 || static_cast<size_t>(start) > text.size()) return {};
    return Text(text.substr(static_cast<size_t>(start) - 1, static_cast<size_t>(n)));
}

Text lowerAscii(std::string_view text) {
    Text out(text);
    // Character by character: a trail byte that looks like a capital letter is left alone.
    for (size_t i = 0; i < out.size(); i += charLengthAt(out, i))
        out[i] = static_cast<char>(foldAscii(static_cast<unsigned char>(out[i])));
    return out;
}

int compareText(std::string_view a, std::string_view b) {
    int r = a.compare(b);
    return r < 0 ? -1 : (r > 0 ? 1 : 0);
}

int textToInteger(std::string_view text) {
    size_t i = 0;
    while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '-' || text[i] == '+')) negative = text[i++] == '-';
    long long value = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        value = value * 10 + (text[i] - '0');
        if (value > INT_MAX) {
            value = static_cast<long long>(INT_MAX) + (negative ? 1 : 0);
            break;
        }
    }
    return static_cast<int>(negative ? -value : value);
}

Text resolveQuotePlaceholder(std::string_view marker) {
    return replaceText(marker, kQuotePlaceholder, "\"", 1, -1, true);
}

namespace {

// The marker as a view, resolved into `buffer` only when it holds the quote placeholder (parsers
// cut thousands of fields a page; most markers need no copy).
std::string_view resolvedMarker(std::string_view marker, Text* buffer) {
    if (marker.size() < kQuotePlaceholder.size() ||
        marker.find(kQuotePlaceholder) == std::string_view::npos)
        return marker;
    *buffer = resolveQuotePlaceholder(marker);
    return *buffer;
}

// The piece between the first `left` at or after the character start `from` and the next `right`.
std::string_view cutBetween(std::string_view text, const CharScanner& left, size_t leftSize,
                            const CharScanner& right, size_t from) {
    const size_t p = left.find(from);
    if (p == std::string_view::npos) return {};
    const size_t begin = left.advanceTo(p, p + leftSize);
    const size_t q = right.find(begin);
    if (q == std::string_view::npos) return {};
    return text.substr(begin, q - begin);
}

}  // namespace

std::string_view viewBetween(std::string_view text, std::string_view left, std::string_view right,
                             int start, bool ignoreCase) {
    Text leftBuffer, rightBuffer;
    const std::string_view l = resolvedMarker(left, &leftBuffer);
    const std::string_view r = resolvedMarker(right, &rightBuffer);
    if (text.empty()) return {};
    const CharScanner leftScanner(text, l, ignoreCase);
    const size_t from = leftScanner.advanceTo(0, static_cast<size_t>(std::max(start, 1)) - 1);
    return cutBetween(text, leftScanner, l.size(), CharScanner(text, r, ignoreCase), from);
}

std::string_view viewBetween(std::string_view text, const Marker& left, const Marker& right) {
    if (text.empty()) return {};
    return cutBetween(text, scannerFor(text, left), left.text().size(), scannerFor(text, right), 0);
}

std::string_view viewBetween(std::string_view text, char left, char right) {
    size_t i = 0;
    while (i < text.size() && text[i] != left) i += charLengthAt(text, i);
    const size_t begin = ++i;
    while (i < text.size() && text[i] != right) i += charLengthAt(text, i);
    return i < text.size() ? text.substr(begin, i - begin) : std::string_view();
}

Marker::Marker(std::string_view gbk, bool ignoreCase)
    : text_(resolveQuotePlaceholder(gbk)),
      ignoreCase_(ignoreCase),
      filter_(ScanFilter::of(text_, ignoreCase)) {}

Text textBetween(std::string_view text, std::string_view left, std::string_view right, int start,
                 bool ignoreCase) {
    return Text(viewBetween(text, left, right, start, ignoreCase));
}

Text escapeForPattern(std::string_view marker) {
    static constexpr std::pair<std::string_view, std::string_view> kSteps[] = {
        {"?", "\\?"},    {"*", "\\*"}, {"+", "\\+"}, {"[", "\\["}, {"]", "\\]"},
        {"(", "\\("},    {")", "\\)"}, {"{", "\\{"}, {"}", "\\}"}, {kQuotePlaceholder, "\""},
        {"\r\n", "\\n"},
    };
    Text out(marker);
    for (const auto& [find, replacement] : kSteps)
        out = replaceText(out, find, replacement, 1, -1, true);
    return out;
}

namespace {

// The text a marker stands for when its pattern fragment has no regular-expression meaning left
// (no ".", "^", "$", "|" or "\\" at a character start): the marker itself, its CR LF as the LF
// the pattern would match. Empty when the marker needs the pattern engine.
std::optional<Text> literalMarker(std::string_view marker) {
    Text literal = replaceText(resolveQuotePlaceholder(marker), "\r\n", "\n", 1, -1, true);
    if (literal.empty()) return std::nullopt;
    size_t last = 0;
    for (size_t i = 0; i < literal.size(); i += charLengthAt(literal, i)) {
        if (std::string_view(".^$|\\").find(literal[i]) != std::string_view::npos)
            return std::nullopt;
        last = i;
    }
    // A marker ending in half a character is a character of its own to the engine, which matches
    // no whole character there; leave such markers to it.
    if (last + 1 == literal.size() && isLeadByte(static_cast<unsigned char>(literal[last])))
        return std::nullopt;
    return literal;
}

}  // namespace

void forEachBetween(std::string_view subject, std::string_view left, std::string_view right,
                    const std::function<void(std::string_view piece)>& visit) {
    const std::optional<Text> l = literalMarker(left);
    const std::optional<Text> r = literalMarker(right);
    if (l && r) {
        // Plain markers: a direct scan finds the same pieces as the lazy pattern, without
        // converting the page.
        CharScanner leftScanner(subject, *l, true);
        CharScanner rightScanner(subject, *r, true);
        size_t pos = 0;
        for (;;) {
            size_t p = leftScanner.find(pos);
            if (p == std::string_view::npos) break;
            size_t begin = leftScanner.advanceTo(p, p + l->size());
            size_t q = rightScanner.find(begin);
            if (q == std::string_view::npos) break;
            visit(subject.substr(begin, q - begin));
            pos = rightScanner.advanceTo(q, q + r->size());
        }
        return;
    }
    const Text pattern =
        concatTexts(escapeForPattern(left), "([\\s\\S]*?)", escapeForPattern(right));
    RegexObject regex;
    if (!regex.create(pattern, subject)) return;
    const int matches = regex.matchCount();
    for (int i = 1; i <= matches; ++i) {
        int position = 0;
        Text piece = regex.subMatchText(i, 1, &position);
        // A marker with "|" in it can match without the group taking part: an empty piece.
        visit(position < 0 ? std::string_view()
                           : subject.substr(static_cast<size_t>(position), piece.size()));
    }
}

int allBetween(std::string_view subject, std::string_view left, std::string_view right,
               TextList* items, int maxLength, std::string_view prefix, std::string_view suffix,
               bool withLeft, bool withRight) {
    TextList local;
    TextList& out = items ? *items : local;
    out.clear();

    const Text leftMarker = withLeft ? resolveQuotePlaceholder(left) : Text();
    const Text rightMarker = withRight ? resolveQuotePlaceholder(right) : Text();
    forEachBetween(subject, left, right, [&](std::string_view piece) {
        if (maxLength != 0 && piece.size() > static_cast<size_t>(maxLength)) return;
        out.push_back(concatTexts(leftMarker, prefix, piece, suffix, rightMarker));
    });
    return static_cast<int>(out.size());
}

}  // namespace novel
