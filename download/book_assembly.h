#pragma once
// A complete book laid out by its table of contents: the site's TXT package checked chapter by
// chapter against the table, the chapters it lacks filled from their pages or marked as missing,
// and the whole written out as TXT. No network here: the session (book_session.h) fetches.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "reader/toc_parser.h"
#include "web/text.h"

namespace novel {

// The line written in place of a chapter that could not be had: "【本章缺失：REASON】" (GBK).
Text missingMark(std::string_view reasonUtf8);
// Whether a (trimmed) line is such a mark.
bool isMissingMark(std::string_view line);

// A line as titles are compared: blanks (ASCII and full-width), tabs and line-break bytes removed
// at both ends, never cutting a two-byte character.
std::string_view trimTitleLine(std::string_view line);

// Where each chapter of the table begins in a package: the byte offset of the line whose trimmed
// text equals the chapter's trimmed title, or npos. Matches keep the table's order (each one after
// the one before); among the orders that match the most chapters, the latest lines are taken, so a
// list of titles at the head of a package is passed over for the chapters themselves.
struct PackageMatch {
    std::vector<size_t> titleLine;  // one per chapter
    size_t matched = 0;
};
PackageMatch matchPackage(std::string_view package, const std::vector<ChapterEntry>& chapters);

enum class ChapterOrigin { Missing, Package, Held, Page };

struct BookChapter {
    Text title;  // from the table (GBK)
    Text url;
    Text heading;  // the title line as written: the package's own line, else the title
    Text body;     // GBK lines after the heading, each ended by the book's line break
    ChapterOrigin origin = ChapterOrigin::Missing;
    std::string reason;  // UTF-8, why a Missing chapter is missing
};

struct AssembledBook {
    Text lineBreak = "\r\n";  // the package's own, CR LF without one
    Text preamble;            // package text before its first chapter (a preface, notes)
    std::vector<BookChapter> chapters;
};

// The book as the package gives it: one entry per chapter of the table, in table order; a matched
// chapter carries its line and everything up to the next matched title (text between chapters
// stays where it is), the others are Missing. A package in which no title matches is no use as
// this book's text and is left out whole.
AssembledBook bookFromPackage(std::string_view package, const std::vector<ChapterEntry>& chapters);

// Gives a chapter its text (plain GBK lines) from a page or an earlier output.
void fillChapter(BookChapter* chapter, std::string_view text, ChapterOrigin origin,
                 std::string_view lineBreak);
// Writes the missing mark as the chapter's body.
void markMissing(BookChapter* chapter, std::string reasonUtf8, std::string_view lineBreak);

// The whole book as TXT (GBK): preamble, then each chapter's heading line and body.
Text bookText(const AssembledBook& book);

// The chapters an earlier output of the book (its TXT, GBK or UTF-8) already holds: per chapter of
// the table, its text, or nullopt when the file lacks it or holds its missing mark.
std::vector<std::optional<Text>> heldChapters(std::string_view previousOutput,
                                              const std::vector<ChapterEntry>& chapters);

// A chapter's reader text (HTML as the site wrote it) as plain GBK lines for a TXT: each <br> ends
// a line, tags are dropped, entities decoded, source line breaks ignored, empty lines dropped.
// Every line ends with CR LF.
Text chapterPlainText(std::string_view html);

}  // namespace novel
