#include "reader/toc_parser.h"

#include <gtest/gtest.h>

#include "web/gbk.h"

namespace novel {
namespace {

const std::string kBase = "http://s/book/11";

std::string tocPage(std::string_view links, std::string_view end = "如果您认为本站不错") {
    return toGbk(
        "<div class=\"a\"><a href=\"/1.html\">上一页</a></div>\r\n"
        "<div><a href=\"/zip/11.zip\">ZIP下载</a></div>\r\n" +
        std::string(links) + std::string(end) + "\r\n<div><a href=\"/x.html\">尾</a></div>");
}

TEST(TocParser, Links) {
    const auto rows = parseTableOfContents(
        tocPage("<div class=\"dccss\"><a href=\"123.html\">第一章</a></div>\r\n"
                "<div class=\"dccss\"><a href=124.html>第二章</a></div>\r\n"
                "<div class=\"dccss\"><a href=\"125.html\"><b>第三章</b></a></div>\r\n"
                "<div class=\"dccss\"><A HREF=\"126.html\">第四章 完</A></DIV>\r\n"),
        kBase);
    ASSERT_EQ(rows.size(), 4u);
    EXPECT_EQ(rows[0], (ChapterEntry{"1", toGbk("第一章"), kBase + "/123.html"}));
    // No quoted address: the URL ends in "/".
    EXPECT_EQ(rows[1], (ChapterEntry{"2", toGbk("第二章"), kBase + "/"}));
    // A title with markup is cut at its first tag.
    EXPECT_EQ(rows[2], (ChapterEntry{"3", "", kBase + "/125.html"}));
    EXPECT_EQ(rows[3], (ChapterEntry{"4", toGbk("第四章 完"), kBase + "/126.html"}));

    const auto more =
        parseTableOfContents(tocPage("<div><a href=\"9.html\">九</a></div>"), kBase, 7);
    ASSERT_EQ(more.size(), 1u);
    EXPECT_EQ(more[0].id, "8");
}

TEST(TocParser, LinksWrittenAnotherWay) {
    const std::string stem = "http://127.0.0.1:8080/book/4321";
    const auto rows = parseTableOfContents(
        tocPage("<div><a href=\"1001.html\">一</a></div>"
                "<div><a href=\"/book/4321/1002.html\">二</a></div>"
                "<div><a href=\"http://127.0.0.1:8080/book/4321/1003.html\">三</a></div>"
                "<div><a href=\"./1004.html\">四</a></div>"),
        stem);
    ASSERT_EQ(rows.size(), 4u);
    for (size_t i = 0; i < rows.size(); ++i)
        EXPECT_EQ(rows[i].url, stem + "/100" + std::to_string(i + 1) + ".html");
}

TEST(TocParser, MissingSection) {
    EXPECT_TRUE(parseTableOfContents("", kBase).empty());
    // Links without the closing notice are not the chapter list.
    EXPECT_TRUE(
        parseTableOfContents(tocPage("<div><a href=\"1.html\">一</a></div>", ""), kBase).empty());
}

}  // namespace
}  // namespace novel
