#include "reader/chapter_html.h"

#include <gtest/gtest.h>

#include "web/gbk.h"

namespace novel {
namespace {

std::string clean(std::string_view utf8) {
    return toUtf8(sanitizeChapterHtml(toGbk(utf8)));
}

TEST(ChapterHtml, TextAndLineBreaksStay) {
    const std::string text =
        "&nbsp;&nbsp;&nbsp;&nbsp;第一章 开始<br />\r\n<br />\r\n<p>他说：“好。”</p><BR><br/>"
        "<font color=\"red\">红</font>";
    EXPECT_EQ(clean(text),
              "&nbsp;&nbsp;&nbsp;&nbsp;第一章 开始<br />\r\n<br />\r\n<p>他说：“好。”</p><BR><br />"
              "<font color=\"red\">红</font>");
    EXPECT_EQ(clean("1 < 2 > 0 <3 <"), "1 &lt; 2 > 0 &lt;3 &lt;");
    EXPECT_EQ(clean(""), "");
}

TEST(ChapterHtml, ActiveElementsGoWithTheirContent) {
    EXPECT_EQ(clean("a<script>alert('<b>')</script>b<SCRIPT src=x></SCRIPT >c"), "abc");
    EXPECT_EQ(clean("a<iframe src=\"http://x/\">inner</iframe>b"), "ab");
    EXPECT_EQ(clean("a<style>body{display:none}</style>b<object data=x><p>f</p></object>c"), "abc");
    EXPECT_EQ(clean("a<meta http-equiv=\"refresh\" content=\"0;url=http://x/\">b<embed src=x>"
                    "<form action=x>c<input name=q><button>d</button></form><base href=x>"),
              "abcd");
    // A script that never ends takes the rest with it, as in the page.
    EXPECT_EQ(clean("a<script>x</scriptx>b"), "a");
    // An end tag inside an attribute still ends a raw-text element in the page.
    EXPECT_EQ(clean("<noscript><p title=\"</noscript><img src=x onerror=alert(1)>\"></noscript>z"),
              "<img src=\"x\">\">z");
    EXPECT_EQ(clean("a<!-- <script>x</script> -->b<!-->c<!DOCTYPE html>d<?xml x?>e</ x>f"),
              "abcdef");
}

TEST(ChapterHtml, HandlersAndScriptAddressesGo) {
    EXPECT_EQ(clean("<img src=x onerror=alert(1)>"), "<img src=\"x\">");
    EXPECT_EQ(clean("<img\nsrc='a\"b'\n\tOnError = \"x\" ONLOAD=y/onclick=z>"),
              "<img src=\"a&quot;b\">");
    EXPECT_EQ(clean("<p/onmouseover=x>t</p>"), "<p>t</p>");
    // An unquoted value runs to the next blank: "/onclick" is part of it, not a handler.
    EXPECT_EQ(clean("<a href=x/onclick=y>t</a>"), "<a href=\"x/onclick=y\">t</a>");
    for (const char* address :
         {"javascript:go()", " JavaScript:go()", "java\tscript:go()", "jav&#x61;script:go()",
          "jav&#97script:go()", "javascript&colon;go()", "vbscript:x"})
        EXPECT_EQ(clean(std::string("<a href=\"") + address + "\">t</a>"), "<a>t</a>") << address;
    EXPECT_EQ(clean("<a href=\"http://x/1.html\" title=\"script\">t</a>"),
              "<a href=\"http://x/1.html\" title=\"script\">t</a>");
}

TEST(ChapterHtml, GbkAndOnceIsEnough) {
    // 0xB0 0x57 is a character whose trail byte reads as 'W'; it is kept whole.
    const std::string gbk = "<p title=\"\xB0\x57\">\xB0\x57</p>\xB0\x6F\x6E";
    EXPECT_EQ(sanitizeChapterHtml(gbk), gbk);
    for (std::string_view input : {"<a b='\"' c=d\"e>", "<p a=\">\"<", "<x =y a==b>",
                                   "<svg/onload=1>t", "<<a>>", "<br/ >", "</p a=\"b\">"}) {
        const Text once = sanitizeChapterHtml(input);
        EXPECT_EQ(sanitizeChapterHtml(once), once) << input;
    }
    EXPECT_EQ(sanitizeChapterHtml("<x =y a==b>"), "<x a=\"=b\">");
    // An unfinished tag at the end shows nothing in the page either.
    EXPECT_EQ(sanitizeChapterHtml("ok<img src=\"x"), "ok");
}

}  // namespace
}  // namespace novel
