#include "catalogue/book_page.h"

#include <gtest/gtest.h>

#include "web/gbk.h"

namespace novel {
namespace {

const std::string kBookPage = toGbk(
    "<html><body><ul>\r\n"
    "<div class=\"cover\"><img src=\"/covers/11.jpg\" width=\"100\" /></div>\r\n"
    "<li>2014-05-06 12:00</li><li>2099-01-01</li>\r\n"
    "<li>全文长度</li>\r\n\t\t\t\t<li>1523000字</li></ul>\r\n"
    "<table><tr><td>类\u3000\u3000别：</td><td><ul><li>作品类别</li>"
    "<li><a "
    "href=\"/dudu/list1_1.html\">玄幻魔法</a></li></ul></td><td>作\u3000\u3000者：</td></tr></"
    "table>\r\n"
    "【<a href=\"/modules/article/addbookcase.php?id=11\" "
    "target=\"_blank\">加入书架</a>】\r\n\t\t\t"
    "【<a href=\"http://s/modules/article/TxtDown_11.php\" target=\"_blank\">TXT下载</a>】\r\n"
    "<div class=\"CrbsSum\">&nbsp;&nbsp;唐朝<br />第二行<BR/>看 WwW.Site.ORG 或 www.b.Net "
    "。</div>\r\n"
    "</body></html>");

const BrandWords kWords{"demobook", toGbk("演示书城"), toGbk("演 示 书 城")};

TEST(BookPage, Details) {
    const BookPage b = parseBookPage(kBookPage, kWords);
    EXPECT_EQ(b.txtPackageUrl, "http://s/modules/article/packdown_txt_11.php");
    EXPECT_EQ(b.coverUrl, "/covers/11.jpg");
    EXPECT_EQ(b.lastUpdate, "2014-05-06 12:00");
    EXPECT_EQ(toUtf8(b.wordCount), "1523000字");
    EXPECT_EQ(toUtf8(b.category), "玄幻魔法");
    EXPECT_EQ(toUtf8(b.synopsis), "唐朝\r\n第二行\r\n看 Site 或 b 。");
}

TEST(BookPage, MissingPage) {
    const BookPage b = parseBookPage("", kWords);
    EXPECT_EQ(b.txtPackageUrl, "");
    EXPECT_EQ(b.coverUrl, "");
    EXPECT_EQ(b.lastUpdate, "20");
    EXPECT_EQ(toUtf8(b.wordCount), "字");
    EXPECT_EQ(b.category, "");
    EXPECT_EQ(b.synopsis, "");
    EXPECT_EQ(b.title, "");
    EXPECT_EQ(b.author, "");
}

TEST(BookPage, TitleAndAuthorFromTheKeywordsMeta) {
    const BookPage b = parseBookPage(
        toGbk("<meta name=\"keywords\" content=\"　长风 万里 行 , 孤舟听雨 ,长风最新章节\" />"),
        kWords);
    EXPECT_EQ(toUtf8(b.title), "长风 万里 行");
    EXPECT_EQ(toUtf8(b.author), "孤舟听雨");
    const BookMeta onlyTitle = readBookMeta("<meta name=\"keywords\" content=\"T\" />");
    EXPECT_EQ(onlyTitle.title, "T");
    EXPECT_EQ(onlyTitle.author, "");
}

TEST(BookPage, SynopsisLosesBrandWordsAndAdvertising) {
    // The demo site's synopsis: the brand and two addresses inside the site's own sentence.
    const std::string page = toGbk(
        "<div class=\"CrbsSum\">&nbsp;&nbsp;少年出海。<br />&nbsp;&nbsp;本书由演示书城首发，"
        "更多精彩请访问 WWW.DemoBook.Net 或 www.demobook.ORG。</div>");
    EXPECT_EQ(toUtf8(parseBookPage(page, kWords).synopsis), "少年出海。\r\n");
    // Another deployment's brand words are what go.
    const BrandWords other{"abc", toGbk("某书屋"), ""};
    EXPECT_EQ(
        toUtf8(parseBookPage(toGbk("<div class=\"CrbsSum\">某书屋好书ABC</div>"), other).synopsis),
        "好书");
}

TEST(BookPage, CurrentBookFromRow) {
    BookRow row;
    row.title = "t";
    row.author = "a";
    row.status = "s";
    row.bookUrl = toGbk("\u3000http://s/book/11.HTML ");
    row.tocUrl = "http://s/book/11/index.html";
    row.latestChapterUrl = "ignored";

    CurrentBook book = currentBookFromRow(row);
    EXPECT_EQ(book.title, "t");
    EXPECT_EQ(book.author, "a");
    EXPECT_EQ(book.status, "s");
    EXPECT_EQ(book.bookUrl, row.bookUrl);
    EXPECT_EQ(book.bookUrlStem, "http://s/book/11");
    EXPECT_EQ(book.tocUrl, row.tocUrl);
    EXPECT_EQ(book.txtPackageUrl, "");

    // A page without the TXT link leaves the row's values in place.
    book.setDetails(parseBookPage(kBookPage, kWords));
    EXPECT_EQ(book.txtPackageUrl, "http://s/modules/article/packdown_txt_11.php");
    EXPECT_EQ(book.lastUpdate, "2014-05-06 12:00");
    book.setDetails(parseBookPage("<html></html>", kWords));
    EXPECT_EQ(book.txtPackageUrl, "");
    EXPECT_EQ(book.bookUrlStem, "http://s/book/11");
    EXPECT_EQ(book.title, "t");
}

}  // namespace
}  // namespace novel
