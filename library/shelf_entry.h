#pragma once
// A book of the catalogue as the shelf keeps it and back, and what the shelf shows about it:
// where reading goes on, how far through the book it is, what the last update check found.

#include <string>
#include <vector>

#include "catalogue/book_page.h"
#include "library/library.h"

namespace novel {

// The shelf's record of `book` with its table of contents.
ShelfBook shelfBookOf(const CurrentBook& book, std::vector<ChapterEntry> toc,
                      const std::string& coverUrl);
// The reader's book for a shelf book (the details its page gave are not kept).
CurrentBook currentBookOf(const ShelfBook& book);

// The row of the table of contents where reading goes on: the stored chapter found by its
// address, else its stored row within the table; 0 when the book was never read; -1 without a
// table of contents.
int resumeRow(const ShelfBook& book);
// Percent of the chapters read up to and including the stored one; 0 when never read.
int percentRead(const ShelfBook& book);
// Chapters after the stored one (all of them when never read).
int chaptersUnread(const ShelfBook& book);
// One line about the last check's news (UTF-8), e.g. "新增 2 章，修订 1 章"; empty when none.
std::string newsSummary(const UpdateNews& news);

}  // namespace novel
