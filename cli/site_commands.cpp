// The commands that read the site: the list table, list pages, searches, book pages, tables of
// contents and chapters, printed as UTF-8 JSON; and serving the demo site.

#include <nlohmann/json.hpp>

#include <csignal>
#include <thread>

#include "bookmarks/bookmark_file.h"
#include "catalogue/book_page.h"
#include "catalogue/list_parser.h"
#include "catalogue/search_parser.h"
#include "catalogue/site_urls.h"
#include "cli/command_handlers.h"
#include "demo/demo_command_line.h"
#include "demo/demo_site.h"
#include "library/chapter_source.h"
#include "reader/chapter.h"
#include "reader/toc_parser.h"

namespace novel::cli {
namespace {

using Json = nlohmann::json;

Json utf8(std::string_view gbk) {
    return toUtf8(gbk);
}

void print(Context& context, const Json& value) {
    printJson(context, value);
}

const char* parserName(PageParser parser) {
    switch (parser) {
        case PageParser::Ranking:
            return "ranking";
        case PageParser::Category:
            return "category";
        case PageParser::Search:
            return "search";
        case PageParser::None:
            break;
    }
    return "none";
}

Json bookRowJson(const BookRow& row) {
    return Json{{"id", utf8(row.id)},
                {"title", utf8(row.title)},
                {"latestChapter", utf8(row.latestChapter)},
                {"author", utf8(row.author)},
                {"size", utf8(row.size)},
                {"time", utf8(row.time)},
                {"status", utf8(row.status)},
                {"bookUrl", utf8(row.bookUrl)},
                {"latestChapterUrl", utf8(row.latestChapterUrl)},
                {"tocUrl", utf8(row.tocUrl)}};
}

Json rowsJson(const std::vector<BookRow>& rows) {
    Json out = Json::array();
    for (const BookRow& row : rows) out.push_back(bookRowJson(row));
    return out;
}

// Exit status after printing: a fetch that brought nothing back is a failure, said in one line.
int afterFetch(Context& context, const char* command, const std::string& url,
               const FetchResult& page) {
    const Bytes& body = pageBytes(page);
    const std::string& problem = page.problem;
    if (!body.empty() && problem.empty()) return kExitOk;
    if (body.empty()) {
        std::fprintf(context.err, "novel: %s: nothing came back from %s (%s)\n", command,
                     url.c_str(), problem.empty() ? "empty page" : problem.c_str());
    } else {
        std::fprintf(context.err, "novel: %s: %s answered with an error (%s)\n", command,
                     url.c_str(), problem.c_str());
    }
    return kExitFailure;
}

bool siteUnavailable(Context& context, const std::string& site) {
    if (!site.empty()) return false;
    std::fprintf(context.err, "novel: the demo site could not be started\n");
    return true;
}

}  // namespace

void printJson(Context& context, const nlohmann::json& value) {
    const std::string text = value.dump(-1, ' ', false, Json::error_handler_t::replace);
    std::fprintf(context.out, "%s\n", text.c_str());
    std::fflush(context.out);
}

std::optional<int> parseCount(const std::string& text) {
    if (text.empty() || text.size() > 9) return std::nullopt;
    for (char c : text)
        if (c < '0' || c > '9') return std::nullopt;
    return std::stoi(text);
}

int listsCommand(Context& context, const Arguments& arguments) {
    if (!arguments.empty()) return kExitUsage;
    Json lists = Json::array();
    for (size_t i = 0; i < kCatalogueList.size(); ++i) {
        const CatalogueEntry& entry = kCatalogueList[i];
        if (entry.searchMode()) continue;
        lists.push_back(Json{{"index", i},
                             {"caption", entry.caption},
                             {"path", entry.pathPrefix},
                             {"firstPage", parserName(entry.firstPage)},
                             {"pageTurns", parserName(entry.pageTurns)}});
    }
    print(context, lists);
    return kExitOk;
}

int listCommand(Context& context, const Arguments& arguments) {
    if (arguments.empty() || arguments.size() > 2) return kExitUsage;
    std::optional<int> index = parseCount(arguments[0]);
    std::optional<int> page = arguments.size() == 2 ? parseCount(arguments[1]) : 1;
    if (!index || *index < 1 || *index >= static_cast<int>(kCatalogueList.size()) ||
        kCatalogueList[*index].searchMode() || !page || *page < 1)
        return kExitUsage;

    const std::string site = context.siteUrl();
    if (siteUnavailable(context, site)) return kExitFailure;
    const CatalogueEntry& entry = kCatalogueList[*index];
    const PageParser parser = *page == 1 ? entry.firstPage : entry.pageTurns;
    const std::string url = listPageUrl(site, *index, *page);
    const FetchResult fetched = fetchPage(context, url);
    const ListPage list =
        parseListPage(textOf(pageBytes(fetched)),
                      parser == PageParser::Ranking ? ListLayout::Ranking : ListLayout::Category);
    print(context,
          Json{{"url", url}, {"pageCount", list.pageCount}, {"rows", rowsJson(list.rows)}});
    return afterFetch(context, "list", url, fetched);
}

int searchCommand(Context& context, const Arguments& arguments) {
    if (arguments.size() < 2 || arguments.size() > 3) return kExitUsage;
    if (arguments[0] != "title" && arguments[0] != "author") return kExitUsage;
    std::optional<int> page = arguments.size() == 3 ? parseCount(arguments[2]) : 1;
    if (!page || *page < 1) return kExitUsage;

    const std::string site = context.siteUrl();
    if (siteUnavailable(context, site)) return kExitFailure;
    const Text keyword = toGbk(arguments[1]);
    const SearchType type = arguments[0] == "title" ? SearchType::Title : SearchType::Author;
    const std::string url = searchUrl(site, type, keyword, *page);
    const FetchResult fetched = fetchPage(context, url);
    const SearchPage result = parseSearchPage(textOf(pageBytes(fetched)), keyword, 0);

    Json out{{"url", url}, {"rows", rowsJson(result.rows)}};
    switch (result.answer) {
        case SearchAnswer::Single:
            out["answer"] = "single";
            out["pageCount"] = result.pageCount;
            break;
        case SearchAnswer::List:
            out["answer"] = "list";
            out["pageCount"] = result.pageCount;
            break;
        case SearchAnswer::None:
            out["answer"] = "none";
            out["pageCount"] = nullptr;
            break;
    }
    print(context, out);
    return afterFetch(context, "search", url, fetched);
}

int bookCommand(Context& context, const Arguments& arguments) {
    if (arguments.size() != 1) return kExitUsage;
    const std::string& url = arguments[0];
    const FetchResult fetched = fetchPage(context, url, RequestStyle::Plain);
    const BookPage book =
        parseBookPage(textOf(pageBytes(fetched)), context.siteConfig().brandWords());
    print(context, Json{{"bookUrl", url},
                        {"title", utf8(book.title)},
                        {"author", utf8(book.author)},
                        {"bookUrlStem", utf8(bookUrlStem(url))},
                        {"txtPackageUrl", utf8(book.txtPackageUrl)},
                        {"category", utf8(book.category)},
                        {"lastUpdate", utf8(book.lastUpdate)},
                        {"wordCount", utf8(book.wordCount)},
                        {"synopsis", utf8(book.synopsis)}});
    return afterFetch(context, "book", url, fetched);
}

int tocCommand(Context& context, const Arguments& arguments) {
    if (arguments.size() != 2) return kExitUsage;
    const std::string& url = arguments[0];
    const FetchResult fetched = fetchPage(context, url, RequestStyle::Plain);
    Json chapters = Json::array();
    for (const ChapterEntry& c :
         parseTableOfContents(textOf(pageBytes(fetched)), bookUrlStem(arguments[1])))
        chapters.push_back(
            Json{{"id", utf8(c.id)}, {"title", utf8(c.title)}, {"url", utf8(c.url)}});
    print(context, Json{{"chapters", chapters}});
    return afterFetch(context, "toc", url, fetched);
}

int chapterCommand(Context& context, const Arguments& arguments) {
    std::string url;
    bool refresh = false;
    for (const std::string& argument : arguments) {
        if (argument == "--refresh" && !refresh)
            refresh = true;
        else if (argument.starts_with("-") || !url.empty())
            return kExitUsage;
        else
            url = argument;
    }
    if (url.empty()) return kExitUsage;
    const ChapterCleaning cleaning = context.cleaning();
    const ChapterRead read =
        readChapter(context.openLibrary(), context.engine(), url, cleaning, refresh);
    if (read.cached) {
        print(context, Json{{"text", utf8(read.text)}, {"cached", true}});
        return kExitOk;
    }
    // Without a usable page, what the site sent instead is still read, as before.
    const Text text = read.ok() ? read.text : cleaning.textFromPage(pageBytes(read.fetch));
    print(context, Json{{"text", utf8(text)}, {"cached", false}});
    return afterFetch(context, "chapter", url, read.fetch);
}

int bookmarksCommand(Context& context, const Arguments& arguments) {
    if (!arguments.empty()) return kExitUsage;
    if (context.html.empty()) {
        std::fprintf(context.err,
                     "novel: bookmarks: needs --html DIR (the folder of the bookmarks)\n");
        return kExitUsage;
    }
    const std::string site = context.siteUrl();
    if (siteUnavailable(context, site)) return kExitFailure;
    Json slots = Json::array();
    for (const BookmarkListing& entry : listBookmarks(context.html, site)) {
        const Bookmark& b = entry.bookmark;
        slots.push_back(Json{{"slot", entry.slot},
                             {"bookTitle", utf8(b.bookTitle)},
                             {"chapterTitle", utf8(b.chapterTitle)},
                             {"chapterUrl", utf8(b.chapterUrl)},
                             {"chapters", b.chapters.size()}});
    }
    print(context, slots);
    return kExitOk;
}

namespace {
volatile std::sig_atomic_t interrupted = 0;
void onSignal(int) {
    interrupted = 1;
}
}  // namespace

int serveDemoCommand(Context& context, const Arguments& arguments) {
    const std::optional<DemoCommandLine> line = parseDemoCommandLine(arguments);
    if (!line) return kExitUsage;
    // The command line wins over site.ini, key by key.
    const SiteConfig& config = context.siteConfig();
    DemoSite::Options options = DemoSite::Options::fromConfig(config);
    options.latencyMs = line->latencyMs.value_or(options.latencyMs);
    options.rateKiBPerSecond = line->rateKiBPerSecond.value_or(options.rateKiBPerSecond);
    options.revisionRoute = line->revisionRoute;
    DemoSite site(options);
    // A port asked for on the command line is that port or nothing.
    if (line->port ? !site.start(*line->port) : !startDemoSite(site, config)) {
        std::fprintf(context.err, "novel: serve-demo: cannot listen on port %d\n",
                     line->port.value_or(config.demoPort.value_or(0)));
        return kExitFailure;
    }
    std::fprintf(context.out, "%s\n", site.url().c_str());
    std::fflush(context.out);
    std::signal(SIGINT, onSignal);
    std::signal(SIGTERM, onSignal);
    while (!interrupted) std::this_thread::sleep_for(std::chrono::milliseconds(100));
    return kExitOk;
}

}  // namespace novel::cli
