#pragma once
// The paragraphs of a chapter text and the anchor that keeps a reading position on the same
// paragraph when the text changes. The reader page numbers its paragraphs with splitParagraphs, so
// a paragraph index means the same thing here and on the page.

#include <cstddef>
#include <string_view>
#include <vector>

#include "web/text.h"

namespace novel {

// One paragraph: bytes [begin, end) of the chapter text, blanks and "&nbsp;" trimmed at both ends.
struct ParagraphSpan {
    size_t begin = 0;
    size_t end = 0;
    friend bool operator==(const ParagraphSpan&, const ParagraphSpan&) = default;
};

// Paragraphs of a chapter text (the site's HTML, GBK): pieces separated by line breaks and by
// <br>, <p> and </p> tags in any spelling; pieces with nothing but blanks are not paragraphs.
std::vector<ParagraphSpan> splitParagraphs(std::string_view chapterText);
// The same paragraphs as views into chapterText.
std::vector<std::string_view> paragraphTexts(std::string_view chapterText);

// Characters of a paragraph kept in an anchor.
inline constexpr int kAnchorSnippetChars = 20;

// A reading position inside a chapter: the paragraph at the top of the view and the first
// characters of its text (GBK, whole characters only).
struct ParagraphAnchor {
    int index = 0;
    Text snippet;
    friend bool operator==(const ParagraphAnchor&, const ParagraphAnchor&) = default;
};

// The anchor of paragraph `index` (clamped to the paragraphs there are).
ParagraphAnchor anchorAt(const std::vector<std::string_view>& paragraphs, int index);

// The paragraph to show for an anchor in a possibly changed text: `index` when that paragraph
// still starts with the snippet; else the paragraph nearest to it that starts with the snippet;
// else the nearest that contains it; else index clamped to the paragraphs. 0 when there are none.
int restoreParagraph(const ParagraphAnchor& anchor,
                     const std::vector<std::string_view>& paragraphs);

}  // namespace novel
