#include "catalogue/search_parser.h"

#include <string>

#include "catalogue/book_page.h"
#include "catalogue/row_layout.h"
#include "web/gbk.h"

namespace novel {
namespace {

// The size cell and the latest-chapter cell open alike; renaming the latter ("章节前") lets
// "<td class=\"even\">" find the size.
const RowLayout& resultListLayout() {
    static const RowLayout layout{
        .replacements =
            {
                {R"(target="_blank"><font color=")", ""},
                {R"(<td class="even"><)", "章节前"},
                {R"(<td class="even" align="center">连)", "状态：连"},
                {R"(<td class="even" align="center">已完成)", "状态：已完成"},
            },
        .fields =
            {
                {&BookRow::title, R"(.html">)", "</a>"},
                {&BookRow::latestChapter, R"(_blank">)", "</a>"},
                {&BookRow::author, "</a></td>\r\n    <td class=\"odd\">", "</td>"},
                {&BookRow::size, R"(<td class="even">)", "</td>"},
                {&BookRow::time, R"(<td class="odd" align="center">)", "</td>"},
                {&BookRow::status, "状态：", "</td>"},
                {&BookRow::bookUrl, R"(<a href=")", "\""},
            },
    };
    return layout;
}

// A single book's page: each cell is cut twice, an outer piece of the page and the inner text of
// it.
struct TwoCut {
    TwoCut(Text BookRow::*field, std::string_view outerLeft, std::string_view outerRight,
           std::string_view innerLeft, std::string_view innerRight)
        : field(field),
          outerLeft(toGbk(outerLeft)),
          outerRight(toGbk(outerRight)),
          innerLeft(toGbk(innerLeft)),
          innerRight(toGbk(innerRight)) {}
    Text BookRow::*field;
    Text outerLeft, outerRight, innerLeft, innerRight;
};

const std::vector<TwoCut>& singleBookLayout() {
    static const std::vector<TwoCut> cuts{
        {&BookRow::latestChapter, "最新章节</strong>", "/a>", R"(blank">)", "<"},
        {&BookRow::author, "书籍作者", "/a>", R"(blank">)", "<"},
        {&BookRow::size, "全文长度</li>", "/li", "<li>", "<"},
        {&BookRow::time, "更新时间</li>", "</ul>", "<li>", "</li>"},
        {&BookRow::status, "color:blue", "li>", ">", "<"},
        // The book link is taken up to "/index"; ".html" is put back below.
        {&BookRow::bookUrl, "CrbsLink", "target", R"(href=")", "/index"},
    };
    return cuts;
}

SearchPage readSingleBook(std::string_view page, std::string_view keyword, int rowsBefore) {
    SearchPage result;
    result.answer = SearchAnswer::Single;
    result.pageCount = 1;
    BookRow row;
    row.id = std::to_string(rowsBefore + 1);
    // An author search lands here too: the book's own title, not the keyword, names the row.
    row.title = readBookMeta(page).title;
    if (row.title.empty()) row.title = Text(keyword);
    for (const TwoCut& cut : singleBookLayout()) {
        const Text outer = textBetween(page, cut.outerLeft, cut.outerRight);
        row.*cut.field = textBetween(outer, cut.innerLeft, cut.innerRight);
    }
    // Without the link there is no address; ".html" alone would only look like one.
    if (!row.bookUrl.empty()) row.bookUrl += ".html";
    row.tocUrl = tocUrlOf(row.bookUrl);
    result.rows.push_back(std::move(row));
    return result;
}

}  // namespace

SearchPage parseSearchPage(std::string_view page, std::string_view keyword, int rowsBefore) {
    // The keyword shows up in the keywords meta tag only on a book's own page.
    const Text meta = textBetween(page, "keywords", "/>");
    if (findText(meta, keyword) != -1) return readSingleBook(page, keyword, rowsBefore);

    static const Text kRegionStart = toGbk("搜索结果");
    static const Text kBodyText = toGbk("正文");
    const std::string_view region = viewBetween(page, kRegionStart, "<div class=\"pages");
    if (findText(region, kBodyText) == -1) return {};

    SearchPage result;
    result.answer = SearchAnswer::List;
    result.pageCount = readPageCount(page);
    result.rows = readRows(region, resultListLayout());
    for (BookRow& row : result.rows) {
        row.tocUrl = tocUrlOf(row.bookUrl);
        result.progressLines.push_back(progressLine(row));
    }
    return result;
}

}  // namespace novel
