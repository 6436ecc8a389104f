#include "catalogue/list_parser.h"

#include <gtest/gtest.h>

#include "web/gbk.h"

namespace novel {
namespace {

// Cells of a row, each on its own line indented by four spaces, as the site writes them.
std::string row(std::initializer_list<std::string_view> cells) {
    std::string r = "<tr>";
    for (std::string_view c : cells) r.append("\r\n    ").append(c);
    return r + "\r\n</tr>\r\n";
}

std::string page(const std::string& rows, std::string_view pager) {
    return toGbk(
        "<html><body><div class=\"t\">网上书库</div>\r\n<table class=\"grid\">\r\n"
        "<tr><th>文章名称</th><th>作者</th></tr>\r\n" +
        rows + "</table>\r\n" + std::string(pager) + "</body></html>");
}

constexpr std::string_view kPager =
    "<div class=\"pages\"><a href=\"/top/lastupdate_2.html\" class=\"next\">&gt;</a>"
    "<a href=\"/top/lastupdate_37.html\" class=\"last\">37</a></div>";

const std::string kRankingRows =
    row({R"(<td class="odd">1</td>)",
         R"(<td class="even"><a href="http://s/book/11.html" target="_blank">唐砖</a> [<a href="http://s/book/11/index.html" target="_blank">目录</a>]</td>)",
         R"(<td class="odd"> <a href="http://s/book/11/501.html" target="_blank"><font color="#006633">第五百章 归来</a></font></td>)",
         R"(<td class="even" align="center">孑与2</td>)",
         R"(<td class="odd" align="center">1523K</td>)",
         R"(<td class="even" align="center">14-05-06</td>)",
         R"(<td class="odd" align="center">连载中</td>)"}) +
    // Updated in 2009: no time cell starts with the digit 1.
    row({R"(<td class="odd">2</td>)",
         R"(<td class="even"><a href="http://s/book/12.html" target="_blank">旧书</a> [<a href="http://s/book/12/index.html" target="_blank">目录</a>]</td>)",
         R"(<td class="odd"> <a href="http://s/book/12/9.html" target="_blank"><font color="#006633">终章</a></font></td>)",
         R"(<td class="even" align="center">佚名</td>)",
         R"(<td class="odd" align="center">88K</td>)",
         R"(<td class="even" align="center">09-12-31</td>)",
         R"(<td class="odd" align="center"><span class="hottext">已完成</span></td>)"});

TEST(ListParser, RankingLayoutRows) {
    const ListPage p = parseListPage(page(kRankingRows, kPager), ListLayout::Ranking);
    EXPECT_EQ(p.pageCount, 37);
    ASSERT_EQ(p.rows.size(), 2u);

    const BookRow& a = p.rows[0];
    EXPECT_EQ(a.id, "1");
    EXPECT_EQ(toUtf8(a.title), "唐砖");
    EXPECT_EQ(toUtf8(a.latestChapter), "第五百章 归来");
    EXPECT_EQ(toUtf8(a.author), "孑与2");
    EXPECT_EQ(a.size, "1523K");
    EXPECT_EQ(a.time, "14-05-06");
    EXPECT_EQ(toUtf8(a.status), "连载中");
    EXPECT_EQ(a.bookUrl, "http://s/book/11.html");
    EXPECT_EQ(a.latestChapterUrl, "http://s/book/11/501.html");
    EXPECT_EQ(a.tocUrl, "http://s/book/11/index.html");
    EXPECT_EQ(toUtf8(p.progressLines[0]), "孑与2--唐砖第五百章 归来");

    const BookRow& b = p.rows[1];
    EXPECT_EQ(b.id, "2");
    EXPECT_EQ(b.time, "1");
    EXPECT_EQ(toUtf8(b.status), "已完成");
    EXPECT_EQ(b.size, "88K");
    EXPECT_EQ(toUtf8(b.author), "佚名");
}

TEST(ListParser, CategoryLayoutRowsStartingAtAnOddsCell) {
    const std::string rows =
        row({R"(<td class="odds"><a href="http://s/book/21.html">剑来</a></td>)",
             R"(<td class="even" align="center">[<a class="articlename" href="http://s/book/21/index.html">目录</a>]</td>)",
             R"(<td class="even"> <a href="http://s/book/21/900.html" target="_blank"><font color="#006633">第九百章</a></font></td>)",
             R"(<td class="odd" align="center">烽火戏诸侯</td>)",
             R"(<td class="even" align="center">3000K</td>)",
             R"(<td class="odd" align="center">17-01-02</td>)",
             R"(<td class="even" align="center">连载</td>)"}) +
        row({R"(<td class="odds"><a href="http://s/book/22.html">完本</a></td>)",
             R"(<td class="even" align="center">[<a class="articlename" href="http://s/book/22/index.html">目录</a>]</td>)",
             R"(<td class="even"> <a href="http://s/book/22/5.html" target="_blank"><font color="#006633">尾声</a></font></td>)",
             R"(<td class="odd" align="center">某人</td>)",
             R"(<td class="even" align="center">12K</td>)",
             R"(<td class="odd" align="center">18-03-04</td>)",
             R"(<td class="even" align="center"><span class="hottext">已完成</span></td>)"});
    const ListPage p = parseListPage(page(rows, kPager), ListLayout::Category);
    ASSERT_EQ(p.rows.size(), 2u);

    const BookRow& a = p.rows[0];
    EXPECT_EQ(toUtf8(a.title), "剑来");
    EXPECT_EQ(toUtf8(a.latestChapter), "第九百章");
    EXPECT_EQ(toUtf8(a.author), "烽火戏诸侯");
    EXPECT_EQ(a.size, "3000K");
    EXPECT_EQ(a.time, "17-01-02");
    EXPECT_EQ(toUtf8(a.status), "连载");
    EXPECT_EQ(a.bookUrl, "http://s/book/21.html");  // held by the cell the row starts at
    EXPECT_EQ(a.latestChapterUrl, "http://s/book/21/900.html");
    EXPECT_EQ(a.tocUrl, "http://s/book/21/index.html");

    EXPECT_EQ(p.rows[1].id, "2");
    EXPECT_EQ(p.rows[1].size, "12K");
    EXPECT_EQ(toUtf8(p.rows[1].status), "已完成");
}

TEST(ListParser, PagerAndRegionMarkers) {
    // A pager without a last-page link: no count, rows as usual.
    ListPage p =
        parseListPage(page(kRankingRows, "<div class=\"pages\">1</div>"), ListLayout::Ranking);
    EXPECT_EQ(p.pageCount, 0);
    EXPECT_EQ(p.rows.size(), 2u);

    // Without the pager the table has no end: no rows.
    p = parseListPage(page(kRankingRows, ""), ListLayout::Ranking);
    EXPECT_TRUE(p.rows.empty());
    EXPECT_TRUE(p.progressLines.empty());

    p = parseListPage("", ListLayout::Category);
    EXPECT_EQ(p.pageCount, 0);
    EXPECT_TRUE(p.rows.empty());

    // A row with none of the cell markers still counts; only the ranking time keeps its digit.
    p = parseListPage(page("<tr><td class=\"odd\">x</td></tr>", kPager), ListLayout::Ranking);
    ASSERT_EQ(p.rows.size(), 1u);
    EXPECT_EQ(p.rows[0].time, "1");
    EXPECT_FALSE(p.rows[0].valid());
}

}  // namespace
}  // namespace novel
