#include "reader/paragraphs.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>

#include "web/gbk.h"

namespace novel {
namespace {

bool isAsciiSpace(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

// Length of the separator tag at text[i] ('<'), or 0: <br>, <br/>, <br />, <p ...>, </p>.
size_t separatorTagAt(std::string_view text, size_t i) {
    const size_t close = text.find('>', i);
    if (close == std::string_view::npos || close - i > 64) return 0;
    std::string_view tag = text.substr(i + 1, close - i - 1);
    if (!tag.empty() && tag.front() == '/') tag.remove_prefix(1);
    size_t nameEnd = 0;
    while (nameEnd < tag.size() && std::isalpha(static_cast<unsigned char>(tag[nameEnd])))
        ++nameEnd;
    const Text name = lowerAscii(tag.substr(0, nameEnd));
    if (name != "br" && name != "p") return 0;
    return close - i + 1;
}

// Trims blanks, ideographic blanks and "&nbsp;" at both ends of [begin, end), stepping by whole
// GBK characters so a trail byte is never taken for half a blank.
ParagraphSpan trimmed(std::string_view text, size_t begin, size_t end) {
    size_t contentBegin = end, contentEnd = begin;
    size_t i = begin;
    while (i < end) {
        size_t length = charLengthAt(text, i);
        if (i + length > end) length = end - i;
        bool blank = isAsciiSpace(text[i]);
        if (length == 2 && static_cast<unsigned char>(text[i]) == 0xA1 &&
            static_cast<unsigned char>(text[i + 1]) == 0xA1)
            blank = true;
        if (text.substr(i, std::min<size_t>(6, end - i)) == "&nbsp;") {
            blank = true;
            length = 6;
        }
        if (!blank) {
            contentBegin = std::min(contentBegin, i);
            contentEnd = i + length;
        }
        i += length;
    }
    if (contentBegin >= contentEnd) return {end, end};
    return {contentBegin, contentEnd};
}

}  // namespace

std::vector<ParagraphSpan> splitParagraphs(std::string_view text) {
    std::vector<ParagraphSpan> spans;
    size_t pieceBegin = 0;
    auto endPiece = [&](size_t pieceEnd) {
        const ParagraphSpan span = trimmed(text, pieceBegin, pieceEnd);
        if (span.begin < span.end) spans.push_back(span);
    };
    size_t i = 0;
    while (i < text.size()) {
        const char c = text[i];
        size_t separator = 0;
        if (c == '\n' || c == '\r')
            separator = 1;
        else if (c == '<')
            separator = separatorTagAt(text, i);
        if (separator > 0) {
            endPiece(i);
            i += separator;
            pieceBegin = i;
        } else {
            i += charLengthAt(text, i);
        }
    }
    endPiece(std::min(i, text.size()));
    return spans;
}

std::vector<std::string_view> paragraphTexts(std::string_view chapterText) {
    std::vector<std::string_view> out;
    for (const ParagraphSpan& span : splitParagraphs(chapterText))
        out.push_back(chapterText.substr(span.begin, span.end - span.begin));
    return out;
}

ParagraphAnchor anchorAt(const std::vector<std::string_view>& paragraphs, int index) {
    ParagraphAnchor anchor;
    if (paragraphs.empty()) return anchor;
    anchor.index = std::clamp(index, 0, static_cast<int>(paragraphs.size()) - 1);
    const std::string_view text = paragraphs[anchor.index];
    size_t end = 0;
    for (int chars = 0; chars < kAnchorSnippetChars && end < text.size(); ++chars)
        end = std::min(text.size(), end + charLengthAt(text, end));
    anchor.snippet = Text(text.substr(0, end));
    return anchor;
}

int restoreParagraph(const ParagraphAnchor& anchor,
                     const std::vector<std::string_view>& paragraphs) {
    const int count = static_cast<int>(paragraphs.size());
    if (count == 0) return 0;
    const int clamped = std::clamp(anchor.index, 0, count - 1);
    if (anchor.snippet.empty()) return clamped;
    if (anchor.index == clamped && paragraphs[clamped].starts_with(anchor.snippet)) return clamped;

    // Nearest first; at equal distance the earlier paragraph.
    auto nearest = [&](auto&& matches) {
        int best = -1;
        for (int i = 0; i < count; ++i) {
            if (!matches(paragraphs[i])) continue;
            if (best < 0 || std::abs(i - anchor.index) < std::abs(best - anchor.index)) best = i;
        }
        return best;
    };
    int found = nearest([&](std::string_view p) { return p.starts_with(anchor.snippet); });
    if (found < 0)
        found = nearest([&](std::string_view p) { return findText(p, anchor.snippet, 1, 0) > 0; });
    return found >= 0 ? found : clamped;
}

}  // namespace novel
