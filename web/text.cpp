#include "web/text.h"

#include <algorithm>
#include <climits>
#include <cstdint>
#include <cstring>

#include "web/regex_object.h"

namespace novel {
namespace {

inline unsigned char byteAt(std::string_view s, size_t i) {
    return static_cast<unsigned char>(s[i]);
}

inline unsigned char foldAscii(unsigned char c) {
    return (c >= 'A' && c <= 'Z') ? c + 32 : c;
}

bool equalAt(std::string_view text, size_t pos, std::string_view sought, bool ignoreCase) {
    if (!ignoreCase) return std::memcmp(text.data() + pos, sought.data(), sought.size()) == 0;
    for (size_t k = 0; k < sought.size(); ++k) {
        if (foldAscii(byteAt(text, pos + k)) != foldAscii(byteAt(sought, k))) return false;
    }
    return true;
}

// Walks the text character by character so that every candidate it hands out starts a character.
// Candidates for the first byte are found with memchr (for both letter cases when case is ignored),
// which keeps a scan over a large text close to memchr speed.
class CharScanner {
  public:
    CharScanner(std::string_view text, std::string_view sought, bool ignoreCase)
        : text_(text), sought_(sought), ignoreCase_(ignoreCase) {
        unsigned char first = byteAt(sought, 0);
        firstA_ = first;
        firstB_ = first;
        if (ignoreCase && ((first >= 'a' && first <= 'z') || (first >= 'A' && first <= 'Z'))) {
            firstA_ = foldAscii(first);
            firstB_ = firstA_ - 32;
        }
    }

    // First match at a character start at or after `from`, which must itself start a character.
    // Returns npos when there is none.
    size_t find(size_t from) {
        const size_t n = text_.size();
        const size_t m = sought_.size();
        size_t i = from;
        while (i + m <= n) {
            size_t c = nextCandidate(i);
            if (c == std::string_view::npos || c + m > n) return std::string_view::npos;
            i = advanceTo(i, c);
            if (i != c) continue;  // the candidate byte was the trail of a two-byte character
            if (equalAt(text_, c, sought_, ignoreCase_)) return c;
            i += charLengthAt(text_, c);
        }
        return std::string_view::npos;
    }

    // Moves a character start `i` forward to the first character start at or after `target`.
    // Eight bytes that are all single-byte characters, or all halves of two-byte ones, keep the
    // alignment as a whole, so long runs of either kind are crossed a word at a time.
    size_t advanceTo(size_t i, size_t target) const {
        const size_t n = text_.size();
        const unsigned char* p = reinterpret_cast<const unsigned char*>(text_.data());
        constexpr uint64_t kHigh = 0x8080808080808080ull;
        while (i + 8 <= target) {
            uint64_t word;
            std::memcpy(&word, p + i, 8);
            uint64_t high = word & kHigh;
            i += (high == 0 || high == kHigh) ? 8 : 1 + (p[i] >> 7);
        }
        while (i < target) i += 1 + (p[i] >> 7);
        return std::min(i, n);
    }

  private:
    size_t nextCandidate(size_t from) {
        if (candA_ == kUnknown || (candA_ != std::string_view::npos && candA_ < from))
            candA_ = memchrFrom(firstA_, from);
        if (firstA_ == firstB_) return candA_;
        if (candB_ == kUnknown || (candB_ != std::string_view::npos && candB_ < from))
            candB_ = memchrFrom(firstB_, from);
        return std::min(candA_, candB_);
    }

    size_t memchrFrom(unsigned char b, size_t from) const {
        if (from >= text_.size()) return std::string_view::npos;
        const void* hit = std::memchr(text_.data() + from, b, text_.size() - from);
        return hit ? static_cast<const char*>(hit) - text_.data() : std::string_view::npos;
    }

    static constexpr size_t kUnknown = std::string_view::npos - 1;

    std::string_view text_;
    std::string_view sought_;
    bool ignoreCase_;
    unsigned char firstA_, firstB_;
    size_t candA_ = kUnknown;
    size_t candB_ = kUnknown;
};

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
            std::memmove(data + written, data + from, length);
            written += length;
        },
        [&] {
            std::memcpy(data + written, replacement.data(), replacement.size());
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
    for (char& c : out) c = static_cast<char>(foldAscii(static_cast<unsigned char>(c)));
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

Text textBetween(std::string_view text, std::string_view left, std::string_view right, int start,
                 bool ignoreCase) {
    const Text l = resolveQuotePlaceholder(left);
    const Text r = resolveQuotePlaceholder(right);
    int p = findText(text, l, start, ignoreCase);
    if (p == -1) return {};
    int from = p + static_cast<int>(l.size());
    int q = findText(text, r, from, ignoreCase);
    if (q == -1) return {};
    return Text(text.substr(static_cast<size_t>(from) - 1, static_cast<size_t>(q - from)));
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

int allBetween(std::string_view subject, std::string_view left, std::string_view right,
               TextList* items, int maxLength, std::string_view prefix, std::string_view suffix,
               bool withLeft, bool withRight) {
    TextList local;
    TextList& out = items ? *items : local;
    out.clear();

    const Text pattern =
        concatTexts(escapeForPattern(left), "([\\s\\S]*?)", escapeForPattern(right));
    RegexObject regex;
    if (!regex.create(pattern, subject)) return 0;

    const Text leftMarker = withLeft ? resolveQuotePlaceholder(left) : Text();
    const Text rightMarker = withRight ? resolveQuotePlaceholder(right) : Text();
    const int matches = regex.matchCount();
    out.reserve(static_cast<size_t>(matches));
    for (int i = 1; i <= matches; ++i) {
        Text piece = regex.subMatchText(i, 1);
        if (maxLength != 0 && piece.size() > static_cast<size_t>(maxLength)) continue;
        out.push_back(concatTexts(leftMarker, prefix, piece, suffix, rightMarker));
    }
    return static_cast<int>(out.size());
}

}  // namespace novel
