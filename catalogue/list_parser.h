#pragma once
// Ranking and category list pages: the site serves its catalogue as an HTML table in one of two
// layouts; each page gives the number of pages, the book rows and one progress line per row.

#include <string_view>
#include <vector>

#include "web/text.h"

namespace novel {

// One row of BookList; the cells in column order.
struct BookRow {
    Text id;  // row number in the list, from "1"
    Text title;
    Text latestChapter;
    Text author;
    Text size;
    Text time;
    Text status;
    Text bookUrl;
    Text latestChapterUrl;
    Text tocUrl;

    // A row without an author holds no book.
    bool valid() const { return !author.empty(); }
    friend bool operator==(const BookRow&, const BookRow&) = default;
};

enum class ListLayout { Ranking, Category };  // RankingLayout, CategoryLayout

struct ListPage {
    int pageCount = 0;  // 0 when the page has no pager
    std::vector<BookRow> rows;
    // author + "--" + title + latest chapter, one per row, for the status bar while loading
    TextList progressLines;
};

// Parses a list page (GBK). A page without the table or its end marker gives no rows.
ListPage parseListPage(std::string_view page, ListLayout layout);

}  // namespace novel
