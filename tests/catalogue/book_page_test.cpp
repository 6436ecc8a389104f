#include "catalogue/book_page.h"

#include <gtest/gtest.h>

#include "web/gbk.h"

namespace novel {
namespace {

const std::string kBookPage = toGbk(
    "<html><body><ul>\r\n"
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

TEST(BookPage, Details) {
    const BookPage b = parseBookPage(kBookPage);
    EXPECT_EQ(b.txtPackageUrl, "http://s/modules/article/packdown_txt_11.php");
    EXPECT_EQ(b.lastUpdate, "2014-05-06 12:00");
    EXPECT_EQ(toUtf8(b.wordCount), "1523000字");
    EXPECT_EQ(toUtf8(b.category), "玄幻魔法");
    EXPECT_EQ(toUtf8(b.synopsis), "唐朝\r\n第二行\r\n看 Site 或 b 。");
}

TEST(BookPage, MissingPage) {
    const BookPage b = parseBookPage("");
    EXPECT_EQ(b.txtPackageUrl, "");
    EXPECT_EQ(b.lastUpdate, "20");
    EXPECT_EQ(toUtf8(b.wordCount), "字");
    EXPECT_EQ(b.category, "");
    EXPECT_EQ(b.synopsis, "");
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
    book.setDetails(parseBookPage(kBookPage));
    EXPECT_EQ(book.txtPackageUrl, "http://s/modules/article/packdown_txt_11.php");
    EXPECT_EQ(book.lastUpdate, "2014-05-06 12:00");
    book.setDetails(parseBookPage("<html></html>"));
    EXPECT_EQ(book.txtPackageUrl, "");
    EXPECT_EQ(book.bookUrlStem, "http://s/book/11");
    EXPECT_EQ(book.title, "t");
}

}  // namespace
}  // namespace novel
