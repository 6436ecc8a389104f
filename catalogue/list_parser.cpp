#include "catalogue/list_parser.h"

#include "catalogue/row_layout.h"

namespace novel {
namespace {

// The replacements only make each start marker unique within a row: "状态：" tags the status cell
// and removing the font tag after a link's target lets "_blank\">" find the title and
// "#006633\">" the latest chapter.
const RowLayout& rankingLayout() {
    static const RowLayout layout{
        .replacements =
            {
                {R"(target="_blank">目录)", "目录"},
                {R"(target="_blank"><font color=")", ""},
                {R"(<td class="odd" align="center">连)", "状态：连"},
                {R"(<span class="hottext">已完成</span>)", "状态：已完成"},
            },
        .fields =
            {
                {&BookRow::title, R"(_blank">)", "</a>"},
                {&BookRow::latestChapter, R"(#006633">)", "</a>"},
                {&BookRow::author, "</font></td>\r\n    <td class=\"even\" align=\"center\">",
                 "</td>"},
                {&BookRow::latestChapterUrl, R"(<td class="odd"> <a href=")", "\""},
                {&BookRow::size, R"(<td class="odd" align="center">)", "</td>"},
                // The marker takes the first digit of the date with it.
                {&BookRow::time, R"(<td class="even" align="center">1)", "</td>", "1"},
                {&BookRow::status, "状态：", "</td>"},
                {&BookRow::bookUrl, R"(<td class="even"><a href=")", "\""},
                {&BookRow::tocUrl, R"([<a href=")", "\""},
            },
    };
    return layout;
}

// Private tags mark the time cell ("时间前"), the table-of-contents link ("地址前前", which runs up
// to "目录" once its quote and bracket are gone) and the status cell ("状态：").
const RowLayout& categoryLayout() {
    static const RowLayout layout{
        .replacements =
            {
                {R"(html">目录)", "html目录"},
                {R"(<td class="odd" align="center">1)", "时间前1"},
                {R"(<td class="even" align="center">[<a class="articlename" href=")", "地址前前"},
                {R"(target="_blank"><font color=")", ""},
                {R"(<td class="even" align="center">连)", "状态：连"},
                {R"(<span class="hottext">已完成</span>)", "状态：已完成"},
            },
        .fields =
            {
                {&BookRow::title, R"(html">)", "</a>"},
                {&BookRow::latestChapter, R"(#006633">)", "</a>"},
                {&BookRow::author, R"(<td class="odd" align="center">)", "</td>"},
                {&BookRow::latestChapterUrl, R"(<td class="even"> <a href=")", "\""},
                {&BookRow::size, R"(<td class="even" align="center">)", "</td>"},
                {&BookRow::time, "时间前", "</td>"},
                {&BookRow::status, "状态：", "</td>"},
                {&BookRow::bookUrl, R"(<td class="odds"><a href=")", "\""},
                {&BookRow::tocUrl, "地址前前", "目录"},
            },
    };
    return layout;
}

}  // namespace

ListPage parseListPage(std::string_view page, ListLayout layout) {
    static const Text kRegionStart = toGbk("网上书库");
    ListPage result;
    result.pageCount = readPageCount(page);
    const std::string_view region = viewBetween(page, kRegionStart, "<div class=\"pages");
    result.rows =
        readRows(region, layout == ListLayout::Ranking ? rankingLayout() : categoryLayout());
    result.progressLines.reserve(result.rows.size());
    for (const BookRow& row : result.rows) result.progressLines.push_back(progressLine(row));
    return result;
}

}  // namespace novel
