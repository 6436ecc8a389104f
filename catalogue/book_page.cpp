#include "catalogue/book_page.h"

#include "web/gbk.h"

namespace novel {

void CurrentBook::setDetails(const BookPage& page) {
    txtPackageUrl = page.txtPackageUrl;
    category = page.category;
    lastUpdate = page.lastUpdate;
    wordCount = page.wordCount;
    synopsis = page.synopsis;
}

CurrentBook currentBookFromRow(const BookRow& row) {
    CurrentBook book;
    book.title = row.title;
    book.author = row.author;
    book.status = row.status;
    book.bookUrl = row.bookUrl;
    book.bookUrlStem = bookUrlStem(row.bookUrl);
    book.tocUrl = row.tocUrl;
    return book;
}

Text bookUrlStem(std::string_view bookUrl) {
    return trimBlanks(replaceText(bookUrl, ".html"));
}

Text tocUrlOf(std::string_view bookUrl) {
    return replaceText(bookUrl, ".html", "/index.html");
}

BookPage parseBookPage(std::string_view page) {
    struct Markers {
        Text txtLeft = toGbk("加入书架</a>】\r\n\t\t\t【<a href=\"");
        Text txtRight = toGbk("\" target=\"_blank\">TXT");
        Text wordCountLeft = toGbk("全文长度</li>\r\n\t\t\t\t<li>");
        Text wordUnit = toGbk("字");
        Text categoryBlockLeft = toGbk("类\u3000\u3000别");
        Text categoryBlockRight = toGbk("作\u3000\u3000者");
        Text categoryItem = toGbk("<li>作品类别</li>");
    };
    static const Markers m;

    BookPage book;
    // The link after the "加入书架" link whose text begins with "TXT" points at a download page;
    // the package itself sits under "packdown_txt_".
    book.txtPackageUrl =
        replaceText(textBetween(page, m.txtLeft, m.txtRight), "txtdown_", "packdown_txt_");
    // The first list item that starts with the century.
    book.lastUpdate = concatTexts("20", textBetween(page, "<li>20", "</li>"));
    book.wordCount = concatTexts(textBetween(page, m.wordCountLeft, m.wordUnit), m.wordUnit);

    const Text block = textBetween(page, m.categoryBlockLeft, m.categoryBlockRight);
    book.category = textBetween(textBetween(block, m.categoryItem, "</li>"), "\">", "</a>");

    Text synopsis = textBetween(page, "CrbsSum\">", "</div>");
    synopsis = replaceText(synopsis, "<br />", "\r\n");
    synopsis = replaceText(synopsis, "<br/>", "\r\n");
    synopsis = replaceText(synopsis, "&nbsp;");
    for (std::string_view fragment : {"www.", ".org", ".net"})
        synopsis = replaceText(synopsis, fragment);
    book.synopsis = std::move(synopsis);
    return book;
}

TitleAuthor keywordsTitleAuthor(std::string_view page) {
    const std::string_view content = viewBetween(page, "<meta name=\"keywords\" content=\"", "\"");
    const TextList pieces = splitText(content, ",", 3);
    TitleAuthor out;
    if (!pieces.empty()) out.title = trimBlanks(pieces[0]);
    if (pieces.size() > 1) out.author = trimBlanks(pieces[1]);
    return out;
}

}  // namespace novel
