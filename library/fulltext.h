#pragma once
// The full-text index's text model: how a chapter is cut into searchable units, the FTS5 tokenizer
// built on that cut, the MATCH expression made from a user's query, and the snippet around a hit.
//
// A unit is one non-ASCII letter (a Chinese character) or one ASCII word (letters and digits,
// lower-cased); blanks, punctuation and line breaks only separate units. A document yields each
// unit at its own position and, for two Chinese characters in a row, their pair as a synonym at
// the first one's position (unigrams and bigrams). A query of one character looks up the unigram;
// a longer one the chain of pairs as one phrase. Since punctuation and line breaks are no units,
// a query finds its characters across a paragraph break or a comma.

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

struct sqlite3;

namespace novel {

// Raised whenever the cut or the plain text changes: the index is then built again.
inline constexpr int kFulltextVersion = 1;
inline constexpr const char* kFulltextTokenizerName = "novel_cjk";

struct TextUnit {
    std::string token;  // the character's UTF-8 bytes, or the lower-cased ASCII word
    size_t begin = 0;   // byte range in the text
    size_t end = 0;
    bool wide = false;  // a non-ASCII character (one unit per character)
};

// The units of UTF-8 text, in order; bytes that are no valid UTF-8 separate units.
std::vector<TextUnit> textUnits(std::string_view utf8);

struct FulltextToken {
    std::string text;
    bool colocated = false;  // a synonym at the previous token's position
};
// The tokens the index keeps for a document, or looks up for a query.
std::vector<FulltextToken> fulltextTokens(std::string_view utf8, bool query);

// The UTF-8 text a chapter (its GBK chapterText) is indexed by: its paragraphs (splitParagraphs),
// one per line, with the few HTML entities the site writes decoded.
std::string fulltextPlainText(std::string_view chapterText);

// The MATCH expression for a query as the user typed it (UTF-8): one quoted phrase of its units,
// so quotes, "*", "-" and "OR" are only text. Empty when the query holds no unit.
std::string fulltextMatchExpression(std::string_view query);

// Registers the tokenizer on a connection (before the index table is used); false when FTS5 is
// missing.
bool registerFulltextTokenizer(sqlite3* db);

// A stretch of plain text around the first place where the query's units occur in a row (the
// same rule the index matches by), line breaks shown as blanks. UTF-8; hitBegin/hitEnd are byte
// offsets into text.
struct FulltextSnippet {
    std::string text;
    size_t hitBegin = 0;
    size_t hitEnd = 0;
};
std::optional<FulltextSnippet> fulltextSnippet(std::string_view plain, std::string_view query,
                                               size_t charactersAround = 30);

}  // namespace novel
