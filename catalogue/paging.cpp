#include "catalogue/paging.h"

#include <charconv>
#include <cmath>
#include <limits>

namespace novel {

double captionNumber(std::string_view caption) {
    size_t i = 0;
    while (i < caption.size() && caption[i] == ' ') ++i;
    caption.remove_prefix(i);
    bool negative = false;
    if (!caption.empty() && (caption[0] == '+' || caption[0] == '-')) {
        negative = caption[0] == '-';
        caption.remove_prefix(1);
    }
    double value = 0;
    const auto [end, error] = std::from_chars(caption.data(), caption.data() + caption.size(),
                                              value, std::chars_format::fixed);
    if (error != std::errc{}) return 0;
    return negative ? -value : value;
}

PageParser listPageParser(int index, int page) {
    if (index < 0 || index >= static_cast<int>(kCatalogueList.size())) return PageParser::None;
    const CatalogueEntry& entry = kCatalogueList[index];
    if (entry.searchMode()) return PageParser::Search;
    return page == 1 ? entry.firstPage : entry.pageTurns;
}

namespace {

int truncatedPage(double value) {
    const double t = std::trunc(value);
    // Captions are written by the program; a wild value cannot make an out-of-range integer.
    if (!(t >= std::numeric_limits<int>::min() && t <= std::numeric_limits<int>::max())) return 0;
    return static_cast<int>(t);
}

}  // namespace

PageTurn planPageTurn(std::string_view site, PageStep step, const PagingView& view) {
    PageTurn turn;
    const double shown = captionNumber(view.pageCaption);
    if (step == PageStep::Previous) {
        if (view.pageCaption == "1") {
            turn.outcome = PageTurn::Outcome::FirstPage;
            return turn;
        }
        turn.page = truncatedPage(shown - 1);
    } else {
        turn.page = truncatedPage(shown + 1);
        if (std::abs(shown - captionNumber(view.pageCountCaption)) <= 1e-7) {
            turn.outcome = PageTurn::Outcome::LastPage;
            return turn;
        }
    }

    const int index = view.categoryIndex;
    if (index < 0 || index >= static_cast<int>(kCatalogueList.size())) return turn;
    if (kCatalogueList[index].searchMode()) {
        if (view.searchType != static_cast<int>(SearchType::Title) &&
            view.searchType != static_cast<int>(SearchType::Author))
            return turn;
        turn.url =
            searchUrl(site, static_cast<SearchType>(view.searchType), view.keyword, turn.page);
        turn.parser = PageParser::Search;
    } else {
        turn.url = listPageUrl(site, index, turn.page);
        turn.parser = listPageParser(index, turn.page);
    }
    turn.outcome = PageTurn::Outcome::Load;
    return turn;
}

}  // namespace novel
