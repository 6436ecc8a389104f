#pragma once
// Text primitives over GBK byte strings, and the marker extraction every page parser is built on.
//
// Rules shared by all of them: positions are 1-based byte positions and -1 means "not found"; a
// match never begins on the trail byte of a two-byte character; ignoring letter case folds the
// ASCII letters only; a blank is the ASCII space or the ideographic space (0xA1 0xA1).

#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "web/block_scan.h"
#include "web/gbk.h"

namespace novel {

using Text = std::string;   // GBK bytes, no zero byte inside
using Bytes = std::string;  // raw bytes, may hold zero bytes
using TextList = std::vector<Text>;

// In markers, this text stands for one double-quote character.
inline constexpr std::string_view kQuotePlaceholder = "#\xD2\xFD\xBA\xC5";  // "#引号"

int findText(std::string_view text, std::string_view sought, int start = 1,
             bool ignoreCase = false);

// Last occurrence lying wholly before `start` (default: after the end of the text).
int findTextBackwards(std::string_view text, std::string_view sought, int start = -1,
                      bool ignoreCase = false);

// Replaces the occurrences of `find` from `start` on (all of them, or the first `count` when count
// is not negative) in one left-to-right pass; replaced text is never scanned again.
Text replaceText(std::string_view text, std::string_view find, std::string_view replacement = {},
                 int start = 1, int count = -1, bool caseSensitive = false);

// The same replacement done inside `text` (no second copy of a large text when the replacement is
// not longer than what it replaces).
void replaceTextInPlace(Text* text, std::string_view find, std::string_view replacement = {},
                        int start = 1, int count = -1, bool caseSensitive = false);

// Pieces between separators; no empty last piece after a trailing separator; at most maxPieces
// pieces when maxPieces > 0 (the rest of the text is dropped).
TextList splitText(std::string_view text, std::string_view separator = ",", int maxPieces = -1);

Text trimBlanks(std::string_view text);
// Without leading and trailing ASCII white space (blank, tab, line breaks) — the rule of the
// program's own settings files, which are UTF-8, not of site text.
std::string_view trimAsciiSpace(std::string_view text);
Text removeBlanks(std::string_view text);
Text leftBytes(std::string_view text, int n);
Text rightBytes(std::string_view text, int n);
Text midBytes(std::string_view text, int start, int n);
Text lowerAscii(std::string_view text);
int compareText(std::string_view a, std::string_view b);
int textToInteger(std::string_view text);

template <typename... Parts>
Text concatTexts(const Parts&... parts) {
    Text out;
    out.reserve((std::string_view(parts).size() + ... + 0));
    (out.append(std::string_view(parts)), ...);
    return out;
}

// The marker with every "#引号" turned into a double quote.
Text resolveQuotePlaceholder(std::string_view marker);

// The text between the first `left` at or after `start` and the next `right` after it; empty when
// either is missing. "#引号" in the markers stands for a double quote.
Text textBetween(std::string_view text, std::string_view left, std::string_view right,
                 int start = 1, bool ignoreCase = false);

// The same piece as textBetween, as a view into `text`.
std::string_view viewBetween(std::string_view text, std::string_view left, std::string_view right,
                             int start = 1, bool ignoreCase = false);

// A marker made ready once for many searches: the parsers cut the same cells from every row of a
// page, so "#引号" is resolved and the search set up only once.
class Marker {
  public:
    Marker(std::string_view gbk, bool ignoreCase = false);
    std::string_view text() const { return text_; }
    bool ignoreCase() const { return ignoreCase_; }
    const ScanFilter& filter() const { return filter_; }

  private:
    Text text_;
    bool ignoreCase_;
    ScanFilter filter_;
};

// viewBetween with prepared markers, from the start of `text`.
std::string_view viewBetween(std::string_view text, const Marker& left, const Marker& right);

// viewBetween for markers of one ASCII character each, found by walking the characters: quicker
// than a block scan for the short pieces inside a link.
std::string_view viewBetween(std::string_view text, char left, char right);

// Turns a plain marker into a pattern fragment: the nine bracket and repetition characters are
// escaped, "#引号" becomes a quote and CR LF becomes "\n". Everything else keeps its meaning.
Text escapeForPattern(std::string_view marker);

// Hands every piece that allBetween would list to `visit`, as views into the subject.
void forEachBetween(std::string_view subject, std::string_view left, std::string_view right,
                    const std::function<void(std::string_view piece)>& visit);

// Every non-overlapping piece between `left` and the nearest `right` after it, in order, markers
// matched without regard to ASCII letter case. Items longer than maxLength (when not 0) are
// skipped; prefix/suffix and the markers themselves (withLeft/withRight) are added around each.
// Returns the number of items.
int allBetween(std::string_view subject, std::string_view left, std::string_view right,
               TextList* items, int maxLength = 0, std::string_view prefix = {},
               std::string_view suffix = {}, bool withLeft = false, bool withRight = false);

}  // namespace novel
