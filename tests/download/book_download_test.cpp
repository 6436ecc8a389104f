#include "download/book_download.h"

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

BrandWords demoBrand() {
    return BrandWords{"demobook", toGbk("演示书城"), toGbk("演 示 书 城")};
}

TEST(BookDownloadPaths, TitlesStayInsideTheDownloadFolder) {
    const fs::path base = "/home/u";
    auto p = bookDownloadPaths(base, toGbk(" 样书 "));
    EXPECT_EQ(p.bookFolder, base / "下载小说" / "样书");
    EXPECT_EQ(p.temporaryFile, base / "下载小说" / "样书" / "VOREDI5.exe.tmp");
    EXPECT_EQ(p.finalFile, base / "下载小说" / "样书" / "样书.txt");

    EXPECT_EQ(safeBookFileName(toGbk("两个 空格")), "两个 空格");
    EXPECT_EQ(safeBookFileName("../../etc/passwd"), "___.._etc_passwd");
    EXPECT_EQ(safeBookFileName(".."), "__");
    EXPECT_EQ(safeBookFileName(".hidden"), "_hidden");
    EXPECT_EQ(safeBookFileName("a\\b\tc\x7F"), "a_b_c_");
    EXPECT_EQ(safeBookFileName("   "), "未命名");
    // A GBK character whose trail byte is a backslash (0x5C) is a character, not a separator.
    EXPECT_EQ(safeBookFileName("\x81\x5C"), toUtf8("\x81\x5C"));
    EXPECT_LE(safeBookFileName(Text(400, 'x')).size(), 180u);
    for (const char* hostile : {"../x", "/abs", "..", "a/../../b"}) {
        fs::path folder = bookDownloadPaths(base, hostile).bookFolder;
        EXPECT_EQ(folder.parent_path(), base / "下载小说") << hostile;
        EXPECT_NE(folder.filename(), "..");
    }
}

TEST(DownloadProgressFigures, KilobytesAndPercent) {
    auto p = downloadProgress(1536000, 768000);
    EXPECT_EQ(p.sizeText, "1500K");
    EXPECT_EQ(p.receivedText, "750K");
    EXPECT_EQ(p.percent, 50);
    auto unknown = downloadProgress(0, 4096);
    EXPECT_EQ(unknown.sizeText, "0K");
    EXPECT_EQ(unknown.percent, -1);
    EXPECT_EQ(downloadProgress(1000, 1000).percent, 100);
    EXPECT_EQ(downloadProgress(1024, 511).receivedText, "0K");
}

TEST(CleanBookText, MixedCaseFragmentsGoCharactersStay) {
    Text text = toGbk("第一章WWW.好Demobook.Com看演示书城了演 示 书 城") + "\x81\x57ww.";
    cleanBookText(&text, demoBrand());
    // The spaced brand word is not part of the download's list; the trail-byte 'W' survives.
    EXPECT_EQ(text, toGbk("第一章好看了演 示 书 城") + "\x81\x57ww.");
    // A stray 0x80 or 0xFF is a character of one byte and does not hide the word after it.
    Text stray =
        "\x80www.a\xFF"
        "DemoBook\xB0\x80.com";
    cleanBookText(&stray, demoBrand());
    EXPECT_EQ(stray,
              "\x80"
              "a\xFF\xB0\x80");
}

// Cleaning while the book arrives gives the same text as cleaning it whole, wherever the pieces
// are cut: inside a word, inside a two-byte character, inside a long line.
TEST(CleanBookText, PieceByPieceMatchesTheWholeText) {
    const BrandWords brand = demoBrand();
    Bytes book;
    for (int i = 0; i < 300; ++i) {
        book += toGbk("第" + std::to_string(i) + "章 演示书城 Www.DemoBook.Com 提供\r\n");
        book += "w.\x81Www.www.demo" + std::string(i % 7, 'x') + "book.c" + toGbk("演示") + "om\n";
        book +=
            "\x80Www.\xFF\xFF"
            "demobook\xB0\x80.com\n";
        if (i % 50 == 0) book += std::string(5000, 'a') + "WWW.DEMOBOOK.COM";  // a long line
        // Advertising sentences, one opening a sentence, one with its address inside.
        book += toGbk(
            "    演示书城 www.DEMOBOOK.com "
            "提供全文阅读。\r\n本书由演示书城（Www.x.Com）整理收录，仅供试读。\r\n");
    }
    Text whole = book;
    cleanBookText(&whole, brand);
    EXPECT_EQ(whole.find(toGbk("提供全文阅读")), Text::npos);
    EXPECT_EQ(whole.find(toGbk("整理收录")), Text::npos);
    EXPECT_NE(whole.find(toGbk("章   提供\r\n")), Text::npos);  // not at a sentence's start: kept

    std::mt19937 rng(11);
    for (int round = 0; round < 50; ++round) {
        auto filter = bookTextFilter(brand);
        std::string out;
        for (size_t at = 0; at < book.size();) {
            const size_t n =
                std::min<size_t>(book.size() - at, 1 + rng() % (round < 25 ? 40 : 4000));
            filter->feed(std::string_view(book).substr(at, n), &out);
            at += n;
        }
        filter->finish(&out);
        ASSERT_EQ(out, whole) << "round " << round;
    }

    // The text ends at the first zero byte, as a file read whole does.
    auto filter = bookTextFilter(brand);
    std::string out;
    filter->feed("Www.one\r\ntwo", &out);
    filter->feed(std::string("www.thr\0ee\nfour", 16), &out);
    filter->feed("five\n", &out);
    filter->finish(&out);
    EXPECT_EQ(out, "one\r\ntwothr");
}

