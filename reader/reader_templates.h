#pragma once
// Initial texts of the three hidden template boxes of ReaderWindow, from which every reader page is
// built (GBK, lines joined by CR LF, no line break after the last line). Together they open the
// page with "<html>", a style block, the double-click scrolling script and "<center>".

#include <string_view>

namespace novel {

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

}  // namespace novel
