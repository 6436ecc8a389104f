// `novel find`: full-text search over the chapters the library keeps, printed as UTF-8 JSON.

#include <nlohmann/json.hpp>

#include "cli/command_handlers.h"
#include "web/gbk.h"

namespace novel::cli {

int findCommand(Context& context, const Arguments& arguments) {
    std::string query;
    std::string bookUrl;
    int limit = 100;
    bool haveQuery = false;
    for (size_t i = 0; i < arguments.size(); ++i) {
        const std::string& a = arguments[i];
        if ((a == "--book" || a == "--limit") && i + 1 < arguments.size()) {
            const std::string& value = arguments[++i];
            if (a == "--book") {
                bookUrl = value;
            } else {
                const std::optional<int> n = parseCount(value);
                if (!n || *n < 1) return kExitUsage;
                limit = *n;
            }
        } else if (!haveQuery && !a.starts_with("--")) {
            query = a;
            haveQuery = true;
        } else {
            return kExitUsage;
        }
    }
    if (!haveQuery) return kExitUsage;
    if (context.siteUrl().empty()) {
        std::fprintf(context.err, "novel: find: the demo site could not be started\n");
        return kExitFailure;
    }
    Library* library = context.openLibrary();
    if (!library) {
        std::fprintf(context.err, "novel: find: 没有可用的书库\n");
        return kExitFailure;
    }
    // Chapters kept before the index existed are indexed first, so the answer is complete.
    if (library->writable())
        while (library->indexPendingChapters(500) > 0) {
        }

    const FulltextResult result = library->findText(
        query, bookUrl.empty() ? FulltextScope::All : FulltextScope::Book, bookUrl, limit);
    if (result.unindexed > 0)
        std::fprintf(context.err, "novel: find: %d 个章节尚未建立索引，未能搜索\n",
                     result.unindexed);
    nlohmann::json hits = nlohmann::json::array();
    for (const FulltextHit& hit : result.hits)
        hits.push_back({{"bookUrl", hit.bookUrl},
                        {"bookTitle", toUtf8(hit.bookTitle)},
                        {"chapterUrl", hit.chapterUrl},
                        {"chapterTitle", toUtf8(hit.chapterTitle)},
                        {"snippet", hit.snippet}});
    printJson(context, nlohmann::json{{"hits", hits}});
    return result.hits.empty() ? kExitFailure : kExitOk;
}

}  // namespace novel::cli
