#pragma once
// The anchor that keeps a reading position on the same paragraph when the text changes. The
// paragraphs are those of splitParagraphs (reader/chapter.h), which the reader page numbers, so a
// paragraph index means the same thing here and on the page.

#include <string_view>
#include <vector>

#include "web/text.h"

namespace novel {

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
