#include "bookmarks/bookmark_file.h"

#include "catalogue/site_urls.h"
#include "web/file_io.h"
#include "web/gbk.h"

namespace novel {
namespace fs = std::filesystem;

namespace {

struct Markers {
    Text selectedRow = toGbk("序号：");
    Text bookTitle = toGbk(";书名：");
    Text chapterTitle = toGbk("; 章节：");
    Text chapterUrl = toGbk(";地址：");
    Text txtPackageUrl = toGbk(";保存下载地址：");
    Text name = toGbk(";名字");
    Text address = toGbk(";网址");
    Text lineEnd = toGbk(";完");
};

const Markers& markers() {
    static const Markers m;
    return m;
}

// A field without the lead byte a cut-off line may end in. Written back, that half character
// would take the ";" of the next marker as its second byte and the field would swallow it.
std::string_view wholeCharacters(std::string_view field) {
    for (size_t i = 0; i < field.size(); i += charLengthAt(field, i)) {
        if (charLengthAt(field, i) == 1 && isLeadByte(static_cast<unsigned char>(field[i])))
            return field.substr(0, i);
    }
    return field;
}

// 0-based offset of `sought` at or after `from`, npos when absent; never inside a character.
size_t offsetOf(std::string_view text, std::string_view sought, size_t from = 0) {
    if (from > text.size()) return std::string_view::npos;
    int at = findText(text, sought, static_cast<int>(from) + 1);
    return at < 0 ? std::string_view::npos : static_cast<size_t>(at - 1);
}

size_t lastOffsetOf(std::string_view text, std::string_view sought) {
    int at = findTextBackwards(text, sought);
    return at < 0 ? std::string_view::npos : static_cast<size_t>(at - 1);
}

// The header field after `marker`: up to the marker of the field that follows it, or up to the
// next ";" when that one is missing. `*from` moves on to the end of the field.
Text headerField(std::string_view line, std::string_view marker, std::string_view next,
                 size_t* from) {
    size_t at = offsetOf(line, marker, *from);
    if (at == std::string_view::npos) return {};
    const size_t start = at + marker.size();
    size_t end = next.empty() ? std::string_view::npos : offsetOf(line, next, start);
    if (end == std::string_view::npos) end = offsetOf(line, ";", start);
    if (end == std::string_view::npos) end = line.size();
    *from = end;
    return Text(wholeCharacters(line.substr(start, end - start)));
}

// The last header field runs to the ";" that closes the line.
Text lastHeaderField(std::string_view line, std::string_view marker, size_t from) {
    size_t at = offsetOf(line, marker, from);
    if (at == std::string_view::npos) return {};
    const size_t start = at + marker.size();
    size_t end = lastOffsetOf(line, ";");
    if (end == std::string_view::npos || end < start) end = line.size();
    return Text(wholeCharacters(line.substr(start, end - start)));
}

// One chapter line; false when the line holds neither a name nor an address.
bool parseChapterLine(std::string_view line, ChapterEntry* entry) {
    const Markers& m = markers();
    const size_t name = offsetOf(line, m.name);
    // The address marker is looked for from the right: a title may hold anything.
    size_t address = lastOffsetOf(line, m.address);
    if (address != std::string_view::npos && name != std::string_view::npos && address < name)
        address = std::string_view::npos;
    if (name == std::string_view::npos && address == std::string_view::npos) return false;

    if (name != std::string_view::npos) {
        const size_t start = name + m.name.size();
        const size_t end = address != std::string_view::npos ? address : line.size();
        entry->title = Text(line.substr(start, end - start));
    }
    if (address != std::string_view::npos) {
        const size_t start = address + m.address.size();
        size_t end = line.size();
        if (line.ends_with(m.lineEnd) && end - m.lineEnd.size() >= start) end -= m.lineEnd.size();
        entry->url = Text(line.substr(start, end - start));
    }
    if (name != std::string_view::npos && address == std::string_view::npos &&
        entry->title.ends_with(m.lineEnd))
        entry->title.resize(entry->title.size() - m.lineEnd.size());
    entry->title.resize(wholeCharacters(entry->title).size());
    entry->url.resize(wholeCharacters(entry->url).size());
    return true;
}

}  // namespace

Text formatBookmark(const Bookmark& b) {
    const Markers& m = markers();
    Text out = concatTexts(
        m.selectedRow, wholeCharacters(b.selectedRow), m.bookTitle, wholeCharacters(b.bookTitle),
        m.chapterTitle, wholeCharacters(b.chapterTitle), m.chapterUrl,
        wholeCharacters(b.chapterUrl), m.txtPackageUrl, wholeCharacters(b.txtPackageUrl), ";\r\n");
    size_t size = out.size();
    for (const ChapterEntry& c : b.chapters)
        size += c.id.size() + c.title.size() + c.url.size() + 20;
    out.reserve(size);
    for (const ChapterEntry& c : b.chapters)
        out += concatTexts("ID", wholeCharacters(c.id), m.name, wholeCharacters(c.title), m.address,
                           wholeCharacters(c.url), m.lineEnd, "\r\n");
    return out;
}

Bookmark parseBookmark(std::string_view text) {
    const Markers& m = markers();
    Bookmark b;
    bool header = true;
    while (!text.empty()) {
        size_t end = text.find('\n');
        std::string_view line = text.substr(0, end);
        text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
        if (line.ends_with('\r')) line.remove_suffix(1);
        if (header) {
            header = false;
            size_t from = 0;
            b.selectedRow = headerField(line, m.selectedRow, m.bookTitle, &from);
            b.bookTitle = headerField(line, m.bookTitle, m.chapterTitle, &from);
            b.chapterTitle = headerField(line, m.chapterTitle, m.chapterUrl, &from);
            b.chapterUrl = headerField(line, m.chapterUrl, m.txtPackageUrl, &from);
            b.txtPackageUrl = lastHeaderField(line, m.txtPackageUrl, from);
            continue;
        }
        ChapterEntry entry;
        if (!parseChapterLine(line, &entry)) continue;
        entry.id = std::to_string(b.chapters.size() + 1);
        b.chapters.push_back(std::move(entry));
    }
    return b;
}

fs::path bookmarkSlotPath(const fs::path& folder, int slot) {
    return folder / ("shuqian" + std::to_string(slot) + ".txt");
}

SlotState bookmarkSlotState(const fs::path& folder, int slot) {
    std::error_code ec;
    const fs::path path = bookmarkSlotPath(folder, slot);
    if (!fs::exists(path, ec)) return ec ? SlotState::Taken : SlotState::Missing;
    // Anything that is not an empty regular file cannot take a bookmark.
    if (!fs::is_regular_file(path, ec)) return SlotState::Taken;
    const auto size = fs::file_size(path, ec);
    return !ec && size == 0 ? SlotState::Free : SlotState::Taken;
}

std::array<SlotState, kBookmarkSlotCount> bookmarkSlotStates(const fs::path& folder) {
    std::array<SlotState, kBookmarkSlotCount> states{};
    for (int n = 1; n <= kBookmarkSlotCount; ++n) states[n - 1] = bookmarkSlotState(folder, n);
    return states;
}

int firstFreeSlot(const std::array<SlotState, kBookmarkSlotCount>& states) {
    for (int n = 1; n <= kBookmarkSlotCount; ++n)
        if (states[n - 1] == SlotState::Free) return n;
    return 0;
}

Bookmark rebaseBookmark(Bookmark bookmark, std::string_view site) {
    bookmark.chapterUrl = rebaseSiteUrl(bookmark.chapterUrl, site);
    bookmark.txtPackageUrl = rebaseSiteUrl(bookmark.txtPackageUrl, site);
    for (ChapterEntry& chapter : bookmark.chapters) chapter.url = rebaseSiteUrl(chapter.url, site);
    return bookmark;
}

Bookmark readBookmark(const fs::path& folder, int slot, std::string_view site) {
    if (slot < 1 || slot > kBookmarkSlotCount) return {};
    return rebaseBookmark(parseBookmark(readTextFile(bookmarkSlotPath(folder, slot))), site);
}

std::vector<BookmarkListing> listBookmarks(const fs::path& folder, std::string_view site) {
    std::vector<BookmarkListing> listing;
    for (int slot = 1; slot <= kBookmarkSlotCount; ++slot) {
        if (bookmarkSlotState(folder, slot) == SlotState::Free) continue;
        listing.push_back({slot, readBookmark(folder, slot, site)});
    }
    return listing;
}

std::error_code deleteBookmark(const fs::path& folder, int slot) {
    if (slot < 1 || slot > kBookmarkSlotCount)
        return std::make_error_code(std::errc::invalid_argument);
    std::error_code ec;
    fs::remove(bookmarkSlotPath(folder, slot), ec);
    return ec;
}

BookmarkSaveResult saveToFirstFreeSlot(const fs::path& folder, const Bookmark& bookmark) {
    for (int n = 1; n <= kBookmarkSlotCount; ++n) {
        // A file that cannot be made stays missing and so counts as taken.
        if (bookmarkSlotState(folder, n) == SlotState::Missing)
            (void)createEmptyFile(bookmarkSlotPath(folder, n));
    }
    BookmarkSaveResult result;
    result.slot = firstFreeSlot(bookmarkSlotStates(folder));
    if (result.slot == 0) return result;
    result.error =
        writeFileAtomically(bookmarkSlotPath(folder, result.slot), formatBookmark(bookmark));
    if (result.error) result.slot = 0;
    return result;
}

}  // namespace novel
