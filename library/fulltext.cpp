#include "library/fulltext.h"

#include <sqlite3.h>

#include <algorithm>

#include "reader/chapter.h"
#include "web/gbk.h"

namespace novel {
namespace {

// Decodes one UTF-8 character at `at`; 0 bytes when the sequence is not valid UTF-8.
size_t decodeUtf8(std::string_view s, size_t at, char32_t* cp) {
    const auto byte = [&](size_t i) { return static_cast<unsigned char>(s[i]); };
    const unsigned char b = byte(at);
    size_t length;
    char32_t value;
    if (b < 0x80) {
        *cp = b;
        return 1;
    } else if (b >= 0xC2 && b <= 0xDF) {
        length = 2;
        value = b & 0x1F;
    } else if (b >= 0xE0 && b <= 0xEF) {
        length = 3;
        value = b & 0x0F;
    } else if (b >= 0xF0 && b <= 0xF4) {
        length = 4;
        value = b & 0x07;
    } else {
        return 0;
    }
    if (at + length > s.size()) return 0;
    for (size_t i = 1; i < length; ++i) {
        if ((byte(at + i) & 0xC0) != 0x80) return 0;
        value = (value << 6) | (byte(at + i) & 0x3F);
    }
    // Overlong forms, surrogates and values past Unicode are no characters.
    if ((length == 3 && value < 0x800) || (length == 4 && value < 0x10000) || value > 0x10FFFF ||
        (value >= 0xD800 && value <= 0xDFFF))
        return 0;
    *cp = value;
    return length;
}

// Blanks and punctuation outside ASCII: they separate units like ASCII punctuation does.
bool isSeparator(char32_t c) {
    constexpr std::pair<char32_t, char32_t> kRanges[] = {
        {0x80, 0xBF},      // Latin-1 controls, blanks and signs
        {0x2000, 0x206F},  // general punctuation
        {0x2190, 0x2BFF},  // arrows, technical signs, box drawing, shapes
        {0x3000, 0x303F},  // CJK blanks and punctuation
        {0xFE10, 0xFE1F},  // vertical forms
        {0xFE30, 0xFE6F},  // CJK compatibility and small forms
        {0xFEFF, 0xFEFF},  // byte-order mark
        {0xFF00, 0xFF0F},  // full-width punctuation
        {0xFF1A, 0xFF20}, {0xFF3B, 0xFF40}, {0xFF5B, 0xFF65}, {0xFFF0, 0xFFFF},
    };
    for (const auto& [low, high] : kRanges)
        if (c >= low && c <= high) return true;
    return false;
}

bool isWordByte(char c) {
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

}  // namespace

namespace {

// The next unit at or after `at`: its byte range and kind; false at the end of the text.
bool nextUnit(std::string_view s, size_t& at, size_t* begin, size_t* end, bool* wide) {
    while (at < s.size()) {
        if (isWordByte(s[at])) {
            *begin = at;
            while (at < s.size() && isWordByte(s[at])) ++at;
            *end = at;
            *wide = false;
            return true;
        }
        char32_t cp = 0;
        const size_t length = decodeUtf8(s, at, &cp);
        if (length == 0) {
            ++at;
            continue;
        }
        at += length;
        if (cp >= 0x80 && !isSeparator(cp)) {
            *begin = at - length;
            *end = at;
            *wide = true;
            return true;
        }
    }
    return false;
}

char lower(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

}  // namespace

std::vector<TextUnit> textUnits(std::string_view s) {
    std::vector<TextUnit> units;
    size_t at = 0, begin, end;
    bool wide;
    while (nextUnit(s, at, &begin, &end, &wide)) {
        std::string token(s.substr(begin, end - begin));
        if (!wide) std::transform(token.begin(), token.end(), token.begin(), lower);
        units.push_back({std::move(token), begin, end, wide});
    }
    return units;
}

namespace {

// Calls emit(token, colocated) for each token of the text.
template <typename Emit>
int tokenize(std::string_view text, bool query, Emit&& emit) {
    const std::vector<TextUnit> units = textUnits(text);
    for (size_t i = 0; i < units.size(); ++i) {
        const TextUnit& unit = units[i];
        const bool pairNext = unit.wide && i + 1 < units.size() && units[i + 1].wide;
        int rc;
        if (!query) {
            rc = emit(unit.token, false);
            if (rc == SQLITE_OK && pairNext) rc = emit(unit.token + units[i + 1].token, true);
        } else if (pairNext) {
            rc = emit(unit.token + units[i + 1].token, false);
        } else if (unit.wide && i > 0 && units[i - 1].wide && i + 1 == units.size()) {
            // The last character of a run at the end is in the pair before it already.
            rc = SQLITE_OK;
        } else {
            // A lone character, an ASCII word, or a character that holds the place before a word.
            rc = emit(unit.token, false);
        }
        if (rc != SQLITE_OK) return rc;
    }
    return SQLITE_OK;
}

int xCreate(void*, const char**, int, Fts5Tokenizer** out) {
    static int instance;
    *out = reinterpret_cast<Fts5Tokenizer*>(&instance);
    return SQLITE_OK;
}

void xDelete(Fts5Tokenizer*) {}

int xTokenize(Fts5Tokenizer*, void* context, int flags, const char* text, int size,
              int (*token)(void*, int, const char*, int, int, int)) {
    if (size <= 0) return SQLITE_OK;
    const std::string_view view(text, static_cast<size_t>(size));
    const bool query = (flags & FTS5_TOKENIZE_QUERY) != 0;
    // Offsets are only used by auxiliary functions, which this index does not call.
    return tokenize(view, query, [&](const std::string& t, bool colocated) {
        return token(context, colocated ? FTS5_TOKEN_COLOCATED : 0, t.data(),
                     static_cast<int>(t.size()), 0, 0);
    });
}

}  // namespace

std::vector<FulltextToken> fulltextTokens(std::string_view utf8, bool query) {
    std::vector<FulltextToken> out;
    tokenize(utf8, query, [&](const std::string& t, bool colocated) {
        out.push_back({t, colocated});
        return SQLITE_OK;
    });
    return out;
}

std::string fulltextPlainText(std::string_view chapterText) {
    // Joined first and converted once: a conversion per paragraph costs more than the cut.
    std::string joined;
    joined.reserve(chapterText.size());
    for (std::string_view paragraph : splitParagraphs(chapterText)) {
        if (!joined.empty()) joined += '\n';
        joined += paragraph;
    }
    const std::string utf8 = toUtf8(joined);
    std::string plain;
    plain.reserve(utf8.size());
    size_t i = 0;
    for (size_t amp; (amp = utf8.find('&', i)) != std::string::npos;) {
        plain.append(utf8, i, amp - i);
        i = amp + 1;
        char decoded = '&';
        for (const auto& [entity, character] : {std::pair{"&nbsp;", ' '},
                                                {"&lt;", '<'},
                                                {"&gt;", '>'},
                                                {"&quot;", '"'},
                                                {"&amp;", '&'}}) {
            const std::string_view e(entity);
            if (std::string_view(utf8).substr(amp, e.size()) == e) {
                decoded = character;
                i = amp + e.size();
                break;
            }
        }
        plain += decoded;
    }
    plain.append(utf8, i);
    return plain;
}

std::string fulltextMatchExpression(std::string_view query) {
    const std::vector<TextUnit> units = textUnits(query);
    if (units.empty()) return {};
    // Units hold only letters, digits and non-ASCII characters: nothing in the phrase is syntax.
    std::string phrase = "\"";
    for (size_t i = 0; i < units.size(); ++i) {
        if (i) phrase += ' ';
        phrase += units[i].token;
    }
    return phrase + "\"";
}

bool registerFulltextTokenizer(sqlite3* db) {
    fts5_api* api = nullptr;
    sqlite3_stmt* stmt = nullptr;
    if (sqlite3_prepare_v2(db, "SELECT fts5(?1)", -1, &stmt, nullptr) != SQLITE_OK) {
        sqlite3_finalize(stmt);
        return false;
    }
    sqlite3_bind_pointer(stmt, 1, &api, "fts5_api_ptr", nullptr);
    sqlite3_step(stmt);
    sqlite3_finalize(stmt);
    if (!api || api->iVersion < 2) return false;
    static fts5_tokenizer tokenizer{xCreate, xDelete, xTokenize};
    return api->xCreateTokenizer(api, kFulltextTokenizerName, nullptr, &tokenizer, nullptr) ==
           SQLITE_OK;
}

std::optional<FulltextSnippet> fulltextSnippet(std::string_view plain, std::string_view query,
                                               size_t charactersAround) {
    const std::vector<TextUnit> wanted = textUnits(query);
    if (wanted.empty()) return std::nullopt;
    // Walks the text unit by unit without keeping them: most hits are near the start.
    auto matchesAt = [&](size_t at) -> std::optional<std::pair<size_t, size_t>> {
        size_t begin = 0, end = 0, first = 0;
        bool wide;
        for (size_t i = 0; i < wanted.size(); ++i) {
            if (!nextUnit(plain, at, &begin, &end, &wide)) return std::nullopt;
            const std::string& token = wanted[i].token;
            if (end - begin != token.size() || wide != wanted[i].wide) return std::nullopt;
            for (size_t k = 0; k < token.size(); ++k)
                if (lower(plain[begin + k]) != token[k]) return std::nullopt;
            if (i == 0) first = begin;
        }
        return std::pair{first, end};
    };
    std::optional<std::pair<size_t, size_t>> found;
    size_t at = 0, unitBegin, unitEnd;
    bool wide;
    while (!found && nextUnit(plain, at, &unitBegin, &unitEnd, &wide)) found = matchesAt(unitBegin);
    if (!found) return std::nullopt;
    const size_t hitBegin = found->first;
    const size_t hitEnd = found->second;

    // Whole characters on either side: step over UTF-8 continuation bytes.
    auto isLead = [&](size_t i) { return (static_cast<unsigned char>(plain[i]) & 0xC0) != 0x80; };
    size_t begin = hitBegin;
    for (size_t n = 0; n < charactersAround && begin > 0; ++n) do
            --begin;
        while (begin > 0 && !isLead(begin));
    size_t end = hitEnd;
    for (size_t n = 0; n < charactersAround * 2 && end < plain.size(); ++n) do
            ++end;
        while (end < plain.size() && !isLead(end));

    FulltextSnippet snippet;
    snippet.text = std::string(plain.substr(begin, end - begin));
    std::replace(snippet.text.begin(), snippet.text.end(), '\n', ' ');
    snippet.hitBegin = hitBegin - begin;
    snippet.hitEnd = hitEnd - begin;
    return snippet;
}

}  // namespace novel