TEST(FinishBookFile, ReplacesTheOldCopyOnlyWhenTheNewOneIsReady) {
    TempDir dir;
    auto paths = bookDownloadPaths(dir.path(), toGbk("样书"));
    fs::create_directories(paths.bookFolder);
    ASSERT_FALSE(writeFileAtomically(paths.finalFile, "old good copy"));

    // Nothing downloaded, or an empty download: the old copy stays.
    EXPECT_FALSE(finishCleanedBookFile(paths).ok);
    ASSERT_FALSE(writeFileAtomically(paths.temporaryFile, ""));
    auto empty = finishCleanedBookFile(paths);
    EXPECT_FALSE(empty.ok);
    EXPECT_FALSE(empty.error.empty());
    EXPECT_EQ(readFileBytes(paths.finalFile), "old good copy");

    ASSERT_FALSE(writeFileAtomically(paths.temporaryFile, "new text"));
    auto done = finishCleanedBookFile(paths);
    EXPECT_TRUE(done.ok) << done.error;
    EXPECT_EQ(readFileBytes(paths.finalFile), "new text");
    EXPECT_FALSE(fs::exists(paths.temporaryFile));
    // Nothing else is left in the folder (no stray temporary files).
    EXPECT_EQ(std::distance(fs::directory_iterator(paths.bookFolder), fs::directory_iterator()), 1);
}

TEST(FileIo, AtomicWritesAndEmptyFiles) {
    TempDir dir;
    const fs::path file = dir.path() / "a" / "b" / "c.txt";
    EXPECT_FALSE(writeFileAtomically(file, std::string("x\0y", 3)));
    EXPECT_EQ(readFileBytes(file), std::string("x\0y", 3));
    EXPECT_EQ(readTextFile(file), "x");
    EXPECT_EQ(readFileBytes(dir.path() / "missing"), "");

    // A folder in the way of the target: an error, and nothing left behind.
    fs::create_directories(dir.path() / "taken");
    EXPECT_TRUE(writeFileAtomically(dir.path() / "taken", "data"));
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), fs::directory_iterator()), 2);
    // A file in the way of the folder.
    EXPECT_TRUE(writeFileAtomically(file / "below", "data"));

    const fs::path empty = dir.path() / "h" / "shuqian1.txt";
    EXPECT_FALSE(createEmptyFile(empty));
    EXPECT_TRUE(fs::exists(empty));
    EXPECT_EQ(fs::file_size(empty), 0u);
    EXPECT_FALSE(writeFileAtomically(empty, "abc"));
    EXPECT_FALSE(createEmptyFile(empty));  // truncates an existing file
    EXPECT_EQ(fs::file_size(empty), 0u);
}

TEST(FileIo, FailedLengthRemovesOnlyAFileItMade) {
    TempDir dir;
    const fs::path kept = dir.path() / "kept.txt";
    ASSERT_FALSE(writeFileAtomically(kept, "bookmark"));
    // A file-size limit makes setting the length fail even for root.
    std::error_code onExisting, onNew;
    {
        test::FileSizeLimit limit(100);
        ASSERT_TRUE(limit.active());
        onExisting = createEmptyFile(kept, 1000);
        onNew = createEmptyFile(dir.path() / "new.txt", 1000);
    }
    EXPECT_TRUE(onExisting);
    EXPECT_EQ(readFileBytes(kept), "bookmark");
    EXPECT_TRUE(onNew);
    EXPECT_FALSE(fs::exists(dir.path() / "new.txt"));
}

TEST(FileIo, WritableFolderIsFoundByWriting) {
    TempDir dir;
    EXPECT_TRUE(folderIsWritable(dir.path() / "html"));
    EXPECT_TRUE(fs::is_directory(dir.path() / "html"));
    EXPECT_TRUE(fs::is_empty(dir.path() / "html"));  // the probe is gone
    // Below a regular file nothing can be made, not even by root.
    ASSERT_FALSE(writeFileAtomically(dir.path() / "file.txt", "x"));
    EXPECT_FALSE(folderIsWritable(dir.path() / "file.txt"));
    EXPECT_FALSE(folderIsWritable(dir.path() / "file.txt" / "html"));
    if (geteuid() != 0) {  // root writes into read-only folders anyway
        fs::create_directories(dir.path() / "locked");
        fs::permissions(dir.path() / "locked", fs::perms::owner_read | fs::perms::owner_exec);
        EXPECT_FALSE(folderIsWritable(dir.path() / "locked"));
        fs::permissions(dir.path() / "locked", fs::perms::owner_all);
    }
}

}  // namespace
}  // namespace novel
