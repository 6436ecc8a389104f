#pragma once
// The five bookmark files (html/shuqian1.txt ... shuqian5.txt): their GBK text, reading them back
// line by line, the state of each slot and saving into the first free one.
//
// A file is a header line followed by one line per chapter of the book, each ended by CR LF:
//   序号：3;书名：<title>; 章节：<chapter>;地址：<chapter url>;保存下载地址：<txt url>;
//   ID1;名字<chapter title>;网址<chapter url>;完

#include <array>
#include <filesystem>
#include <string_view>
#include <system_error>
#include <vector>

#include "reader/toc_parser.h"
#include "web/text.h"

namespace novel {

inline constexpr int kBookmarkSlotCount = 5;

struct Bookmark {
    Text selectedRow;  // 1-based row number of the chapter being read, as decimal text
    Text bookTitle;
    Text chapterTitle;
    Text chapterUrl;
    Text txtPackageUrl;
    std::vector<ChapterEntry> chapters;  // every row of the chapter list, in order
};

Text formatBookmark(const Bookmark& bookmark);

// Reads a bookmark back line by line: the header's fields lie between their own markers and every
// further line is one chapter, so a "完" or an "I" inside a title changes nothing. The chapters are
// numbered from 1 again. Whatever a damaged file still holds is read; nothing else is guessed.
Bookmark parseBookmark(std::string_view text);

// missing: no file; free: an empty file; taken: a file with something in it.
enum class SlotState { Missing, Free, Taken };

std::filesystem::path bookmarkSlotPath(const std::filesystem::path& folder, int slot);
SlotState bookmarkSlotState(const std::filesystem::path& folder, int slot);
std::array<SlotState, kBookmarkSlotCount> bookmarkSlotStates(const std::filesystem::path& folder);

// The first free slot (1 to 5); 0 when none is free. A missing slot is not free.
int firstFreeSlot(const std::array<SlotState, kBookmarkSlotCount>& states);

struct BookmarkSaveResult {
    int slot = 0;           // the slot written; 0 when nothing was written
    std::error_code error;  // why the chosen free slot could not be written
};

// The bookmark with its addresses (every chapter's, the selected chapter's and the TXT package's)
// rebased onto `site`, the site in use (rebaseSiteUrl), so a moved site or another demo port
// loses nothing.
Bookmark rebaseBookmark(Bookmark bookmark, std::string_view site);

// The bookmark in `slot` as the reader takes it over: read, parsed and rebased onto `site`.
Bookmark readBookmark(const std::filesystem::path& folder, int slot, std::string_view site);

struct BookmarkListing {
    int slot = 0;  // 1 to 5
    Bookmark bookmark;
};

// The slots to show, in slot order: every slot that is not free (a missing one reads as an empty
// bookmark), each bookmark rebased onto `site`.
std::vector<BookmarkListing> listBookmarks(const std::filesystem::path& folder,
                                           std::string_view site);

// Removes the slot's file. A file already gone is no failure; a slot outside 1 to 5 is.
std::error_code deleteBookmark(const std::filesystem::path& folder, int slot);

// Makes the missing slot files (empty, with the folder), then writes the bookmark whole into the
// first free slot. Neither a slot (all taken) nor an error: the bookmarks are full.
BookmarkSaveResult saveToFirstFreeSlot(const std::filesystem::path& folder,
                                       const Bookmark& bookmark);

}  // namespace novel
