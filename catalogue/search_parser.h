#pragma once
// The site answers a search either with a result table or, when exactly one book matches, with
// that book's own page; a result page without results means no match.

#include <string_view>
#include <vector>

#include "catalogue/list_parser.h"
#include "web/text.h"

namespace novel {

enum class SearchAnswer { Single, List, None };

struct SearchPage {
    SearchAnswer answer = SearchAnswer::None;
    // 1 for a single book, the pager's count for a list (0 without a pager), 0 for no match
    // (the page count shown before stays as it was).
    int pageCount = 0;
    // Single: one row to append to the list as it stands (its column "latest chapter URL" is
    // empty and its title is the book page's own, or the keyword as typed when the page names
    // none). List: the rows that replace the list.
    std::vector<BookRow> rows;
    TextList progressLines;  // List only
};

// `keyword` is the GBK keyword as typed; `rowsBefore` is the number of rows the list holds now
// (a single-book answer is appended after them).
SearchPage parseSearchPage(std::string_view page, std::string_view keyword, int rowsBefore);

}  // namespace novel
