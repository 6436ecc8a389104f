#include "demo/demo_pages.h"

#include <algorithm>
#include <cctype>

#include "catalogue/site_config.h"

namespace novel {
namespace {

// Pages are written in UTF-8 here and become GBK once, whole, at the end.
const std::string kBrand{kDemoBrandChinese};
const std::string kIndent = "&nbsp;&nbsp;&nbsp;&nbsp;";
const std::string kBreak = "<br />\r\n<br />\r\n";

std::string latinBrand() {
    return std::string(kDemoBrandLatin);
}

std::string latinBrandUpper() {
    std::string s = latinBrand();
    for (char& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return s;
}

// "demobook" -> "DemoBook": first and middle letters raised, so the mixed case comes out of the
// configured word whatever it is.
std::string latinBrandMixed() {
    std::string s = latinBrand();
    if (s.empty()) return s;
    s[0] = static_cast<char>(std::toupper(static_cast<unsigned char>(s[0])));
    s[s.size() / 2] = static_cast<char>(std::toupper(static_cast<unsigned char>(s[s.size() / 2])));
    return s;
}

std::string percentEncode(std::string_view bytes) {
    static const char* hex = "0123456789ABCDEF";
    std::string out;
    for (unsigned char c : bytes) {
        out += '%';
        out += hex[c >> 4];
        out += hex[c & 15];
    }
    return out;
}

std::string statusText(const DemoBook& book) {
    return book.finished ? "已完成" : "连载中";
}

std::string footer() {
    return "<div "
           "class=\"footer\">本站所有小说均由程序生成，仅供演示。</div>\r\n</body>\r\n</html>\r\n";
}

std::string chapterHeadNotice() {
    return kBrand + " WWW." + latinBrandMixed() + ".Com 欢迎您的光临，本书最新章节尽在" + kBrand +
           "。";
}

std::string chapterTailNotice() {
    return "（本章完）请记住本站网址：www." + latinBrand() + ".com，" +
           std::string(kDemoBrandChineseSpaced) + " " + latinBrandUpper() + " 最快更新！";
}

// The chapters a book's pages show: as generated, or as revised. Indexes run over the chapters
// in reading order.
class Chapters {
  public:
    Chapters(const DemoCatalogue& catalogue, const DemoBook& book, const DemoRevisedBook* revised)
        : catalogue_(catalogue), book_(book), revised_(revised) {}

    int count() const {
        return revised_ ? static_cast<int>(revised_->chapters.size()) : book_.chapterCount;
    }
    int number(int index) const { return revised_ ? at(index).number : index + 1; }
    // -1 when the book has no chapter with this number.
    int indexOf(int number) const {
        if (revised_) return revised_->indexOf(number);
        return number >= 1 && number <= book_.chapterCount ? number - 1 : -1;
    }
    std::string title(int index) const {
        if (revised_ && at(index).title) return *at(index).title;
        return catalogue_.chapterTitle(book_, number(index));
    }
    std::vector<std::string> paragraphs(int index) const {
        if (revised_ && at(index).paragraphs) return *at(index).paragraphs;
        return catalogue_.chapterParagraphs(book_, number(index));
    }

  private:
    const DemoRevisedBook::Chapter& at(int index) const {
        return revised_->chapters[static_cast<size_t>(index)];
    }

    const DemoCatalogue& catalogue_;
    const DemoBook& book_;
    const DemoRevisedBook* revised_;
};

// One chapter as it stands in the TXT package (UTF-8).
std::string packageChapter(const Chapters& chapters, int index) {
    std::string s = chapters.title(index) + "\r\n\r\n";
    for (const auto& p : chapters.paragraphs(index)) s += "    " + p + "\r\n";
    s += "    " + kBrand + " www." + latinBrandUpper() + ".com 提供全文阅读。\r\n\r\n";
    return s;
}

}  // namespace

DemoPages::DemoPages(const DemoCatalogue& catalogue, std::string base)
    : catalogue_(catalogue), base_(std::move(base)) {}

int DemoPages::pageCount(size_t items, int pageSize) {
    return static_cast<int>((items + pageSize - 1) / pageSize);
}

std::string DemoPages::bookUrl(const DemoBook& book) const {
    return base_ + "/book/" + std::to_string(book.id) + ".html";
}

std::string DemoPages::tocUrl(const DemoBook& book) const {
    return base_ + "/book/" + std::to_string(book.id) + "/index.html";
}

std::string DemoPages::chapterUrl(const DemoBook& book, int chapter) const {
    return base_ + "/book/" + std::to_string(book.id) + "/" +
           std::to_string(DemoCatalogue::chapterPageId(book, chapter)) + ".html";
}

std::string DemoPages::txtLinkUrl(const DemoBook& book) const {
    return base_ + "/modules/article/txtdown_" + std::to_string(book.id) + ".txt";
}

std::string DemoPages::packageUrl(const DemoBook& book) const {
    return base_ + "/modules/article/packdown_txt_" + std::to_string(book.id) + ".txt";
}

std::string DemoPages::sizeText(const DemoBook& book) {
    return std::to_string(std::max<int64_t>(1, book.wordCount() * 2 / 1024)) + "K";
}

std::string DemoPages::timeText(const DemoBook& book) {
    return demoDate(book.updateDay).substr(2);
}

std::string DemoPages::navigation() const {
    std::string s = "<div class=\"nav\"><a href=\"" + base_ + "/\">" + kBrand + "首页</a>";
    for (const auto& l : catalogue_.lists())
        s += " | <a href=\"" + base_ + l.pathPrefix + "1.html\">" + l.caption + "</a>";
    s += "</div>\r\n";
    s += "<form class=\"search\" action=\"" + base_ +
         "/modules/article/search.php\" method=\"get\"><select name=\"searchtype\">"
         "<option value=\"articlename\">书名</option><option value=\"author\">作者</option>"
         "</select> <input type=\"text\" name=\"searchkey\" /> <input type=\"hidden\" "
         "name=\"page\" value=\"1\" /><input type=\"submit\" name=\"Submit\" value=\"搜 索\" />"
         "</form>\r\n";
    return s;
}

std::string DemoPages::pageHead(const std::string& title, const std::string& meta) const {
    return "<!DOCTYPE html>\r\n<html>\r\n<head>\r\n"
           "<meta http-equiv=\"Content-Type\" content=\"text/html; charset=gbk\" />\r\n"
           "<title>" +
           title + "</title>\r\n" + meta +
           "<style type=\"text/css\">\r\n"
           "body{font-size:14px;margin:0 auto;width:960px}\r\n"
           "table.grid{width:100%;border-collapse:collapse}\r\n"
           ".grid td,.grid th{border:1px solid #d8d8d8;padding:3px}\r\n"
           ".even{background:#f7f7f7}\r\n"
           ".hottext{color:#c00}\r\n"
           "#text_area{font-size:16px;line-height:180%}\r\n"
           "</style>\r\n</head>\r\n<body>\r\n" +
           navigation();
}

std::string DemoPages::pager(int page, int count, const std::string& urlStart,
                             const std::string& urlEnd) const {
    std::string s = "<div class=\"pages\"><div class=\"pagelink\" id=\"pagelink\">";
    if (count > 0) {
        auto link = [&](int n, const char* cls, const std::string& text) {
            std::string a = "<a href=\"" + urlStart + std::to_string(n) + urlEnd + "\"";
            if (cls) a += std::string(" class=\"") + cls + "\"";
            return a + ">" + text + "</a>";
        };
        s += "<em id=\"pagestats\">" + std::to_string(page) + "/" + std::to_string(count) + "</em>";
        s += link(1, "first", "1");
        if (page > 1 && page <= count) s += link(page - 1, "prev", "&lt;");
        int shown = std::clamp(page, 1, count);
        for (int i = std::max(1, shown - 4); i <= std::min(count, shown + 4); ++i)
            s += i == page ? "<strong>" + std::to_string(i) + "</strong>"
                           : link(i, nullptr, std::to_string(i));
        if (page < count) s += link(page + 1, "next", "&gt;");
        s += link(count, "last", std::to_string(count));
    }
    return s + "</div></div>\r\n";
}

std::string DemoPages::listRow(const DemoBook& book, int number, DemoLayout layout) const {
    const std::string title = book.title;
    const std::string latest = catalogue_.chapterTitle(book, book.chapterCount);
    const std::string latestUrl = chapterUrl(book, book.chapterCount);
    const std::string status =
        book.finished ? "<span class=\"hottext\">已完成</span>" : statusText(book);
    std::string r = "  <tr>\r\n    <td class=\"odd\">" + std::to_string(number) + "</td>\r\n";
    if (layout == DemoLayout::Ranking) {
        r += "    <td class=\"even\"><a href=\"" + bookUrl(book) + "\" target=\"_blank\">" + title +
             "</a> [<a href=\"" + tocUrl(book) + "\" target=\"_blank\">目录</a>]</td>\r\n";
        r += "    <td class=\"odd\"> <a href=\"" + latestUrl +
             "\" target=\"_blank\"><font color=\"#006633\">" + latest + "</a></font></td>\r\n";
        r += "    <td class=\"even\" align=\"center\">" + book.author + "</td>\r\n";
        r += "    <td class=\"odd\" align=\"center\">" + sizeText(book) + "</td>\r\n";
        r += "    <td class=\"even\" align=\"center\">" + timeText(book) + "</td>\r\n";
        r += "    <td class=\"odd\" align=\"center\">" + status + "</td>\r\n";
    } else {
        r += "    <td class=\"odds\"><a href=\"" + bookUrl(book) + "\">" + title + "</a></td>\r\n";
        r += "    <td class=\"even\"> <a href=\"" + latestUrl +
             "\" target=\"_blank\"><font color=\"#006633\">" + latest + "</a></font></td>\r\n";
        r += "    <td class=\"odd\" align=\"center\">" + book.author + "</td>\r\n";
        r += "    <td class=\"even\" align=\"center\">" + sizeText(book) + "</td>\r\n";
        r += "    <td class=\"odd\" align=\"center\">" + timeText(book) + "</td>\r\n";
        r += "    <td class=\"even\" align=\"center\">" + status + "</td>\r\n";
        r += "    <td class=\"even\" align=\"center\">[<a class=\"articlename\" href=\"" +
             tocUrl(book) + "\">目录</a>]</td>\r\n";
    }
    return r + "  </tr>\r\n";
}

std::string DemoPages::searchRow(const DemoBook& book) const {
    const std::string latest = catalogue_.chapterTitle(book, book.chapterCount);
    // The volume name "正文" rides in the link's tooltip.
    std::string r = "  <tr>\r\n";
    r += "    <td class=\"odd\"><a href=\"" + bookUrl(book) + "\">" + book.title + "</a></td>\r\n";
    r += "    <td class=\"even\"><a href=\"" + chapterUrl(book, book.chapterCount) +
         "\" title=\"正文 " + latest + "\" target=\"_blank\">" + latest + "</a></td>\r\n";
    r += "    <td class=\"odd\">" + book.author + "</td>\r\n";
    r += "    <td class=\"even\">" + sizeText(book) + "</td>\r\n";
    r += "    <td class=\"odd\" align=\"center\">" + timeText(book) + "</td>\r\n";
    r += "    <td class=\"even\" align=\"center\">" + statusText(book) + "</td>\r\n";
    return r + "  </tr>\r\n";
}

Text DemoPages::homePage() const {
    std::string s = pageHead(kBrand + "_演示小说站", "");
    s += "<div id=\"content\">\r\n<h1>" + kBrand + "</h1>\r\n<ul class=\"lists\">\r\n";
    for (const auto& l : catalogue_.lists())
        s += "<li><a href=\"" + base_ + l.pathPrefix + "1.html\">" + l.caption + "</a>（" +
             std::to_string(l.bookIds.size()) + "本）</li>\r\n";
    s += "</ul>\r\n<h2>推荐阅读</h2>\r\n<ul class=\"books\">\r\n";
    for (int id = 1; id <= 6; ++id) {
        const DemoBook* b = catalogue_.book(id);
        s += "<li><a href=\"" + bookUrl(*b) + "\">" + b->title + "</a> " + b->author + "</li>\r\n";
    }
    s += "</ul>\r\n</div>\r\n" + footer();
    return toGbk(s);
}

Text DemoPages::listPage(const DemoList& list, int page) const {
    const int count = pageCount(list.bookIds.size(), DemoCatalogue::kListPageSize);
    if (page < 1 || page > count) return {};
    const DemoLayout layout = list.layoutOfPage(page);
    std::string s = pageHead(list.caption + "_" + kBrand, "");
    s += "<div id=\"content\">\r\n<table class=\"grid\" align=\"center\">\r\n";
    s += "<caption>" + kBrand + "网上书库 - " + list.caption + "</caption>\r\n";
    s += "  <tr align=\"center\">\r\n    <th>" +
         std::string(layout == DemoLayout::Ranking ? "排名" : "序号") +
         "</th>\r\n    <th>文章名称</th>\r\n    <th>最新章节</th>\r\n    <th>作者</th>\r\n"
         "    <th>字数</th>\r\n    <th>更新</th>\r\n    <th>状态</th>\r\n";
    if (layout == DemoLayout::Category) s += "    <th>目录</th>\r\n";
    s += "  </tr>\r\n";
    const size_t first = static_cast<size_t>(page - 1) * DemoCatalogue::kListPageSize;
    const size_t last = std::min(list.bookIds.size(), first + DemoCatalogue::kListPageSize);
    for (size_t i = first; i < last; ++i)
        s += listRow(*catalogue_.book(list.bookIds[i]), static_cast<int>(i + 1), layout);
    s += "</table>\r\n";
    s += pager(page, count, base_ + list.pathPrefix, ".html");
    s += "</div>\r\n" + footer();
    return toGbk(s);
}

Text DemoPages::searchAnswer(std::string_view gbkKeyword, bool byAuthor, int page) const {
    const std::vector<int> ids = catalogue_.search(gbkKeyword, byAuthor);
    if (ids.size() == 1) return bookPage(*catalogue_.book(ids.front()));

    // No keywords meta here: the reader takes a keywords meta that holds the keyword for a book
    // page.
    std::string s = pageHead("小说搜索_" + kBrand, "");
    s += "<div id=\"content\">\r\n<div class=\"title\">搜索结果</div>\r\n";
    if (ids.empty()) {
        s += "<div "
             "class=\"blockcontent\">对不起，没有找到相关的小说，请换一个关键字再试。</div>\r\n";
        s += pager(0, 0, "", "");
    } else {
        const int count = pageCount(ids.size(), DemoCatalogue::kSearchPageSize);
        s += "<table class=\"grid\" align=\"center\">\r\n";
        s += "  <tr align=\"center\">\r\n    <th>文章名称</th>\r\n    <th>最新章节</th>\r\n"
             "    <th>作者</th>\r\n    <th>字数</th>\r\n    <th>更新</th>\r\n    <th>状态</th>\r\n"
             "  </tr>\r\n";
        if (page >= 1 && page <= count) {
            const size_t first = static_cast<size_t>(page - 1) * DemoCatalogue::kSearchPageSize;
            const size_t last = std::min(ids.size(), first + DemoCatalogue::kSearchPageSize);
            for (size_t i = first; i < last; ++i) s += searchRow(*catalogue_.book(ids[i]));
        }
        s += "</table>\r\n";
        const std::string key = percentEncode(gbkKeyword);
        const std::string start = base_ + "/modules/article/search.php?" +
                                  (byAuthor ? "searchtype=author&amp;searchkey=" + key +
                                                  "&amp;Submit=%CB%D1+%CB%F7&amp;page="
                                            : "searchkey=" + key + "&amp;page=");
        s += pager(page, count, start, "");
    }
    s += "</div>\r\n" + footer();
    return toGbk(s);
}

Text DemoPages::bookPage(const DemoBook& book) const {
    const std::string category = DemoCatalogue::categoryName(book.category);
    const std::string categoryUrl =
        base_ + "/dudu/list" + std::to_string(book.category) + "_1.html";
    const std::string t = book.title;
    std::string s = pageHead(t + "_" + book.author + "_" + kBrand,
                             "<meta name=\"keywords\" content=\"" + t + "," + book.author + "," +
                                 t + "最新章节," + t + "全文阅读," + t + "TXT下载\" />\r\n" +
                                 "<meta name=\"description\" content=\"" + kBrand + "提供" +
                                 book.author + "的小说《" + t + "》全文阅读与TXT下载。\" />\r\n");
    // Only the book's own values may start with "20" inside <li>: the update date must be the
    // first such item on the page.
    const std::string authorSearch =
        base_ + "/modules/article/search.php?searchtype=author&amp;searchkey=" +
        percentEncode(toGbk(book.author)) + "&amp;Submit=%CB%D1+%CB%F7&amp;page=1";
    auto attr = [](const std::string& label, const std::string& name, const std::string& value) {
        return "\t\t\t<span>" + label + "</span>\r\n\t\t\t<ul>\r\n\t\t\t\t<li>" + name +
               "</li>\r\n\t\t\t\t<li>" + value + "</li>\r\n\t\t\t</ul>\r\n";
    };
    s += "<div id=\"content\">\r\n";
    s += "<div class=\"crumb\"><a href=\"" + base_ + "/\">" + kBrand + "</a> &gt; <a href=\"" +
         categoryUrl + "\">" + category + "</a> &gt; " + t + "</div>\r\n";
    s += "<div id=\"bookinfo\">\r\n";
    s += "\t<div class=\"cover\"><img src=\"" + base_ +
         "/modules/article/images/nocover.jpg\" width=\"100\" height=\"136\" alt=\"" + t +
         "\" /></div>\r\n";
    s += "\t<div class=\"info\">\r\n\t\t<h1>" + t + "</h1>\r\n\t\t<div class=\"attrs\">\r\n";
    s += attr("类　　别", "作品类别", "<a href=\"" + categoryUrl + "\">" + category + "</a>");
    s += attr("作　　者", "书籍作者",
              "<a href=\"" + authorSearch + "\" target=\"_blank\">" + book.author + "</a>");
    s += attr("状　　态", "写作进度", "<span style=\"color:blue\">" + statusText(book) + "</span>");
    s += attr("更　　新", "更新时间", demoDate(book.updateDay));
    s += attr("字　　数", "全文长度", std::to_string(book.wordCount()) + "字");
    s += "\t\t</div>\r\n";
    s += "\t\t<div class=\"latest\"><strong>最新章节</strong> <a href=\"" +
         chapterUrl(book, book.chapterCount) + "\" target=\"_blank\">" +
         catalogue_.chapterTitle(book, book.chapterCount) + "</a></div>\r\n";
    s += "\t\t<div class=\"CrbsSum\">" + kIndent + catalogue_.synopsis(book) + "<br />" + kIndent +
         "本书由" + kBrand + "首发，更多精彩请访问 WWW." + latinBrandMixed() + ".Net 或 www." +
         latinBrand() + ".ORG。</div>\r\n";
    s += "\t\t<div class=\"CrbsLink\"><a href=\"" + tocUrl(book) +
         "\" target=\"_blank\">点击阅读</a></div>\r\n";
    s += "\t\t<div class=\"links\">【<a href=\"" + tocUrl(book) + "\">开始阅读</a>】【<a href=\"" +
         base_ + "/modules/article/addbookcase.php?bid=" + std::to_string(book.id) +
         "\" target=\"_blank\">加入书架</a>】\r\n\t\t\t【<a href=\"" + txtLinkUrl(book) +
         "\" target=\"_blank\">TXT下载</a>】【<a href=\"" + base_ +
         "/modules/article/uservote.php?id=" + std::to_string(book.id) +
         "\" target=\"_blank\">推荐本书</a>】</div>\r\n";
    s += "\t</div>\r\n</div>\r\n</div>\r\n" + footer();
    return toGbk(s);
}

Text DemoPages::tableOfContents(const DemoBook& book, const DemoRevisedBook* revised) const {
    const Chapters chapters(catalogue_, book, revised);
    std::string s = pageHead(book.title + "最新章节列表_" + kBrand, "");
    s += "<div id=\"content\">\r\n";
    s += "<div class=\"crumb\"><a href=\"" + base_ + "/\">" + kBrand + "</a> &gt; <a href=\"" +
         bookUrl(book) + "\">" + book.title + "</a> &gt; 章节列表</div>\r\n";
    s += "<h1>" + book.title + "</h1>\r\n";
    s += "<div class=\"info\">作者：" + book.author + "</div>\r\n";
    s += "<div class=\"down\"><a href=\"" + txtLinkUrl(book) + "\" target=\"_blank\">TXT下载</a> " +
         "<a href=\"" + packageUrl(book) + "\">ZIP下载</a></div>\r\n";
    s += "<div class=\"chapters\">\r\n";
    for (int i = 0; i < chapters.count(); ++i)
        s += "<div class=\"dccss\"><a href=\"" +
             std::to_string(DemoCatalogue::chapterPageId(book, chapters.number(i))) + ".html\">" +
             chapters.title(i) + "</a></div>\r\n";
    s += "</div>\r\n";
    s += "<div class=\"notice\">如果您认为本书不错，请把" + kBrand + "推荐给您的朋友！</div>\r\n";
    s += "</div>\r\n" + footer();
    return toGbk(s);
}

Text DemoPages::chapterPage(const DemoBook& book, int chapter,
                            const DemoRevisedBook* revised) const {
    const Chapters chapters(catalogue_, book, revised);
    const int index = chapters.indexOf(chapter);
    if (index < 0) return {};
    const std::string title = chapters.title(index);
    auto pageOf = [&](int i) {
        if (i < 0 || i >= chapters.count()) return std::string("index.html");
        return std::to_string(DemoCatalogue::chapterPageId(book, chapters.number(i))) + ".html";
    };
    const std::string links = "<div class=\"links\"><a href=\"" + pageOf(index - 1) +
                              "\">上一章</a> | <a href=\"index.html\">返回目录</a> | <a href=\"" +
                              pageOf(index + 1) + "\">下一章</a></div>\r\n";
    std::string s = pageHead(title + "_" + book.title + "_" + kBrand, "");
    s += "<div id=\"content\">\r\n";
    s += "<div class=\"crumb\"><a href=\"" + base_ + "/\">" + kBrand + "</a> &gt; <a href=\"" +
         bookUrl(book) + "\">" + book.title + "</a> &gt; " + title + "</div>\r\n";
    s += "<h1>" + title + "</h1>\r\n" + links;
    s += "<div id=\"text_area\">" + kIndent + chapterHeadNotice() + kBreak;
    for (const auto& p : chapters.paragraphs(index)) s += kIndent + p + kBreak;
    s += kIndent + chapterTailNotice() + "<br />\r\n</div>\r\n";
    s += links + "</div>\r\n" + footer();
    return toGbk(s);
}

Text DemoPages::notFoundPage() const {
    std::string s = pageHead("页面不存在_" + kBrand, "");
    s += "<div id=\"content\"><h1>404</h1><p>对不起，您访问的页面不存在。</p></div>\r\n" + footer();
    return toGbk(s);
}

Bytes DemoPages::txtPackage(const DemoBook& book, const DemoRevisedBook* revised) const {
    const Chapters chapters(catalogue_, book, revised);
    Bytes out = toGbk("《" + book.title + "》\r\n作者：" + book.author + "\r\n\r\n本书由" + kBrand +
                      "（Www." + latinBrandMixed() + ".Com）整理收录，仅供试读。\r\n\r\n");
    out.reserve(static_cast<size_t>(book.wordCount()) * 2 + out.size() +
                static_cast<size_t>(book.chapterCount) * 128);
    // Chapter by chapter, so the UTF-8 form of a large book never exists whole.
    for (int i = 0; i < chapters.count(); ++i) out += toGbk(packageChapter(chapters, i));
    return out;
}

const Bytes& DemoPages::benchBlock() {
    static const Bytes block = [] {
        constexpr size_t kSize = 1 << 20;
        const DemoCatalogue& c = DemoCatalogue::shared();
        const DemoBook& b = *c.book(demo_books::kThousands);
        Bytes text;
        const Chapters chapters(c, b, nullptr);
        for (int i = 0; text.size() < kSize; ++i) text += toGbk(packageChapter(chapters, i));
        // Cut at a character boundary, then pad with blanks to the exact size so the blocks can
        // be joined without splitting a character.
        size_t end = 0;
        while (end + charLengthAt(text, end) <= kSize - 2) end += charLengthAt(text, end);
        text.resize(end);
        text.append(kSize - 2 - end, ' ');
        text += "\r\n";
        return text;
    }();
    return block;
}

}  // namespace novel
