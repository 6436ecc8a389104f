#include "catalogue/search_parser.h"

#include <gtest/gtest.h>

#include "web/gbk.h"

namespace novel {
namespace {

const std::string kResultPage = toGbk(
    "<html><head><meta name=\"description\" content=\"搜索\" /></head><body>\r\n"
    "<div class=\"title\">搜索结果</div>\r\n<table class=\"grid\">\r\n"
    "<tr><th>文章名称</th><th>最新章节</th><th>作者</th></tr>\r\n"
    "<tr>\r\n"
    "    <td class=\"odd\"><a href=\"http://s/book/31.html\">雪中悍刀行</a></td>\r\n"
    "    <td class=\"even\"><a href=\"http://s/book/31/77.html\" target=\"_blank\">正文 "
    "第七十七章</a></td>\r\n"
    "    <td class=\"odd\">烽火戏诸侯</td>\r\n"
    "    <td class=\"even\">4200K</td>\r\n"
    "    <td class=\"odd\" align=\"center\">16-02-03</td>\r\n"
    "    <td class=\"even\" align=\"center\">已完成</td>\r\n"
    "</tr>\r\n"
    "<tr>\r\n"
    "    <td class=\"odd\"><a href=\"http://s/book/32.html\">雪落</a></td>\r\n"
    "    <td class=\"even\"><a href=\"http://s/book/32/8.html\" target=\"_blank\">正文 "
    "第八章</a></td>\r\n"
    "    <td class=\"odd\">某人</td>\r\n"
    "    <td class=\"even\">12K</td>\r\n"
    "    <td class=\"odd\" align=\"center\">16-05-06</td>\r\n"
    "    <td class=\"even\" align=\"center\">连载中</td>\r\n"
    "</tr>\r\n"
    "</table>\r\n<div class=\"pages\"><a href=\"x\" class=\"last\">3</a></div></body></html>");

const std::string kBookPage = toGbk(
    "<html><head><meta name=\"keywords\" content=\"唐砖,孑与2,唐砖最新章节\" /></head><body>\r\n"
    "<div class=\"CrbsLink\"><a href=\"http://s/book/11/index.html\" "
    "target=\"_blank\">点击阅读</a></div>\r\n"
    "<ul><li><strong>最新章节</strong><a href=\"http://s/book/11/501.html\" "
    "target=\"_blank\">第五百章</a></li>\r\n"
    "<li>书籍作者</li><li><a href=\"/author/1\" target=\"_blank\">孑与2</a></li>\r\n"
    "<li>全文长度</li>\r\n\t\t\t\t<li>1523000字</li>\r\n"
    "<li style=\"color:blue\">连载中</li>\r\n"
    "<li>更新时间</li>\r\n\t\t\t\t<li>2014-05-06</li></ul></body></html>");

TEST(SearchParser, ResultList) {
    const SearchPage p = parseSearchPage(kResultPage, toGbk("雪"), 5);
    EXPECT_EQ(p.answer, SearchAnswer::List);
    EXPECT_EQ(p.pageCount, 3);
    ASSERT_EQ(p.rows.size(), 2u);

    const BookRow& a = p.rows[0];
    EXPECT_EQ(a.id, "1");  // a result list replaces the rows
    EXPECT_EQ(toUtf8(a.title), "雪中悍刀行");
    EXPECT_EQ(toUtf8(a.latestChapter), "正文 第七十七章");
    EXPECT_EQ(toUtf8(a.author), "烽火戏诸侯");
    EXPECT_EQ(a.size, "4200K");
    EXPECT_EQ(a.time, "16-02-03");
    EXPECT_EQ(toUtf8(a.status), "已完成");
    EXPECT_EQ(a.bookUrl, "http://s/book/31.html");
    EXPECT_EQ(a.tocUrl, "http://s/book/31/index.html");
    EXPECT_EQ(a.latestChapterUrl, "");
    EXPECT_EQ(toUtf8(p.progressLines[0]), "烽火戏诸侯--雪中悍刀行正文 第七十七章");

    EXPECT_EQ(p.rows[1].id, "2");
    EXPECT_EQ(toUtf8(p.rows[1].latestChapter), "正文 第八章");
    EXPECT_EQ(toUtf8(p.rows[1].status), "连载中");
}

TEST(SearchParser, SingleBookAnswerForAnAuthor) {
    const SearchPage p = parseSearchPage(kBookPage, toGbk("孑与2"), 4);
    EXPECT_EQ(p.answer, SearchAnswer::Single);
    EXPECT_EQ(p.pageCount, 1);
    ASSERT_EQ(p.rows.size(), 1u);
    const BookRow& r = p.rows[0];
    EXPECT_EQ(r.id, "5");                // appended after the rows already listed
    EXPECT_EQ(toUtf8(r.title), "唐砖");  // the book's own title, not the author searched for
    EXPECT_EQ(toUtf8(r.latestChapter), "第五百章");
    EXPECT_EQ(toUtf8(r.author), "孑与2");
    EXPECT_EQ(toUtf8(r.size), "1523000字");
    EXPECT_EQ(r.time, "2014-05-06");
    EXPECT_EQ(toUtf8(r.status), "连载中");
    EXPECT_EQ(r.bookUrl, "http://s/book/11.html");
    EXPECT_EQ(r.tocUrl, "http://s/book/11/index.html");
    EXPECT_EQ(r.latestChapterUrl, "");
    EXPECT_TRUE(p.progressLines.empty());
}

TEST(SearchParser, SingleBookTitleFromTheKeywordsMeta) {
    auto titleOf = [](std::string_view meta, std::string_view keyword) {
        const SearchPage p = parseSearchPage(toGbk(meta), toGbk(keyword), 0);
        EXPECT_EQ(p.answer, SearchAnswer::Single) << meta;
        return p.rows.empty() ? std::string("?") : toUtf8(p.rows[0].title);
    };
    // Blanks around the items go; blanks inside the title stay.
    EXPECT_EQ(
        titleOf("<meta name=\"keywords\" content=\"　星河 彼岸 , 白衣卿相,x\" />", "白衣卿相"),
        "星河 彼岸");
    // The meta names no title: the keyword as typed fills the cell.
    EXPECT_EQ(titleOf("<meta name=\"keywords\" content=\" ,白衣卿相\" />", "白衣卿相"), "白衣卿相");
    EXPECT_EQ(titleOf("<meta name=\"keywords\" value=\"白衣卿相\" />", "白衣卿相"), "白衣卿相");
}

TEST(SearchParser, KeywordTestAndNoMatch) {
    // An empty keyword is found in any non-empty keywords meta text.
    EXPECT_EQ(parseSearchPage(kBookPage, "", 0).answer, SearchAnswer::Single);
    // The keyword test is case-sensitive.
    const std::string meta = "<meta name=\"keywords\" content=\"Abc\" />";
    EXPECT_EQ(parseSearchPage(meta, "Abc", 0).answer, SearchAnswer::Single);
    EXPECT_EQ(parseSearchPage(meta, "abc", 0).answer, SearchAnswer::None);

    // A single-book page without its links keeps empty addresses, not a bare ".html".
    const SearchPage bare = parseSearchPage(meta, "Abc", 0);
    ASSERT_EQ(bare.rows.size(), 1u);
    EXPECT_EQ(bare.rows[0].title, "Abc");
    EXPECT_EQ(bare.rows[0].bookUrl, "");
    EXPECT_EQ(bare.rows[0].tocUrl, "");

    const std::string noMatch = toGbk("<div>搜索结果</div><p>没有</p><div class=\"pages\"></div>");
    SearchPage p = parseSearchPage(noMatch, toGbk("雪"), 3);
    EXPECT_EQ(p.answer, SearchAnswer::None);
    EXPECT_EQ(p.pageCount, 0);
    EXPECT_TRUE(p.rows.empty());

    EXPECT_EQ(parseSearchPage("", toGbk("雪"), 0).answer, SearchAnswer::None);  // failed fetch
    EXPECT_EQ(parseSearchPage("", "", 0).answer, SearchAnswer::None);
}

}  // namespace
}  // namespace novel
