#include "reader/paragraphs.h"

#include <algorithm>
#include <cstdlib>

#include "web/gbk.h"

namespace novel {
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
