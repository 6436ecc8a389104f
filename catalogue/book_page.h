#pragma once
// A book's page on the site: the TXT package link and the details shown in BookDetailWindow, and
// CurrentBook, the book handed from the catalogue to the reader, the bookmarks and the download.

#include <string_view>

#include "catalogue/list_parser.h"
#include "catalogue/site_config.h"
#include "web/text.h"

namespace novel {

// The title and the author that a book's page names first in its keywords meta
// (content="TITLE,AUTHOR,…"), blanks trimmed; empty when the page has no such meta.
struct BookMeta {
    Text title;
    Text author;
    friend bool operator==(const BookMeta&, const BookMeta&) = default;
};
BookMeta readBookMeta(std::string_view page);

// What the book's page gives.
struct BookPage {
    Text title;          // from the keywords meta
    Text author;         // from the keywords meta
    Text txtPackageUrl;  // empty when the page has no TXT link
    Text coverUrl;       // the cover image as the page links it; empty without one
    Text category;
    Text lastUpdate;  // "20" + the date; just "20" when the page lacks it
    Text wordCount;   // the count + "字"; just "字" when the page lacks it
    // Line breaks as CR LF; the site's address fragments, brand words and advertising sentences
    // removed as from a chapter.
    Text synopsis;

    friend bool operator==(const BookPage&, const BookPage&) = default;
};

struct CurrentBook {
    Text title;
    Text author;
    Text status;
    Text bookUrl;
    Text bookUrlStem;  // base of the chapter URLs
    Text tocUrl;
    Text txtPackageUrl;
    Text coverUrl;  // as the book's page links it
    Text category;
    Text lastUpdate;
    Text wordCount;
    Text synopsis;

    // Takes over the details read from the book's page.
    void setDetails(const BookPage& page);
    friend bool operator==(const CurrentBook&, const CurrentBook&) = default;
};

// The book of a list row, without the details of its page yet.
CurrentBook currentBookFromRow(const BookRow& row);

// bookUrl without any ".html" (letter case ignored), blanks trimmed at both ends.
Text bookUrlStem(std::string_view bookUrl);

// The table of contents of a book page: BOOK.html -> BOOK/index.html.
Text tocUrlOf(std::string_view bookUrl);

BookPage parseBookPage(std::string_view page, const BrandWords& brandWords);

}  // namespace novel
