#pragma once
// A chapter page's text, cleaned of the site's address fragments and brand words, and ReaderPage,
// the local HTML page the reader shows it in.

#include <string_view>
#include <vector>

#include "catalogue/site_config.h"
#include "reader/reader_layout.h"
#include "web/text.h"

namespace novel {

// Initial texts of the three template boxes of ReaderWindow (GBK, lines joined by CR LF, no line
// break after the last line). Together they open the page with "<html>", a style block, the
// double-click scrolling script and "<center>".
// clang-format off
inline constexpr std::string_view kPageHeadTemplate =
    "<html>\r\n"
    "\r\n"
    "<style type=\"text/css\">\r\n"
    "<!--\r\n"
    "body,td,th {\r\n"
    "\tfont-family: \xCB\xCE\xCC\xE5;\r\n"  // 宋体
    "\tfont-size:28px;\r\n"
    "\tcolor:#660000;\r\n"
    "}";

inline constexpr std::string_view kPageBodyStyleTemplate =
    "body {\r\n"
    "\tbackground-color:#000000;\r\n"
    "\t//background-image: url(shu.gif);\r\n"
    "}\r\n"
    "-->\r\n"
    "</style>";

inline constexpr std::string_view kPageScriptTemplate =
    "<script language=\"JavaScript\" type=\"text/JavaScript\">\r\n"
    // 双击鼠标滚动屏幕的代码
    "//\xCB\xAB\xBB\xF7\xCA\xF3\xB1\xEA\xB9\xF6\xB6\xAF\xC6\xC1\xC4\xBB\xB5\xC4\xB4\xFA\xC2\xEB\r\n"
    "var currentpos,timer;\r\n"
    "function initialize()\r\n"
    "{\r\n"
    "timer=setInterval (\"scrollwindow ()\",80);\r\n"
    "}\r\n"
    "function sc()\r\n"
    "{\r\n"
    "clearInterval(timer);\r\n"
    "}\r\n"
    "function scrollwindow()\r\n"
    "{\r\n"
    "currentpos=document.body.scrollTop;\r\n"
    "window.scroll(0,++currentpos);\r\n"
    "if (currentpos !=document.body.scrollTop)\r\n"
    "sc();\r\n"
    "}\r\n"
    "document.onmousedown=sc\r\n"
    "document.ondblclick=initialize\r\n"
    "</script>\r\n"
    "\r\n"
    "\r\n"
    "\r\n"
    "\r\n"
    "<SCRIPT language=javascript type=text/javascript>\r\n"
    "<!--\r\n"
    "document.oncontextmenu=new Function('event.returnValue=false;');\r\n"
    "//document.onselectstart=new Function('event.returnValue=false;');\r\n"
    "-->\r\n"
    "  </SCRIPT>\r\n"
    "\r\n"
    "\r\n"
    "\r\n"
    "\r\n"
    " \r\n"
    "\r\n"
    "\r\n"
    "\r\n"
    "<center>";
// clang-format on

// The chapter's text as the site wrote it (HTML): from the text area up to the first "</div>"
// after it; empty when the page lacks either.
Text cutChapterText(std::string_view page);

// Removes the site's advertising sentences, then ".com", "www.", the Chinese, spaced Chinese and
// Latin brand words, letter case ignored (an empty brand word is skipped).
Text cleanChapterText(std::string_view text, const BrandWords& brandWords);

// The chapterText of a fetched chapter page: cut, cleaned, then sanitized last, so that no removal
// can join the pieces of a tag or an attribute together again.
Text chapterTextFromPage(std::string_view page, const BrandWords& brandWords);

// The paragraphs of a chapter text, in order: the runs between line breaks ("<br>", "<br />",
// "</br>", any letter case) and paragraph tags ("<p ...>", "</p>"), each without the blanks the
// site indents and pads it with (ASCII white space, "&nbsp;", the ideographic blank), empty runs
// left out, as is half a character at the very end of the text. The views point into `chapterText`;
// each starts and ends on a character boundary. Paragraph i of this list is the one the page shows
// as <p id="p{i}">, so a reading position can be kept as a paragraph index. Splitting a paragraph
// again yields that paragraph alone.
std::vector<std::string_view> splitParagraphs(std::string_view chapterText);

// The paragraphs as the page shows them: <p id="p0">first</p><p id="p1">second</p>...
Text paragraphsHtml(std::string_view chapterText);

// The bytes of ReaderPage: the three templates, the chapter title, "</br></br>", the paragraphs
// (paragraphsHtml) and "</center>". After the second template come two style blocks: the one
// that maps the head template's font choice onto installed faces (fontFamilyStyle) and the one
// that sets the text as a book column (readerLayoutStyle). The templates keep their format; only
// the generated page carries these rules.
Text buildReaderPage(std::string_view headTemplate, std::string_view bodyStyleTemplate,
                     std::string_view scriptTemplate, std::string_view chapterTitle,
                     std::string_view chapterText, const ReaderLayout& layout = {});

}  // namespace novel
