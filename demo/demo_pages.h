#pragma once
// The demo site's pages in the site's own markup, as GBK bytes. Pure functions of the catalogue
// and the base URL (links are absolute, as the readers of these pages use them unresolved).

#include <string>
#include <string_view>

#include "demo/demo_catalogue.h"
#include "demo/demo_revisions.h"
#include "web/text.h"

namespace novel {

class DemoPages {
  public:
    // base: "http://127.0.0.1:PORT", no trailing slash.
    DemoPages(const DemoCatalogue& catalogue, std::string base);

    const DemoCatalogue& catalogue() const { return catalogue_; }
    const std::string& base() const { return base_; }

    static int pageCount(size_t items, int pageSize);

    Text homePage() const;
    // Page `page` (1-based) of a list; empty when the page does not exist.
    Text listPage(const DemoList& list, int page) const;
    // The site's answer to a search: the result list, the book's own page when exactly one book
    // matches, or a result page without results. gbkKeyword is the decoded keyword.
    Text searchAnswer(std::string_view gbkKeyword, bool byAuthor, int page) const;
    Text bookPage(const DemoBook& book) const;
    // `revised`, when given, holds the book's chapters in place of the generated ones.
    Text tableOfContents(const DemoBook& book, const DemoRevisedBook* revised = nullptr) const;
    // Empty when the book has no chapter with that number (the number in its page id).
    Text chapterPage(const DemoBook& book, int chapter,
                     const DemoRevisedBook* revised = nullptr) const;
    Text notFoundPage() const;

    // The whole book as one GBK text file (the TXT package).
    Bytes txtPackage(const DemoBook& book, const DemoRevisedBook* revised = nullptr) const;
    // One MiB of package-like text; benchmark packages repeat it.
    static const Bytes& benchBlock();

    std::string bookUrl(const DemoBook& book) const;  // <base>/book/N.html
    std::string tocUrl(const DemoBook& book) const;   // <base>/book/N/index.html
    std::string chapterUrl(const DemoBook& book, int chapter) const;
    std::string txtLinkUrl(const DemoBook& book) const;  // the book page's TXT link
    std::string packageUrl(const DemoBook& book) const;  // the same with packdown_txt_

    // How lists and search results print a book's size and last update.
    static std::string sizeText(const DemoBook& book);  // "22460K"
    static std::string timeText(const DemoBook& book);  // "19-12-31"

  private:
    std::string listRow(const DemoBook& book, int number, DemoLayout layout) const;
    std::string searchRow(const DemoBook& book) const;
    std::string pager(int page, int count, const std::string& urlStart,
                      const std::string& urlEnd) const;
    std::string pageHead(const std::string& title, const std::string& meta) const;
    std::string navigation() const;

    const DemoCatalogue& catalogue_;
    std::string base_;
};

// The default cover, a small generated picture encoded once as JPEG.
const Bytes& demoCoverJpeg();

}  // namespace novel
