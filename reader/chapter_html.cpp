#include "reader/chapter_html.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <vector>

namespace novel {
namespace {

// Elements dropped with everything inside them. The first group holds raw text in the page (the
// page would read markup-looking text in them differently from a tag scanner), the second active
// or foreign content.
constexpr std::array<std::string_view, 14> kDroppedWithContent = {
    "script",   "style", "iframe", "noscript", "noembed", "noframes", "xmp",
    "textarea", "title", "svg",    "math",     "object",  "applet",   "template",
};
// Raw-text elements: without an end tag everything after them is their content.
constexpr std::array<std::string_view, 9> kRawText = {
    "script", "style", "iframe", "noscript", "noembed", "noframes", "xmp", "textarea", "title",
};
// Tags dropped on their own (their content stays): frames, plug-ins, forms and their controls,
// and the head tags that redirect the page, change its addresses or load other files.
constexpr std::array<std::string_view, 17> kDroppedTags = {
    "frame",  "frameset", "embed",  "param",    "meta",   "link",    "base",   "form",      "input",
    "button", "select",   "option", "optgroup", "keygen", "isindex", "portal", "plaintext",
};

bool isSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f';
}

bool isAsciiLetter(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

Text lower(std::string_view s) {
    Text out(s);
    for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return out;
}

template <size_t N>
bool listed(const std::array<std::string_view, N>& list, std::string_view name) {
    return std::find(list.begin(), list.end(), name) != list.end();
}

bool isPlainTagName(std::string_view name) {
    if (name.empty() || !isAsciiLetter(name[0])) return false;
    return std::all_of(name.begin(), name.end(), [](char c) {
        return isAsciiLetter(c) || (c >= '0' && c <= '9') || c == '-';
    });
}

bool isPlainAttributeName(std::string_view name) {
    if (name.empty() || !(isAsciiLetter(name[0]) || name[0] == '_' || name[0] == ':')) return false;
    return std::all_of(name.begin(), name.end(), [](char c) {
        return isAsciiLetter(c) || (c >= '0' && c <= '9') || c == '-' || c == '_' || c == ':' ||
               c == '.';
    });
}

// Offset of `word` at or after `from`, letter case ignored, byte by byte; npos when absent.
size_t findIgnoringCase(std::string_view text, std::string_view word, size_t from) {
    auto it = std::search(text.begin() + static_cast<std::ptrdiff_t>(std::min(from, text.size())),
                          text.end(), word.begin(), word.end(), [](char a, char b) {
                              return std::tolower(static_cast<unsigned char>(a)) ==
                                     std::tolower(static_cast<unsigned char>(b));
                          });
    return it == text.end() ? std::string_view::npos : static_cast<size_t>(it - text.begin());
}

// The value as an address parser would see it: character references decoded, blanks and control
// characters (which browsers strip from addresses) gone, letters in lower case.
Text addressForm(std::string_view value) {
    Text out;
    for (size_t i = 0; i < value.size();) {
        unsigned char c = static_cast<unsigned char>(value[i]);
        if (c == '&' && i + 1 < value.size() && value[i + 1] == '#') {
            size_t j = i + 2;
            const bool hex = j < value.size() && (value[j] == 'x' || value[j] == 'X');
            if (hex) ++j;
            unsigned long code = 0;
            const size_t digits = j;
            while (j < value.size() && (hex ? std::isxdigit(static_cast<unsigned char>(value[j]))
                                            : std::isdigit(static_cast<unsigned char>(value[j])))) {
                code = std::min<unsigned long>(
                    code * (hex ? 16 : 10) + std::stoul(std::string(1, value[j]), nullptr, 16),
                    0x110000);
                ++j;
            }
            if (j > digits) {
                if (j < value.size() && value[j] == ';') ++j;
                if (code > 0x20 && code < 0x7F)
                    out += static_cast<char>(std::tolower(static_cast<int>(code)));
                i = j;
                continue;
            }
        }
        if (c == '&') {
            bool named = false;
            for (auto [ref, ch] : {std::pair<std::string_view, char>{"&colon;", ':'},
                                   {"&tab;", '\t'},
                                   {"&newline;", '\n'}}) {
                if (lower(value.substr(i, ref.size())) == ref) {
                    if (ch == ':') out += ':';
                    i += ref.size();
                    named = true;
                    break;
                }
            }
            if (named) continue;
        }
        if (c > 0x20 && c != 0x7F) out += static_cast<char>(std::tolower(c));
        ++i;
    }
    return out;
}

bool isActiveAttribute(std::string_view name, std::string_view value) {
    if (name.size() >= 2 && std::tolower(static_cast<unsigned char>(name[0])) == 'o' &&
        std::tolower(static_cast<unsigned char>(name[1])) == 'n')
        return true;
    // javascript:, vbscript:, livescript: …, in an address or inside a style.
    return addressForm(value).find("script:") != Text::npos;
}

struct Attribute {
    std::string_view name, value;
    bool hasValue = false;
};

struct Tag {
    bool end = false;
    bool selfClosing = false;
    std::string_view name;
    std::vector<Attribute> attributes;
    size_t next = 0;  // offset after the tag's ">"
};

// Reads the tag whose "<" (or "</") has just been passed, the way a browser's tokenizer does; false
// when the text ends inside it.
bool readTag(std::string_view s, size_t j, Tag* tag) {
    const size_t nameStart = j;
    while (j < s.size() && !isSpace(s[j]) && s[j] != '/' && s[j] != '>') ++j;
    tag->name = s.substr(nameStart, j - nameStart);
    while (true) {
        while (j < s.size() && (isSpace(s[j]) || s[j] == '/')) {
            tag->selfClosing = s[j] == '/' && j + 1 < s.size() && s[j + 1] == '>';
            ++j;
        }
        if (j >= s.size()) return false;
        if (s[j] == '>') {
            tag->next = j + 1;
            return true;
        }
        tag->selfClosing = false;
        Attribute a;
        const size_t start = j++;  // a first "=" belongs to the name
        while (j < s.size() && !isSpace(s[j]) && s[j] != '/' && s[j] != '>' && s[j] != '=') ++j;
        a.name = s.substr(start, j - start);
        size_t k = j;
        while (k < s.size() && isSpace(s[k])) ++k;
        if (k < s.size() && s[k] == '=') {
            j = k + 1;
            while (j < s.size() && isSpace(s[j])) ++j;
            if (j >= s.size()) return false;
            a.hasValue = true;
            if (s[j] == '"' || s[j] == '\'') {
                const size_t close = s.find(s[j], j + 1);
                if (close == std::string_view::npos) return false;
                a.value = s.substr(j + 1, close - j - 1);
                j = close + 1;
            } else {
                const size_t valueStart = j;
                while (j < s.size() && !isSpace(s[j]) && s[j] != '>') ++j;
                a.value = s.substr(valueStart, j - valueStart);
            }
        }
        tag->attributes.push_back(a);
    }
}

void writeTag(const Tag& tag, Text* out) {
    out->append(tag.end ? "</" : "<").append(tag.name);
    if (!tag.end) {
        for (const Attribute& a : tag.attributes) {
            if (!isPlainAttributeName(a.name) || isActiveAttribute(a.name, a.value)) continue;
            out->append(" ").append(a.name);
            if (!a.hasValue) continue;
            out->append("=\"");
            // Markup inside a value stays text: nothing in the result reads as a tag that is not
            // one. These bytes are never the trail byte of a GBK character.
            for (char c : a.value) {
                if (c == '"')
                    out->append("&quot;");
                else if (c == '<')
                    out->append("&lt;");
                else if (c == '>')
                    out->append("&gt;");
                else
                    out->push_back(c);
            }
            out->append("\"");
        }
        if (tag.selfClosing) out->append(" /");
    }
    out->append(">");
}

// Offset after `<`/name element's end tag from `from`; npos when it has none.
size_t afterEndTag(std::string_view s, std::string_view name, size_t from) {
    const Text closing = concatTexts("</", name);
    for (size_t at = findIgnoringCase(s, closing, from); at != std::string_view::npos;
         at = findIgnoringCase(s, closing, at + 1)) {
        const size_t after = at + closing.size();
        if (after < s.size() && !isSpace(s[after]) && s[after] != '/' && s[after] != '>') continue;
        const size_t close = s.find('>', after);
        return close == std::string_view::npos ? s.size() : close + 1;
    }
    return std::string_view::npos;
}

}  // namespace

Text sanitizeChapterHtml(std::string_view s) {
    Text out;
    out.reserve(s.size());
    size_t i = 0;
    while (i < s.size()) {
        const size_t lt = s.find('<', i);
        out.append(s.substr(i, lt == std::string_view::npos ? std::string_view::npos : lt - i));
        if (lt == std::string_view::npos) break;
        i = lt;
        const char c = i + 1 < s.size() ? s[i + 1] : '\0';
        const bool endTag = c == '/' && i + 2 < s.size() && isAsciiLetter(s[i + 2]);
        if (isAsciiLetter(c) || endTag) {
            Tag tag;
            tag.end = endTag;
            if (!readTag(s, i + (endTag ? 2 : 1), &tag)) break;  // unfinished: the page drops it
            i = tag.next;
            const Text name = lower(tag.name);
            if (!tag.end && listed(kDroppedWithContent, name) &&
                !(tag.selfClosing && !listed(kRawText, name))) {
                const size_t after = afterEndTag(s, name, i);
                if (after != std::string_view::npos)
                    i = after;
                else if (listed(kRawText, name))
                    break;
                continue;
            }
            if (!isPlainTagName(tag.name) || listed(kDroppedWithContent, name) ||
                listed(kDroppedTags, name))
                continue;
            writeTag(tag, &out);
        } else if (c == '!' || c == '?' || c == '/') {
            // Comments, declarations, processing instructions, "</>" and bogus end tags: none
            // shows anything.
            const bool comment = s.substr(i).starts_with("<!--");
            const size_t close = comment ? s.find("-->", i + 2) : s.find('>', i + 1);
            if (close == std::string_view::npos) break;
            i = close + (comment ? 3 : 1);
        } else {
            out.append("&lt;");
            ++i;
        }
    }
    return out;
}

}  // namespace novel
