#pragma once
// EPUB 3 export of an assembled book: a zip (libzip) with the stored `mimetype` first, the
// container, a package document, nav and NCX tables of contents, one XHTML file per chapter and the
// cover image when there is one.

#include <string>
#include <string_view>
#include <vector>

#include "download/book_assembly.h"
#include "web/text.h"

namespace novel {

struct EpubChapter {
    std::string title;               // UTF-8
    std::vector<std::string> lines;  // UTF-8, one paragraph each
};

struct EpubBook {
    std::string title;       // UTF-8
    std::string author;      // UTF-8
    std::string identifier;  // e.g. "urn:uuid:..."
    std::string language = "zh-CN";
    std::string modified;  // "YYYY-MM-DDThh:mm:ssZ"; now when empty
    Bytes cover;           // JPEG, PNG, GIF or WebP bytes; no cover when empty or none of these
    std::vector<std::string> preamble;  // lines before the first chapter; no page when empty
    std::vector<EpubChapter> chapters;
};

// A stable "urn:uuid:" identifier for the book at this address (a name-based UUID: the same URL
// always gives the same identifier).
std::string bookIdentifier(std::string_view bookUrl);

// The chapters and preamble of an assembled book, as UTF-8 paragraphs (blank lines dropped).
void fillEpubText(EpubBook* epub, const AssembledBook& book);

// The EPUB file's bytes; empty with *error set (UTF-8, for the user) when libzip failed.
Bytes buildEpub(const EpubBook& book, std::string* error);

// Text escaped for XML character data and attribute values; characters XML forbids are dropped.
std::string xmlEscape(std::string_view utf8);

}  // namespace novel
