#include "reader/toc_parser.h"

#include <string>

#include "catalogue/site_urls.h"
#include "web/gbk.h"

namespace novel {

std::vector<ChapterEntry> parseTableOfContents(std::string_view page,
                                               std::string_view chapterBaseUrl, int rowsBefore) {
    static const Text kSectionStart = toGbk("ZIP下载</a></div>");
    static const Text kSectionEnd = toGbk("如果您认为");

    const std::string_view section = viewBetween(page, kSectionStart, kSectionEnd);
    std::vector<ChapterEntry> chapters;
    chapters.reserve(section.size() / 64);  // a link line is longer than that
    // Each link text is the rest of an anchor: "address">title<
    forEachBetween(section, "<a href=", "/a></div>", [&](std::string_view link) {
        ChapterEntry& entry = chapters.emplace_back();
        entry.id = std::to_string(rowsBefore + static_cast<int>(chapters.size()));
        entry.title = viewBetween(link, '>', '<');
        entry.url = chapterUrlFor(chapterBaseUrl, viewBetween(link, '"', '"'));
    });
    return chapters;
}

}  // namespace novel
