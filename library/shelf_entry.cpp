#include "library/shelf_entry.h"

#include <algorithm>

namespace novel {

ShelfBook shelfBookOf(const CurrentBook& book, std::vector<ChapterEntry> toc,
                      const std::string& coverUrl) {
    ShelfBook shelf;
    shelf.bookUrl = book.bookUrl;
    shelf.title = book.title;
    shelf.author = book.author;
    shelf.tocUrl = book.tocUrl;
    shelf.txtPackageUrl = book.txtPackageUrl;
    shelf.coverUrl = coverUrl;
    shelf.chapterCount = static_cast<int>(toc.size());
    shelf.toc = std::move(toc);
    return shelf;
}

CurrentBook currentBookOf(const ShelfBook& book) {
    CurrentBook current;
    current.title = book.title;
    current.author = book.author;
    current.bookUrl = book.bookUrl;
    current.bookUrlStem = bookUrlStem(book.bookUrl);
    current.tocUrl = book.tocUrl;
    current.txtPackageUrl = book.txtPackageUrl;
    return current;
}

int resumeRow(const ShelfBook& book) {
    const int count = static_cast<int>(book.toc.size());
    if (count == 0) return -1;
    if (!book.lastRead) return 0;
    // The address survives chapters added or taken out before it; the row does not.
    for (int i = 0; i < count; ++i)
        if (book.toc[static_cast<size_t>(i)].url == book.lastRead->chapterUrl) return i;
    return std::clamp(book.lastRead->chapterIndex, 0, count - 1);
}

namespace {

int chaptersOf(const ShelfBook& book) {
    return book.toc.empty() ? book.chapterCount : static_cast<int>(book.toc.size());
}

// Chapters read through the stored one.
int chaptersRead(const ShelfBook& book) {
    const int count = chaptersOf(book);
    if (!book.lastRead || count == 0) return 0;
    const int row =
        book.toc.empty() ? std::clamp(book.lastRead->chapterIndex, 0, count - 1) : resumeRow(book);
    return row + 1;
}

}  // namespace

int percentRead(const ShelfBook& book) {
    const int count = chaptersOf(book);
    return count == 0 ? 0 : chaptersRead(book) * 100 / count;
}

int chaptersUnread(const ShelfBook& book) {
    return chaptersOf(book) - chaptersRead(book);
}

std::string newsSummary(const UpdateNews& news) {
    std::string out;
    const auto part = [&out](const char* what, size_t count) {
        if (count == 0) return;
        if (!out.empty()) out += "，";
        out += what;
        out += " " + std::to_string(count) + " 章";
    };
    part("新增", news.added.size());
    part("删除", news.removed.size());
    part("改名", news.retitled.size());
    part("修订", news.revised.size());
    return out;
}

}  // namespace novel
