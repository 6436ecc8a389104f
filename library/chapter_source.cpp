#include "library/chapter_source.h"

namespace novel {

ChapterRead readChapter(Library* library, RequestEngine& engine, const std::string& url,
                        const ChapterCleaning& cleaning, bool refresh,
                        const std::atomic<bool>* cancelled) {
    ChapterRead read;
    auto fromLibrary = [&] {
        if (!library) return false;
        std::optional<CachedChapter> kept = library->lookupChapter(url, cleaning);
        if (!kept) return false;
        read.text = std::move(kept->text);
        read.cached = true;
        return true;
    };
    if (!refresh && fromLibrary()) return read;

    const FetchRequest request{url, RequestStyle::Page, RequestPriority::User};
    read.fetch = cancelled ? engine.fetch(request, *cancelled) : engine.fetch(request);
    if (read.fetch.cancelled) {
        read.problem = "已取消";
        return read;
    }
    if (read.fetch.ok() && !read.fetch.body.empty()) {
        read.text = cleaning.textFromPage(read.fetch.body);
        // Only a page that holds a chapter is worth keeping; a failed store costs nothing now.
        if (library && !read.text.empty())
            library->storeChapter(url, read.fetch.body, cleaning, unixNow());
        return read;
    }
    if (refresh && fromLibrary()) return read;
    read.problem = read.fetch.problem.empty() ? "章节页面是空的" : read.fetch.problem;
    return read;
}

}  // namespace novel
