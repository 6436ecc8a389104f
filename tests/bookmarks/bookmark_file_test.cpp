#include "bookmarks/bookmark_file.h"

#include <gtest/gtest.h>

#include <unistd.h>
#include "support/file_size_limit.h"
#include "support/temp_dir.h"

#include <filesystem>
#include <random>

#include "web/file_io.h"

namespace novel {
namespace {
namespace fs = std::filesystem;
using test::TempDir;

Bookmark sampleBookmark(int chapters) {
    Bookmark b;
    b.selectedRow = "2";
    b.bookTitle = toGbk("青灯剑影录");
    b.chapterTitle = toGbk("第二章 出山");
    b.chapterUrl = "http://127.0.0.1/book/2/20002.html";
    b.txtPackageUrl = "http://127.0.0.1/modules/article/packdown_txt_2.txt";
    for (int k = 1; k <= chapters; ++k)
        b.chapters.push_back({std::to_string(k), toGbk("第" + std::to_string(k) + "章"),
                              "http://127.0.0.1/book/2/" + std::to_string(20000 + k) + ".html"});
    return b;
}

size_t lineCount(std::string_view text) {
    size_t n = 0;
    for (size_t at = text.find("\r\n"); at != std::string_view::npos;
         at = text.find("\r\n", at + 2))
        ++n;
    return n;
}

TEST(BookmarkFile, FormatIsTheHeaderThenOneLinePerChapter) {
    const Text text = formatBookmark(sampleBookmark(2));
    EXPECT_EQ(
        toUtf8(text),
        "序号：2;书名：青灯剑影录; 章节：第二章 出山;地址：http://127.0.0.1/book/2/20002.html;"
        "保存下载地址：http://127.0.0.1/modules/article/packdown_txt_2.txt;\r\n"
        "ID1;名字第1章;网址http://127.0.0.1/book/2/20001.html;完\r\n"
        "ID2;名字第2章;网址http://127.0.0.1/book/2/20002.html;完\r\n");

    const Text big = formatBookmark(sampleBookmark(1000));
    EXPECT_EQ(lineCount(big), 1001u);
    EXPECT_TRUE(big.ends_with("\r\n"));
    EXPECT_EQ(parseBookmark(big).chapters.size(), 1000u);
}

TEST(BookmarkFile, ReadsBackWhatWasWrittenWhateverTheTitlesHold) {
    Bookmark b = sampleBookmark(4);
    // Letters "I" and "i" and the character 完 broke records that were cut between "I" and "完".
    b.bookTitle = toGbk("Im 完美 in Tibet");
    b.chapterTitle = toGbk("第一卷 完");
    b.chapters[0].title = toGbk("第一卷 完");
    b.chapters[1].title = toGbk("II. 完结篇;网址");
    b.chapters[2].title.clear();
    b.chapters[3].url = "http://x/i.html?a=1;b=2";
    b.txtPackageUrl = "http://x/pack;1.txt";
    const Bookmark read = parseBookmark(formatBookmark(b));
    EXPECT_EQ(read.selectedRow, "2");
    EXPECT_EQ(read.bookTitle, b.bookTitle);
    EXPECT_EQ(read.chapterTitle, b.chapterTitle);
    EXPECT_EQ(read.chapterUrl, b.chapterUrl);
    EXPECT_EQ(read.txtPackageUrl, b.txtPackageUrl);
    EXPECT_EQ(read.chapters, b.chapters);

    // Whatever the ID column held, the rows are numbered from 1 again.
    const Text old = toGbk(
        "序号：1;书名：旧书; 章节：序;地址：u0;保存下载地址：;\r\n"
        "ID7;名字序;网址u0;完\r\nID9;名字尾声;网址u9;完\r\n");
    const Bookmark oldRead = parseBookmark(old);
    ASSERT_EQ(oldRead.chapters.size(), 2u);
    EXPECT_EQ(oldRead.chapters[1], (ChapterEntry{"2", toGbk("尾声"), "u9"}));
    EXPECT_EQ(oldRead.txtPackageUrl, "");
}

TEST(BookmarkFile, DamagedFilesGiveWhatTheyStillHold) {
    EXPECT_EQ(parseBookmark("").chapters.size(), 0u);
    EXPECT_EQ(parseBookmark("").bookTitle, "");

    // Cut off in the middle of a line, written with bare LF, a foreign line in between.
    const Text damaged = toGbk(
        "序号：3;书名：半本书; 章节：第三章\n"
        "ID1;名字第一章;网址u1;完\n"
        "random words\n"
        "\n"
        "ID2;名字第二章;网址u2;完\r\n"
        "ID3;名字第三");
    const Bookmark read = parseBookmark(damaged);
    EXPECT_EQ(read.bookTitle, toGbk("半本书"));
    EXPECT_EQ(read.chapterTitle, toGbk("第三章"));
    EXPECT_EQ(read.chapterUrl, "");
    ASSERT_EQ(read.chapters.size(), 3u);
    EXPECT_EQ(read.chapters[1], (ChapterEntry{"2", toGbk("第二章"), "u2"}));
    EXPECT_EQ(read.chapters[2], (ChapterEntry{"3", toGbk("第三"), ""}));

    // A line cut in half a character: the half is dropped, so writing the bookmark again keeps
    // the marker after it.
    const Bookmark cut =
        parseBookmark(toGbk("序号：1;书名：书\n") + "ID1;" + toGbk("名字第一章") + "\xB5");
    ASSERT_EQ(cut.chapters.size(), 1u);
    EXPECT_EQ(cut.chapters[0].title, toGbk("第一章"));
    Bookmark halves = cut;
    halves.bookTitle += "\xC7";
    halves.chapters[0].title += "\xB5";
    halves.chapters[0].url = "u";
    const Bookmark back = parseBookmark(formatBookmark(halves));
    EXPECT_EQ(back.bookTitle, toGbk("书"));
    EXPECT_EQ(back.chapters[0], (ChapterEntry{"1", toGbk("第一章"), "u"}));

    // Binary garbage, read as a file is read (up to its first zero byte): no crash.
    std::mt19937 rng(7);
    for (int round = 0; round < 200; ++round) {
        Bytes bytes(1 + rng() % 3000, '\0');
        for (char& c : bytes) c = static_cast<char>(rng());
        if (round % 2) bytes.insert(0, formatBookmark(sampleBookmark(3)).substr(0, rng() % 300));
        const Bookmark garbage = parseBookmark(textOf(bytes));
        for (size_t i = 0; i < garbage.chapters.size(); ++i)
            EXPECT_EQ(garbage.chapters[i].id, std::to_string(i + 1));
    }
}

TEST(BookmarkSlots, SaveMakesTheMissingFilesAndTakesTheFirstFreeSlot) {
    TempDir dir;
    const fs::path html = dir.path() / "html";
    const Bookmark b = sampleBookmark(3);

    // Nothing there yet: the folder and all five files appear, slot 1 holds the bookmark.
    BookmarkSaveResult saved = saveToFirstFreeSlot(html, b);
    EXPECT_EQ(saved.slot, 1);
    EXPECT_FALSE(saved.error);
    EXPECT_EQ(readFileBytes(html / "shuqian1.txt"), formatBookmark(b));
    for (int n = 2; n <= 5; ++n) {
        EXPECT_TRUE(fs::exists(bookmarkSlotPath(html, n)));
        EXPECT_EQ(fs::file_size(bookmarkSlotPath(html, n)), 0u);
    }
    EXPECT_EQ(std::distance(fs::directory_iterator(html), fs::directory_iterator()), 5);

    // Slots 1 and 2 taken, 3 missing: 3 is made and written.
    ASSERT_EQ(saveToFirstFreeSlot(html, b).slot, 2);
    fs::remove(bookmarkSlotPath(html, 3));
    EXPECT_EQ(bookmarkSlotState(html, 3), SlotState::Missing);
    EXPECT_EQ(saveToFirstFreeSlot(html, b).slot, 3);

    // A free slot after taken ones and a missing one before it.
    fs::remove(bookmarkSlotPath(html, 2));
    EXPECT_EQ(bookmarkSlotStates(html),
              (std::array{SlotState::Taken, SlotState::Missing, SlotState::Taken, SlotState::Free,
                          SlotState::Free}));
    EXPECT_EQ(firstFreeSlot(bookmarkSlotStates(html)), 4);
    EXPECT_EQ(saveToFirstFreeSlot(html, b).slot, 2);  // made free first, then taken

    // All taken: nothing is written.
    EXPECT_EQ(saveToFirstFreeSlot(html, b).slot, 4);
    EXPECT_EQ(saveToFirstFreeSlot(html, b).slot, 5);
    const Bookmark other = sampleBookmark(1);
    saved = saveToFirstFreeSlot(html, other);
    EXPECT_EQ(saved.slot, 0);
    EXPECT_FALSE(saved.error);
    for (int n = 1; n <= 5; ++n)
        EXPECT_EQ(readFileBytes(bookmarkSlotPath(html, n)), formatBookmark(b));
}

// Binary garbage: NUL bytes, lone GBK lead bytes, CR without LF.
Bytes garbageBytes(unsigned seed, size_t size) {
    std::mt19937 rng(seed);
    Bytes bytes(size, '\0');
    for (char& c : bytes) c = static_cast<char>(rng());
    bytes.replace(10, 6, std::string("\x81\0\xFE\r\x80;", 6));
    return bytes;
}

TEST(BookmarkSlots, GarbageSlotsDoNotSpoilTheOthers) {
    TempDir dir;
    const fs::path html = dir.path() / "html";
    const Bookmark good = sampleBookmark(3);
    // One line of 1 MB: lead bytes that swallow the ";" of every marker after them.
    Bytes longLine = toGbk("序号：1;书名：");
    for (int i = 0; longLine.size() < (1u << 20); ++i) longLine += i % 7 ? "\x81" : ";\xD2";
    longLine += toGbk(";名字x;网址y;完");
    ASSERT_FALSE(writeFileAtomically(bookmarkSlotPath(html, 1), garbageBytes(3, 4000)));
    ASSERT_FALSE(writeFileAtomically(bookmarkSlotPath(html, 2), formatBookmark(good)));
    ASSERT_FALSE(writeFileAtomically(bookmarkSlotPath(html, 3), longLine));

    for (int n = 1; n <= 3; ++n) {
        EXPECT_EQ(bookmarkSlotState(html, n), SlotState::Taken);
        const Bookmark read = parseBookmark(readTextFile(bookmarkSlotPath(html, n)));
        for (size_t i = 0; i < read.chapters.size(); ++i)
            EXPECT_EQ(read.chapters[i].id, std::to_string(i + 1));
    }
    const Bookmark read = parseBookmark(readTextFile(bookmarkSlotPath(html, 2)));
    EXPECT_EQ(read.bookTitle, good.bookTitle);
    EXPECT_EQ(read.chapters, good.chapters);
    // Only the one-line slot's header is read; it has no chapter lines.
    EXPECT_TRUE(parseBookmark(readTextFile(bookmarkSlotPath(html, 3))).chapters.empty());

    // A damaged slot is never taken for a free one.
    EXPECT_EQ(saveToFirstFreeSlot(html, good).slot, 4);
    EXPECT_EQ(readFileBytes(bookmarkSlotPath(html, 1)), garbageBytes(3, 4000));
    EXPECT_EQ(readFileBytes(bookmarkSlotPath(html, 3)), longLine);
}

TEST(BookmarkSlots, AFailedWriteIsReportedAndLeavesTheSlotFree) {
    TempDir dir;
    const fs::path html = dir.path() / "html";
    for (int n = 1; n <= 5; ++n) ASSERT_FALSE(createEmptyFile(bookmarkSlotPath(html, n)));

    // A file-size limit makes the write fail even for root.
    BookmarkSaveResult saved;
    {
        test::FileSizeLimit limit(100);
        ASSERT_TRUE(limit.active());
        saved = saveToFirstFreeSlot(html, sampleBookmark(50));
    }

    EXPECT_TRUE(saved.error);
    EXPECT_EQ(saved.slot, 0);
    EXPECT_EQ(bookmarkSlotState(html, 1), SlotState::Free);
    EXPECT_EQ(std::distance(fs::directory_iterator(html), fs::directory_iterator()), 5);
}

TEST(BookmarkSlots, ListingRebasesOntoTheSiteInUse) {
    TempDir dir;
    const fs::path html = dir.path() / "html";
    for (int n = 1; n <= 5; ++n) ASSERT_FALSE(createEmptyFile(bookmarkSlotPath(html, n)));
    ASSERT_FALSE(writeFileAtomically(bookmarkSlotPath(html, 2), formatBookmark(sampleBookmark(3))));
    Bookmark relative = sampleBookmark(1);
    relative.chapterUrl = "/book/2/20001.html";  // not absolute: left as it is
    ASSERT_FALSE(writeFileAtomically(bookmarkSlotPath(html, 4), formatBookmark(relative)));
    fs::remove(bookmarkSlotPath(html, 5));  // missing: listed without a bookmark

    const std::vector<BookmarkListing> listing = listBookmarks(html, "http://127.0.0.1:9999");
    ASSERT_EQ(listing.size(), 3u);
    EXPECT_EQ(listing[0].slot, 2);
    EXPECT_EQ(listing[1].slot, 4);
    EXPECT_EQ(listing[2].slot, 5);
    const Bookmark& b = listing[0].bookmark;
    EXPECT_EQ(b.bookTitle, toGbk("青灯剑影录"));
    EXPECT_EQ(b.chapterUrl, "http://127.0.0.1:9999/book/2/20002.html");
    EXPECT_EQ(b.txtPackageUrl, "http://127.0.0.1:9999/modules/article/packdown_txt_2.txt");
    ASSERT_EQ(b.chapters.size(), 3u);
    EXPECT_EQ(b.chapters[2].url, "http://127.0.0.1:9999/book/2/20003.html");
    EXPECT_EQ(listing[1].bookmark.chapterUrl, "/book/2/20001.html");
    EXPECT_TRUE(listing[2].bookmark.bookTitle.empty());

    // The same origin reads back unchanged, and the file itself is never rewritten.
    EXPECT_EQ(readBookmark(html, 2, "http://127.0.0.1").chapterUrl, sampleBookmark(3).chapterUrl);
    EXPECT_EQ(readFileBytes(bookmarkSlotPath(html, 2)), formatBookmark(sampleBookmark(3)));
    EXPECT_TRUE(readBookmark(html, 6, "http://x").chapters.empty());
}

TEST(BookmarkSlots, DeleteReportsWhatStoppedIt) {
    TempDir dir;
    const fs::path html = dir.path() / "html";
    ASSERT_FALSE(writeFileAtomically(bookmarkSlotPath(html, 1), formatBookmark(sampleBookmark(1))));
    EXPECT_FALSE(deleteBookmark(html, 1));
    EXPECT_EQ(bookmarkSlotState(html, 1), SlotState::Missing);
    EXPECT_FALSE(deleteBookmark(html, 1));  // already gone: nothing left to do
    EXPECT_TRUE(deleteBookmark(html, 0));
    EXPECT_TRUE(deleteBookmark(html, 6));
    // Something that cannot be removed (a folder with a file in it, even for root) is reported.
    ASSERT_FALSE(writeFileAtomically(bookmarkSlotPath(html, 2) / "x", "x"));
    const std::error_code failed = deleteBookmark(html, 2);
    EXPECT_TRUE(failed);
    EXPECT_FALSE(failed.message().empty());
    EXPECT_TRUE(fs::exists(bookmarkSlotPath(html, 2)));
}

}  // namespace
}  // namespace novel
