#pragma once
// A book's table of contents: the chapter links between the site's ZIP download link and its
// closing notice, in page order.

#include <string_view>
#include <vector>

#include "web/text.h"

namespace novel {

// One row of ChapterList.
struct ChapterEntry {
    Text id;  // row number in the list, from "1"
    Text title;
    Text url;

    friend bool operator==(const ChapterEntry&, const ChapterEntry&) = default;
};

// `chapterBaseUrl` is CurrentBook's bookUrlStem; each chapter URL is chapterUrlFor(base, the link's
// quoted address). Row numbers start at rowsBefore + 1.
std::vector<ChapterEntry> parseTableOfContents(std::string_view page,
                                               std::string_view chapterBaseUrl, int rowsBefore = 0);

}  // namespace novel
