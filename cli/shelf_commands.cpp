// The bookshelf of the library: adding a book (its page and table of contents), listing, checking
// for updates and removing, printed as UTF-8 JSON.

#include <nlohmann/json.hpp>

#include "catalogue/book_page.h"
#include "cli/command_handlers.h"
#include "library/shelf_update.h"
#include "web/gbk.h"

namespace novel::cli {
namespace {

using Json = nlohmann::json;

Json utf8List(const TextList& titles) {
    Json out = Json::array();
    for (const Text& t : titles) out.push_back(toUtf8(t));
    return out;
}

Json entryJson(const ShelfBook& book) {
    Json lastRead = nullptr;
    if (book.lastRead) {
        Text chapterTitle;
        for (const ChapterEntry& c : book.toc)
            if (c.url == book.lastRead->chapterUrl) chapterTitle = c.title;
        lastRead = Json{{"chapterUrl", book.lastRead->chapterUrl},
                        {"chapterTitle", toUtf8(chapterTitle)},
                        {"paragraph", book.lastRead->anchor.index}};
    }
    return Json{{"bookUrl", book.bookUrl},
                {"title", toUtf8(book.title)},
                {"author", toUtf8(book.author)},
                {"tocUrl", book.tocUrl},
                {"txtPackageUrl", book.txtPackageUrl},
                {"chapterCount", book.chapterCount},
                {"lastRead", lastRead}};
}

int fail(Context& context, const char* what, const std::string& reason) {
    std::fprintf(context.err, "novel: shelf %s: %s\n", what, reason.c_str());
    return kExitFailure;
}

int add(Context& context, Library& library, const std::string& bookUrl) {
    const FetchResult page = fetchPage(context, bookUrl, RequestStyle::Plain);
    if (!page.ok()) return fail(context, "add", bookUrl + " 读取失败（" + page.problem + "）");
    const BookMeta names = readBookMeta(textOf(page.body));
    if (names.title.empty()) return fail(context, "add", bookUrl + " 不是书的页面");

    ShelfBook book;
    book.bookUrl = bookUrl;
    book.title = names.title;
    book.author = names.author;
    book.tocUrl = tocUrlOf(bookUrl);
    book.txtPackageUrl = parseBookPage(textOf(page.body), BrandWords{}).txtPackageUrl;
    book.coverUrl = context.siteUrl() + "/modules/article/images/nocover.jpg";
    const FetchResult toc = fetchPage(context, book.tocUrl, RequestStyle::Plain);
    if (!toc.ok()) return fail(context, "add", book.tocUrl + " 读取失败（" + toc.problem + "）");
    book.toc = parseTableOfContents(textOf(toc.body), bookUrlStem(bookUrl));
    book.chapterCount = static_cast<int>(book.toc.size());

    const LibraryResult stored = library.addBook(book);
    if (!stored.ok()) return fail(context, "add", stored.problem);
    const std::optional<ShelfBook> kept = library.book(bookUrl);
    printJson(context, entryJson(kept ? *kept : book));
    return kExitOk;
}

int list(Context& context, Library& library) {
    Json books = Json::array();
    for (const ShelfBook& book : library.books(true)) books.push_back(entryJson(book));
    printJson(context, Json{{"books", books}});
    return kExitOk;
}

int update(Context& context, Library& library) {
    if (!library.writable()) return fail(context, "update", library.openProblem());
    Json books = Json::array();
    bool all = true;
    for (const BookCheck& check : checkShelf(library, context.engine(), context.cleaning())) {
        all &= check.ok();
        books.push_back(Json{{"bookUrl", check.bookUrl},
                             {"title", toUtf8(check.title)},
                             {"new", utf8List(check.news.added)},
                             {"removed", utf8List(check.news.removed)},
                             {"retitled", utf8List(check.news.retitled)},
                             {"revised", utf8List(check.news.revised)},
                             {"error", check.ok() ? Json(nullptr) : Json(check.problem)}});
    }
    printJson(context, Json{{"books", books}});
    return all ? kExitOk : kExitFailure;
}

int remove(Context& context, Library& library, const std::string& bookUrl) {
    if (!library.book(bookUrl)) return fail(context, "remove", bookUrl + " 不在书架上");
    const LibraryResult removed = library.removeBook(bookUrl);
    if (!removed.ok()) return fail(context, "remove", removed.problem);
    printJson(context, Json{{"removed", bookUrl}});
    return kExitOk;
}

}  // namespace

int shelfCommand(Context& context, const Arguments& arguments) {
    if (arguments.empty()) return kExitUsage;
    const std::string& what = arguments[0];
    const bool takesUrl = what == "add" || what == "remove";
    if (!takesUrl && what != "list" && what != "update") return kExitUsage;
    if (arguments.size() != (takesUrl ? 2u : 1u)) return kExitUsage;

    if (context.siteUrl().empty())
        return fail(context, what.c_str(), "the demo site could not be started");
    Library* library = context.openLibrary();
    if (!library) return fail(context, what.c_str(), "没有可用的书库");
    if (what == "add") return add(context, *library, arguments[1]);
    if (what == "remove") return remove(context, *library, arguments[1]);
    if (what == "update") return update(context, *library);
    return list(context, *library);
}

}  // namespace novel::cli
