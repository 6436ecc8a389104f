#pragma once
// Paging through the catalogue: the page number lives in the captions of PageLabel and
// PageCountLabel, and a click on "上一页" or "下一页" turns into one page to load, or a refusal.

#include <string_view>

#include "catalogue/site_urls.h"
#include "web/text.h"

namespace novel {

// A caption read as a number: leading blanks skipped, then a decimal number with an optional sign
// and fraction, up to the first character that cannot continue it. No number at all reads as 0.
double captionNumber(std::string_view caption);

// The parser for page `page` of the CategoryCombo entry `index`. The site serves a page in the
// same layout however it was reached, so page 1 always takes the first-page parser (this matters
// for the finished novels, whose first page alone comes in the ranking layout).
PageParser listPageParser(int index, int page);

enum class PageStep { Previous, Next };

// What the paging handlers see when a page button is clicked.
struct PagingView {
    std::string_view pageCaption;       // PageLabel
    std::string_view pageCountCaption;  // PageCountLabel
    int categoryIndex = 0;              // CategoryCombo
    int searchType = 0;                 // SearchTypeCombo
    std::string_view keyword;           // KeywordEdit, GBK
};

struct PageTurn {
    enum class Outcome {
        FirstPage,  // refused: already on the first page
        LastPage,   // refused: already on the last page
        Load,       // load `url` with `parser`, then show `page`
        Nothing,    // search mode with an unknown search type
    };
    Outcome outcome = Outcome::Nothing;
    int page = 0;
    Text url;
    PageParser parser = PageParser::None;
};

// The page one step before or after the one shown. Search-mode entries repeat the search for the
// keyword as it is now.
PageTurn planPageTurn(std::string_view site, PageStep step, const PagingView& view);

}  // namespace novel
