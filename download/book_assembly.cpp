#include "download/book_assembly.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <span>

namespace novel {

namespace {

constexpr size_t npos = std::string_view::npos;

// Lines longer than any title are passed over unread; beyond this many candidate pairs (one title
// on very many lines and chapters) the match falls back to first-come order, which is linear.
constexpr size_t kPairBudget = 4'000'000;

const Text& markOpen() {
    static const Text open = toGbk("【本章缺失：");
    return open;
}

bool isAsciiBlank(unsigned char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

// ASCII blanks and 0xA1, the byte of the full-width blank (also a lead byte of other characters).
bool isBlankByte(unsigned char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == 0xA1;
}

std::string_view trimLeft(std::string_view s) {
    size_t i = 0;
    while (i < s.size()) {
        if (isAsciiBlank(static_cast<unsigned char>(s[i]))) {
            ++i;
        } else if (i + 1 < s.size() && s[i] == '\xA1' && s[i + 1] == '\xA1') {
            i += 2;
        } else {
            break;
        }
    }
    return s.substr(i);
}

// Trailing blanks of a line that starts on a character: ASCII blanks are never trail bytes, the
// full-width blank is checked against the character starts.
std::string_view trimRight(std::string_view s) {
    while (!s.empty() && isAsciiBlank(static_cast<unsigned char>(s.back()))) s.remove_suffix(1);
    if (s.size() < 2 || s.back() != '\xA1') return s;
    size_t keep = 0;  // end of the text without its trailing full-width blanks
    for (size_t i = 0; i < s.size();) {
        const size_t len = charLengthAt(s, i);
        const bool blank = len == 2 && s[i] == '\xA1' && s[i + 1] == '\xA1';
        const bool ascii = len == 1 && isAsciiBlank(static_cast<unsigned char>(s[i]));
        i += len;
        if (!blank && !ascii) keep = i;
    }
    return s.substr(0, keep);
}

// The table's chapters by trimmed title, the first chapter bearing a title standing for all that
// bear it. Open addressing over chapter numbers: no allocation per title.
class TitleIndex {
  public:
    explicit TitleIndex(const std::vector<std::string_view>& titles)
        : titles_(titles), slots_(std::bit_ceil(2 * titles.size() + 2), npos) {}

    // The first chapter bearing chapter k's title, k itself when it is the first.
    size_t add(size_t k) {
        size_t& slot = slots_[position(titles_[k])];
        if (slot == npos) slot = k;
        return slot;
    }
    // The first chapter bearing `title`, or npos.
    size_t find(std::string_view title) const { return slots_[position(title)]; }

  private:
    size_t position(std::string_view title) const {
        const size_t mask = slots_.size() - 1;
        size_t i = std::hash<std::string_view>{}(title)&mask;
        while (slots_[i] != npos && titles_[slots_[i]] != title) i = (i + 1) & mask;
        return i;
    }

    const std::vector<std::string_view>& titles_;
    std::vector<size_t> slots_;
};

// Calls visit(begin, end) for each line; end is the offset of its '\n' or the end of the text.
template <typename Visit>
void forEachLine(std::string_view text, Visit&& visit) {
    const char* data = text.data();
    size_t begin = 0;
    while (begin < text.size()) {
        const void* nl = std::memchr(data + begin, '\n', text.size() - begin);
        const size_t end =
            nl ? static_cast<size_t>(static_cast<const char*>(nl) - data) : text.size();
        visit(begin, end);
        begin = end + 1;
    }
}

size_t lineEndAfter(std::string_view text, size_t begin) {
    const size_t nl = text.find('\n', begin);
    return nl == npos ? text.size() : nl + 1;
}

std::string_view withoutLineBreak(std::string_view line) {
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.remove_suffix(1);
    return line;
}

Text lineBreakOf(std::string_view text) {
    const size_t nl = text.find('\n');
    if (nl == npos || (nl > 0 && text[nl - 1] == '\r')) return "\r\n";
    return "\n";
}

}  // namespace

Text missingMark(std::string_view reasonUtf8) {
    return concatTexts(markOpen(), toGbk(reasonUtf8), toGbk("】"));
}

bool isMissingMark(std::string_view line) {
    return trimTitleLine(line).starts_with(markOpen());
}

std::string_view trimTitleLine(std::string_view line) {
    return trimRight(trimLeft(line));
}

PackageMatch matchPackage(std::string_view package, const std::vector<ChapterEntry>& chapters) {
    PackageMatch result;
    result.titleLine.assign(chapters.size(), npos);

    // Each chapter's trimmed title, named by the first chapter that bears it.
    std::vector<std::string_view> titles(chapters.size());
    for (size_t k = 0; k < chapters.size(); ++k) titles[k] = trimTitleLine(chapters[k].title);
    TitleIndex index(titles);
    std::vector<size_t> chapterTitle(chapters.size(), npos);
    size_t shortest = npos, longest = 0;
    for (size_t k = 0; k < chapters.size(); ++k) {
        if (titles[k].empty()) continue;
        chapterTitle[k] = index.add(k);
        shortest = std::min(shortest, titles[k].size());
        longest = std::max(longest, titles[k].size());
    }
    if (longest == 0) return result;

    // (title, line) for every line that holds a title. Packages mostly follow the table, so the
    // title after the last one found is tried before the table-wide lookup.
    struct Hit {
        size_t title;
        size_t line;
    };
    std::vector<Hit> hits;
    hits.reserve(chapters.size());
    size_t expected = 0;  // the chapter after the one last found
    forEachLine(package, [&](size_t begin, size_t end) {
        if (end - begin < shortest) return;
        // Most lines are text far longer than any title: the blank-looking bytes at their ends
        // (a full-width blank's bytes counted loosely) rule them out before the exact trim.
        const unsigned char* p = reinterpret_cast<const unsigned char*>(package.data()) + begin;
        size_t head = 0, tail = end - begin;
        while (head < tail && isBlankByte(p[head])) ++head;
        while (tail > head && isBlankByte(p[tail - 1])) --tail;
        if (tail - head > longest) return;
        const std::string_view line = trimTitleLine(package.substr(begin, end - begin));
        if (line.size() < shortest || line.size() > longest) return;
        while (expected < chapters.size() && chapterTitle[expected] == npos) ++expected;
        if (expected < chapters.size() && titles[expected] == line) {
            hits.push_back({chapterTitle[expected++], begin});
            return;
        }
        const size_t first = index.find(line);
        if (first == npos) return;
        hits.push_back({first, begin});
        expected = first + 1;
    });

    // The hits grouped by title, each group in line order.
    std::vector<size_t> groupStart(chapters.size() + 1, 0);
    for (const Hit& h : hits) ++groupStart[h.title + 1];
    for (size_t t = 0; t < chapters.size(); ++t) groupStart[t + 1] += groupStart[t];
    std::vector<size_t> grouped(hits.size());
    {
        std::vector<size_t> fill(groupStart.begin(), groupStart.end() - 1);
        for (const Hit& h : hits) grouped[fill[h.title]++] = h.line;
    }
    auto linesOf = [&](size_t title) {
        return std::span<const size_t>(grouped.data() + groupStart[title],
                                       groupStart[title + 1] - groupStart[title]);
    };

    size_t pairs = 0;
    for (size_t k = 0; k < chapters.size(); ++k)
        if (chapterTitle[k] != npos) pairs += linesOf(chapterTitle[k]).size();

    if (pairs > kPairBudget) {
        size_t after = 0;  // the next match starts at or after this offset
        for (size_t k = 0; k < chapters.size(); ++k) {
            if (chapterTitle[k] == npos) continue;
            const auto at = linesOf(chapterTitle[k]);
            auto it = std::lower_bound(at.begin(), at.end(), after);
            if (it == at.end()) continue;
            result.titleLine[k] = *it;
            after = *it + 1;
            ++result.matched;
        }
        return result;
    }

    // The longest chain of (chapter, line) pairs rising in both, found from the back of the book
    // so that each length keeps its latest line: patience sorting on the negated offsets, the
    // lines of one chapter taken in rising order so that a chapter never chains with itself.
    struct Pair {
        size_t chapter;
        size_t line;
        size_t previous;
    };
    std::vector<Pair> chain;
    chain.reserve(pairs);
    std::vector<size_t> tailKey;   // per length: the smallest negated offset that ends a chain
    std::vector<size_t> tailPair;  // per length: the pair that ends it
    for (size_t k = chapters.size(); k-- > 0;) {
        if (chapterTitle[k] == npos) continue;
        for (size_t line : linesOf(chapterTitle[k])) {
            const size_t key = npos - line;
            const size_t length = static_cast<size_t>(
                std::lower_bound(tailKey.begin(), tailKey.end(), key) - tailKey.begin());
            chain.push_back({k, line, length == 0 ? npos : tailPair[length - 1]});
            if (length == tailKey.size()) {
                tailKey.push_back(key);
                tailPair.push_back(chain.size() - 1);
            } else {
                tailKey[length] = key;
                tailPair[length] = chain.size() - 1;
            }
        }
    }
    for (size_t p = tailPair.empty() ? npos : tailPair.back(); p != npos; p = chain[p].previous) {
        result.titleLine[chain[p].chapter] = chain[p].line;
        ++result.matched;
    }
    return result;
}

AssembledBook bookFromPackage(std::string_view package, const std::vector<ChapterEntry>& chapters) {
    AssembledBook book;
    book.lineBreak = lineBreakOf(package);
    book.chapters.resize(chapters.size());
    for (size_t k = 0; k < chapters.size(); ++k) {
        book.chapters[k].title = chapters[k].title;
        book.chapters[k].url = chapters[k].url;
        book.chapters[k].heading = chapters[k].title;
    }
    const PackageMatch match = matchPackage(package, chapters);
    if (match.matched == 0) return book;

    size_t first = npos;
    for (size_t k = chapters.size(); k-- > 0;) {
        const size_t at = match.titleLine[k];
        if (at == npos) continue;
        const size_t bodyBegin = lineEndAfter(package, at);
        const size_t bodyEnd = first == npos ? package.size() : first;
        BookChapter& c = book.chapters[k];
        c.heading = Text(withoutLineBreak(package.substr(at, bodyBegin - at)));
        c.body = Text(package.substr(bodyBegin, bodyEnd - bodyBegin));
        c.origin = ChapterOrigin::Package;
        first = at;
    }
    book.preamble = Text(package.substr(0, first));
    return book;
}

void fillChapter(BookChapter* chapter, std::string_view text, ChapterOrigin origin,
                 std::string_view lineBreak) {
    chapter->body.clear();
    forEachLine(text, [&](size_t begin, size_t end) {
        chapter->body.append(withoutLineBreak(text.substr(begin, end - begin)));
        chapter->body.append(lineBreak);
    });
    chapter->body.append(lineBreak);  // a blank line before the next chapter, as packages have
    chapter->origin = origin;
    chapter->reason.clear();
}

void markMissing(BookChapter* chapter, std::string reasonUtf8, std::string_view lineBreak) {
    chapter->body = concatTexts(missingMark(reasonUtf8), lineBreak, lineBreak);
    chapter->origin = ChapterOrigin::Missing;
    chapter->reason = std::move(reasonUtf8);
}

Text bookText(const AssembledBook& book) {
    size_t size = book.preamble.size();
    for (const BookChapter& c : book.chapters) size += c.heading.size() + c.body.size() + 4;
    Text out;
    out.reserve(size);
    out += book.preamble;
    for (const BookChapter& c : book.chapters) {
        // A heading always starts a line, also after a package that ends without a line break.
        if (!out.empty() && out.back() != '\n') out += book.lineBreak;
        out += c.heading;
        out += book.lineBreak;
        out += c.body;
    }
    return out;
}

std::vector<std::optional<Text>> heldChapters(std::string_view previousOutput,
                                              const std::vector<ChapterEntry>& chapters) {
    std::vector<std::optional<Text>> held(chapters.size());
    Text gbk;
    std::string_view text = textOf(previousOutput);
    // A UTF-8 export: any GBK book of some length has byte pairs that are no UTF-8.
    if (isValidUtf8(text) &&
        std::any_of(text.begin(), text.end(), [](char c) { return c & 0x80; })) {
        gbk = toGbk(text);
        text = gbk;
    }
    const AssembledBook earlier = bookFromPackage(text, chapters);
    for (size_t k = 0; k < chapters.size(); ++k) {
        const BookChapter& c = earlier.chapters[k];
        if (c.origin != ChapterOrigin::Package) continue;
        std::string_view body = c.body;
        bool marked = false;
        bool blank = true;
        forEachLine(body, [&](size_t begin, size_t end) {
            const std::string_view line = trimTitleLine(body.substr(begin, end - begin));
            if (line.empty() || !blank) return;
            blank = false;
            marked = line.starts_with(markOpen());
        });
        if (blank || marked) continue;
        // Without the blank lines that separate chapters; fillChapter puts one back.
        size_t keep = 0;
        forEachLine(body, [&](size_t begin, size_t end) {
            if (!trimTitleLine(body.substr(begin, end - begin)).empty())
                keep = std::min(end + 1, body.size());
        });
        body = body.substr(0, keep);
        held[k] = Text(body);
    }
    return held;
}

namespace {

bool isAsciiAlpha(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

char lowerAsciiChar(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

// The tag's name in lower case, without a leading '/'.
std::string tagName(std::string_view tag) {
    size_t i = 0;
    if (i < tag.size() && tag[i] == '/') ++i;
    std::string name;
    while (i < tag.size() && isAsciiAlpha(tag[i])) name += lowerAsciiChar(tag[i++]);
    return name;
}

void appendCodePoint(Text* out, unsigned long cp) {
    if (cp == 0 || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return;
    std::string utf8;
    if (cp < 0x80) {
        utf8 += static_cast<char>(cp);
    } else if (cp < 0x800) {
        utf8 += static_cast<char>(0xC0 | (cp >> 6));
        utf8 += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        utf8 += static_cast<char>(0xE0 | (cp >> 12));
        utf8 += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        utf8 += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        utf8 += static_cast<char>(0xF0 | (cp >> 18));
        utf8 += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        utf8 += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        utf8 += static_cast<char>(0x80 | (cp & 0x3F));
    }
    *out += cp < 0x80 ? utf8 : toGbk(utf8);
}

// Decodes the entity at the start of `s` (which begins with '&') into *out; returns the bytes it
// took, 0 when it is no entity known here.
size_t decodeEntity(std::string_view s, Text* out) {
    const size_t semi = s.substr(0, 12).find(';');
    if (semi == npos || semi < 2) return 0;
    const std::string_view name = s.substr(1, semi - 1);
    if (name[0] == '#') {
        unsigned long cp = 0;
        const bool hex = name.size() > 1 && (name[1] == 'x' || name[1] == 'X');
        const std::string_view digits = name.substr(hex ? 2 : 1);
        if (digits.empty()) return 0;
        for (char c : digits) {
            int d = c >= '0' && c <= '9'          ? c - '0'
                    : hex && c >= 'a' && c <= 'f' ? c - 'a' + 10
                    : hex && c >= 'A' && c <= 'F' ? c - 'A' + 10
                                                  : -1;
            if (d < 0) return 0;
            cp = cp * (hex ? 16 : 10) + static_cast<unsigned long>(d);
            if (cp > 0x10FFFF) return 0;
        }
        appendCodePoint(out, cp);
        return semi + 1;
    }
    static const std::pair<std::string_view, unsigned long> kNamed[] = {
        {"nbsp", ' '},      {"amp", '&'},      {"lt", '<'},        {"gt", '>'},
        {"quot", '"'},      {"apos", '\''},    {"ldquo", 0x201C},  {"rdquo", 0x201D},
        {"lsquo", 0x2018},  {"rsquo", 0x2019}, {"hellip", 0x2026}, {"mdash", 0x2014},
        {"middot", 0x00B7}, {"ensp", ' '},     {"emsp", 0x3000},
    };
    for (const auto& [entity, cp] : kNamed) {
        if (name == entity) {
            appendCodePoint(out, cp);
            return semi + 1;
        }
    }
    return 0;
}

}  // namespace

Text chapterPlainText(std::string_view html) {
    html = textOf(html);
    Text lines;
    Text line;
    auto endLine = [&] {
        std::string_view kept = line;
        while (!kept.empty() && (kept.back() == ' ' || kept.back() == '\t')) kept.remove_suffix(1);
        if (!trimTitleLine(kept).empty()) {
            lines.append(kept);
            lines.append("\r\n");
        }
        line.clear();
    };
    for (size_t i = 0; i < html.size();) {
        const char c = html[i];
        if (c == '<' && i + 1 < html.size() &&
            (isAsciiAlpha(html[i + 1]) || html[i + 1] == '/' || html[i + 1] == '!')) {
            const size_t close = html.find('>', i);
            const size_t end = close == npos ? html.size() : close + 1;
            const std::string name = tagName(html.substr(i + 1, end - i - 1));
            if (name == "br" || name == "p" || name == "div") endLine();
            i = end;
        } else if (c == '&') {
            const size_t taken = decodeEntity(html.substr(i), &line);
            if (taken == 0) line += c;
            i += taken == 0 ? 1 : taken;
        } else if (c == '\r' || c == '\n') {
            ++i;  // a line break in the markup is no line break of the text
        } else {
            const size_t len = charLengthAt(html, i);
            line.append(html.substr(i, len));
            i += len;
        }
    }
    endLine();
    return lines;
}

}  // namespace novel
