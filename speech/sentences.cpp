#include "speech/sentences.h"

#include <algorithm>
#include <cstdint>

#include "reader/chapter.h"
#include "web/gbk.h"

namespace novel {
namespace {

// Decodes well-formed UTF-8 (what toUtf8 produces); a malformed byte reads as U+FFFD so a damaged
// paragraph still advances one byte at a time.
struct Decoded {
    std::vector<char32_t> chars;
    std::vector<size_t> starts;  // byte offset of each character, plus the end
};

Decoded decode(std::string_view s) {
    Decoded d;
    size_t i = 0;
    while (i < s.size()) {
        const auto b = static_cast<unsigned char>(s[i]);
        int n = b < 0x80 ? 1 : (b >> 5) == 6 ? 2 : (b >> 4) == 14 ? 3 : (b >> 3) == 30 ? 4 : 0;
        char32_t c = n == 1 ? b : n == 2 ? (b & 0x1F) : n == 3 ? (b & 0x0F) : (b & 0x07);
        bool ok = n > 0 && i + n <= s.size();
        for (int k = 1; ok && k < n; ++k) {
            const auto t = static_cast<unsigned char>(s[i + k]);
            ok = (t & 0xC0) == 0x80;
            c = (c << 6) | (t & 0x3F);
        }
        d.starts.push_back(i);
        d.chars.push_back(ok ? c : U'\uFFFD');
        i += ok ? n : 1;
    }
    d.starts.push_back(s.size());
    return d;
}

void appendUtf8(std::string* out, char32_t c) {
    if (c < 0x80) {
        out->push_back(static_cast<char>(c));
    } else if (c < 0x800) {
        out->push_back(static_cast<char>(0xC0 | (c >> 6)));
        out->push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else if (c < 0x10000) {
        out->push_back(static_cast<char>(0xE0 | (c >> 12)));
        out->push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
        out->push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else {
        out->push_back(static_cast<char>(0xF0 | (c >> 18)));
        out->push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
        out->push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
        out->push_back(static_cast<char>(0x80 | (c & 0x3F)));
    }
}

bool isBlank(char32_t c) {
    return c == U' ' || c == U'\t' || c == U'\r' || c == U'\n' || c == U'\f' || c == U'\v' ||
           c == U'\u00A0' || c == U'\u3000';
}

bool isAsciiEnd(char32_t c) {
    return c == U'.' || c == U'!' || c == U'?' || c == U';';
}

bool isWideEnd(char32_t c) {
    return c == U'。' || c == U'！' || c == U'？' || c == U'；' || c == U'…' || c == U'．';
}

// Closers that can only close: they stay with the sentence they end.
bool isCloser(char32_t c) {
    return c == U'」' || c == U'』' || c == U'”' || c == U'’' || c == U'）' || c == U'》' ||
           c == U'〉' || c == U'】' || c == U'〕' || c == U')' || c == U']';
}

bool isComma(char32_t c) {
    return c == U'，' || c == U'、' || c == U'：' || c == U',' || c == U':';
}

// Whether a character is something to say rather than punctuation or a blank.
bool isWordChar(char32_t c) {
    if (c < 0x80) return (c >= '0' && c <= '9') || ((c | 0x20) >= 'a' && (c | 0x20) <= 'z');
    if (c <= 0xBF || (c >= 0x2000 && c <= 0x206F) || (c >= 0x3000 && c <= 0x303F) ||
        (c >= 0xFE30 && c <= 0xFE4F) || c == 0xFFFD)
        return false;
    if (c >= 0xFF00 && c <= 0xFF65) {  // full-width forms: only their letters and digits
        return (c >= 0xFF10 && c <= 0xFF19) || (c >= 0xFF21 && c <= 0xFF3A) ||
               (c >= 0xFF41 && c <= 0xFF5A);
    }
    return true;
}

// An ASCII mark ends a sentence only where it is not inside a word or number ("3.14", "a.com").
bool endsAt(const std::vector<char32_t>& c, size_t i) {
    if (isWideEnd(c[i])) return true;
    if (!isAsciiEnd(c[i])) return false;
    if (i + 1 == c.size()) return true;
    const char32_t next = c[i + 1];
    return next >= 0x80 || isBlank(next) || isAsciiEnd(next) || isCloser(next) || next == U'"' ||
           next == U'\'';
}

int decodeEntity(std::string_view name) {
    static constexpr std::pair<std::string_view, int> kNamed[] = {
        {"nbsp", 0x20}, {"amp", '&'}, {"lt", '<'}, {"gt", '>'}, {"quot", '"'}, {"apos", '\''}};
    if (name.size() >= 2 && name[0] == '#') {
        const bool hex = name[1] == 'x' || name[1] == 'X';
        std::string_view digits = name.substr(hex ? 2 : 1);
        if (digits.empty() || digits.size() > 7) return -1;
        int64_t v = 0;
        for (char ch : digits) {
            int d = ch >= '0' && ch <= '9'                            ? ch - '0'
                    : hex && (ch | 0x20) >= 'a' && (ch | 0x20) <= 'f' ? (ch | 0x20) - 'a' + 10
                                                                      : -1;
            if (d < 0) return -1;
            v = v * (hex ? 16 : 10) + d;
        }
        if (v <= 0 || v > 0x10FFFF || (v >= 0xD800 && v <= 0xDFFF)) return -1;
        return v < 0x20 ? 0x20 : static_cast<int>(v);  // control characters read as blanks
    }
    for (const auto& [n, v] : kNamed)
        if (name.size() == n.size() && std::equal(n.begin(), n.end(), name.begin(),
                                                  [](char a, char b) { return a == (b | 0x20); }))
            return v;
    return -1;
}

void appendChar(std::string* current, char32_t c) {
    if (isBlank(c)) {
        if (current->empty() || current->back() != ' ') current->push_back(' ');
        return;
    }
    appendUtf8(current, c);
}

struct Piece {
    size_t begin, end;  // character indexes, end exclusive
};

void addSentence(const std::string& paragraph, const Decoded& d, int index, size_t begin,
                 size_t end, int maxChars, std::vector<Sentence>* out) {
    while (begin < end && isBlank(d.chars[begin])) ++begin;
    while (end > begin && isBlank(d.chars[end - 1])) --end;
    if (!std::any_of(d.chars.begin() + begin, d.chars.begin() + end, isWordChar)) return;
    // A long sentence is said in pieces: each as long as it can be, cut after a comma.
    const size_t limit = static_cast<size_t>(std::max(maxChars, 1));
    while (end - begin > limit) {
        size_t cut = begin + limit;
        for (size_t k = begin + limit; k > begin + 1; --k) {
            if (isComma(d.chars[k - 1])) {
                cut = k;
                break;
            }
        }
        addSentence(paragraph, d, index, begin, cut, maxChars, out);
        begin = cut;
        while (begin < end && isBlank(d.chars[begin])) ++begin;
        if (!std::any_of(d.chars.begin() + begin, d.chars.begin() + end, isWordChar)) return;
    }
    out->push_back({paragraph.substr(d.starts[begin], d.starts[end] - d.starts[begin]), index,
                    static_cast<int>(begin), static_cast<int>(end - begin)});
}

}  // namespace

std::vector<std::string> chapterParagraphs(std::string_view gbkHtml) {
    // The page's own paragraphs, so that a paragraph index names the same paragraph on the page,
    // in the reading position and here; each is said as plain text (tags dropped, entities read).
    std::vector<std::string> out;
    for (std::string_view piece : splitParagraphs(textOf(gbkHtml))) {
        const std::string html = toUtf8(piece);
        std::string current;
        size_t i = 0;
        while (i < html.size()) {
            const char ch = html[i];
            if (ch == '<') {
                const size_t close = html.find('>', i + 1);
                if (close != std::string::npos) {
                    i = close + 1;  // inline markup: its text runs on
                    continue;
                }
            } else if (ch == '&') {
                const size_t semi = html.find(';', i + 1);
                if (semi != std::string::npos && semi - i <= 10) {
                    const int c = decodeEntity(std::string_view(html).substr(i + 1, semi - i - 1));
                    if (c >= 0) {
                        appendChar(&current, static_cast<char32_t>(c));
                        i = semi + 1;
                        continue;
                    }
                }
            }
            // Bytes of multi-byte characters are copied as they are; ASCII blanks collapse here.
            if (static_cast<unsigned char>(ch) < 0x80 && isBlank(static_cast<unsigned char>(ch)))
                appendChar(&current, U' ');
            else
                current.push_back(ch);
            ++i;
        }
        // The ideographic space survives as a character; every blank becomes one space so that
        // offsets count what a page shows.
        std::string clean;
        const Decoded d = decode(current);
        for (char32_t c : d.chars) appendChar(&clean, c);
        const size_t first = clean.find_first_not_of(' ');
        const size_t last = clean.find_last_not_of(' ');
        // A paragraph with nothing to say stays, empty, so the indexes keep matching the page.
        out.push_back(first == std::string::npos ? std::string()
                                                 : clean.substr(first, last - first + 1));
    }
    return out;
}

std::vector<Sentence> splitSentences(const std::vector<std::string>& paragraphs, int maxChars) {
    std::vector<Sentence> out;
    for (size_t p = 0; p < paragraphs.size(); ++p) {
        const Decoded d = decode(paragraphs[p]);
        const std::vector<char32_t>& c = d.chars;
        // Straight quotes cannot tell opening from closing; their count so far can.
        bool inDouble = false, inSingle = false;
        size_t begin = 0, i = 0;
        while (i < c.size()) {
            if (c[i] == U'"') inDouble = !inDouble;
            if (c[i] == U'\'') inSingle = !inSingle;
            if (!endsAt(c, i)) {
                ++i;
                continue;
            }
            ++i;
            while (i < c.size() && (isWideEnd(c[i]) || isAsciiEnd(c[i]))) ++i;
            while (i < c.size()) {
                if (isCloser(c[i])) {
                    ++i;
                } else if (c[i] == U'"' && inDouble) {
                    inDouble = false;
                    ++i;
                } else if (c[i] == U'\'' && inSingle) {
                    inSingle = false;
                    ++i;
                } else {
                    break;
                }
            }
            addSentence(paragraphs[p], d, static_cast<int>(p), begin, i, maxChars, &out);
            begin = i;
        }
        addSentence(paragraphs[p], d, static_cast<int>(p), begin, c.size(), maxChars, &out);
    }
    return out;
}

std::vector<Sentence> chapterSentences(std::string_view gbkHtml, int maxChars) {
    return splitSentences(chapterParagraphs(gbkHtml), maxChars);
}

}  // namespace novel
