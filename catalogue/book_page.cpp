#include "catalogue/book_page.h"

#include "reader/chapter.h"
#include "web/gbk.h"

namespace novel {

void CurrentBook::setDetails(const BookPage& page) {
    txtPackageUrl = page.txtPackageUrl;
    coverUrl = page.coverUrl;
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

BookMeta readBookMeta(std::string_view page) {
    // The same cut that tells a book's page from a result list.
    const std::string_view meta = viewBetween(page, "keywords", "/>");
    const TextList items = splitText(viewBetween(meta, "content=\"", "\""), ",", 3);
    BookMeta m;
    if (items.size() > 0) m.title = trimBlanks(items[0]);
    if (items.size() > 1) m.author = trimBlanks(items[1]);
    return m;
}

BookPage parseBookPage(std::string_view page, const BrandWords& brandWords) {
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
    BookMeta meta = readBookMeta(page);
    book.title = std::move(meta.title);
    book.author = std::move(meta.author);
    // The link after the "加入书架" link whose text begins with "TXT" points at a download page;
    // the package itself sits under "packdown_txt_".
    book.txtPackageUrl =
        replaceText(textBetween(page, m.txtLeft, m.txtRight), "txtdown_", "packdown_txt_");
    book.coverUrl = textBetween(page, "<div class=\"cover\"><img src=\"", "\"");
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
    book.synopsis = cleanChapterText(synopsis, brandWords);
    return book;
}

}  // namespace novel
