// `novel shelf` and `novel chapter` with a library, end to end: the tool run as a process against
// a site in this process, and killed in the middle of an update.

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sqlite3.h>
#include <sys/wait.h>
#include <nlohmann/json.hpp>

#include <fstream>
#include <thread>

#include "library/library.h"
#include "support/changing_site.h"
#include "support/run_process.h"
#include "support/temp_dir.h"
#include "web/gbk.h"
#include "web/text.h"

extern char** environ;

namespace novel {
namespace {
namespace fs = std::filesystem;
using namespace std::chrono_literals;
using Json = nlohmann::json;
using test::ProcessResult;
using ::testing::HasSubstr;

class ShelfCli : public ::testing::Test {
  protected:
    std::vector<std::string> command(const test::ChangingSite& site,
                                     std::vector<std::string> arguments) const {
        arguments.insert(arguments.begin(),
                         {NOVEL_CLI_PATH, "--site", site.url(), "--library", file().string()});
        return arguments;
    }
    ProcessResult novel(const test::ChangingSite& site, std::vector<std::string> arguments) const {
        return test::runProcess(command(site, std::move(arguments)));
    }
    static Json json(const ProcessResult& result) {
        EXPECT_EQ(result.exitCode, 0) << result.err;
        return Json::parse(result.out);
    }
    fs::path file() const { return dir_.path() / "library.db"; }

    test::TempDir dir_;
};

TEST_F(ShelfCli, AddListReadUpdateRemove) {
    test::ChangingSite site(2, 4);
    Json added = json(novel(site, {"shelf", "add", site.bookUrl(1)}));
    EXPECT_EQ(added, Json({{"bookUrl", site.bookUrl(1)},
                           {"title", "书1"},
                           {"author", "作者1"},
                           {"tocUrl", site.url("/book/1/index.html")},
                           {"txtPackageUrl", ""},
                           {"chapterCount", 4},
                           {"lastRead", nullptr}}));
    json(novel(site, {"shelf", "add", site.bookUrl(2)}));
    Json list = json(novel(site, {"shelf", "list"}));
    ASSERT_EQ(list["books"].size(), 2u);
    EXPECT_EQ(list["books"][1], added);

    // A chapter read once is then read from the library, not the site.
    const int before = site.requests();
    Json first = json(novel(site, {"chapter", site.chapterUrl(1, 2)}));
    EXPECT_EQ(first["cached"], false);
    Json second = json(novel(site, {"chapter", site.chapterUrl(1, 2)}));
    EXPECT_EQ(second["cached"], true);
    EXPECT_EQ(second["text"], first["text"]);
    EXPECT_EQ(site.requests(), before + 1);
    EXPECT_EQ(json(novel(site, {"chapter", "--refresh", site.chapterUrl(1, 2)}))["cached"], false);
    EXPECT_EQ(site.requests(), before + 2);

    site.setToc(2, {{1, "第1章"}, {2, "第二章"}, {5, "第5章"}});
    Json update = json(novel(site, {"shelf", "update"}));
    ASSERT_EQ(update["books"].size(), 2u);
    EXPECT_EQ(update["books"][0], Json({{"bookUrl", site.bookUrl(2)},
                                        {"title", "书2"},
                                        {"new", {"第5章"}},
                                        {"removed", {"第3章", "第4章"}},
                                        {"retitled", {"第二章"}},
                                        {"revised", Json::array()},
                                        {"error", nullptr}}));
    EXPECT_EQ(update["books"][1]["error"], nullptr);

    // A book whose table of contents cannot be read: reported, and the exit status says so.
    site.setToc(1, {});
    ProcessResult failed = novel(site, {"shelf", "update"});
    EXPECT_EQ(failed.exitCode, 1);
    EXPECT_NE(Json::parse(failed.out)["books"][1]["error"], nullptr);

    json(novel(site, {"shelf", "remove", site.bookUrl(1)}));
    EXPECT_EQ(json(novel(site, {"shelf", "list"}))["books"].size(), 1u);
    ProcessResult again = novel(site, {"shelf", "remove", site.bookUrl(1)});
    EXPECT_EQ(again.exitCode, 1);
    EXPECT_THAT(again.err, HasSubstr("不在书架上"));
    EXPECT_EQ(novel(site, {"shelf", "sort"}).exitCode, 2);
}

TEST_F(ShelfCli, ASiteOnAnotherPortKeepsTheShelfAndTheKeptChapters) {
    std::string text;
    {
        test::ChangingSite old(1, 3);
        json(novel(old, {"shelf", "add", old.bookUrl(1)}));
        text = json(novel(old, {"chapter", old.chapterUrl(1, 3)}))["text"];
    }
    test::ChangingSite moved(1, 3);
    Json list = json(novel(moved, {"shelf", "list"}));
    ASSERT_EQ(list["books"].size(), 1u);
    EXPECT_EQ(list["books"][0]["bookUrl"], moved.bookUrl(1));
    EXPECT_EQ(list["books"][0]["tocUrl"], moved.url("/book/1/index.html"));
    EXPECT_EQ(list["books"][0]["chapterCount"], 3);
    Json chapter = json(novel(moved, {"chapter", moved.chapterUrl(1, 3)}));
    EXPECT_EQ(chapter["cached"], true);
    EXPECT_EQ(chapter["text"], text);
    EXPECT_EQ(moved.requests(), 0);
}

TEST_F(ShelfCli, ChaptersReadWithoutALibrary) {
    test::ChangingSite site(1, 2);
    std::ofstream(dir_.path() / "plain") << "x";
    ProcessResult result = test::runProcess({NOVEL_CLI_PATH, "--site", site.url(), "--library",
                                             (dir_.path() / "plain" / "library.db").string(),
                                             "chapter", site.chapterUrl(1, 1)});
    ASSERT_EQ(result.exitCode, 0) << result.err;
    EXPECT_EQ(Json::parse(result.out)["cached"], false);
    EXPECT_THAT(result.err, HasSubstr("不可写入"));
    EXPECT_EQ(std::count(result.err.begin(), result.err.end(), '\n'), 1);  // said once
}

TEST_F(ShelfCli, AReadOnlyDataFolderStillShowsTheShelfAndReads) {
    test::ChangingSite site(1, 3);
    const fs::path folder = dir_.path() / "data";
    fs::create_directories(folder);
    const std::vector<std::string> base{NOVEL_CLI_PATH, "--site", site.url(), "--library",
                                        (folder / "library.db").string()};
    auto run = [&](std::vector<std::string> prefix, std::vector<std::string> arguments) {
        prefix.insert(prefix.end(), base.begin(), base.end());
        prefix.insert(prefix.end(), arguments.begin(), arguments.end());
        return test::runProcess(prefix);
    };
    ASSERT_EQ(run({}, {"shelf", "add", site.bookUrl(1)}).exitCode, 0);
    ASSERT_EQ(run({}, {"chapter", site.chapterUrl(1, 1)}).exitCode, 0);

    // Root writes anywhere, so the tool then runs as nobody; anyone else loses the write bit.
    std::vector<std::string> asReader;
    fs::permissions(dir_.path(), fs::perms::owner_all | fs::perms::group_read |
                                     fs::perms::group_exec | fs::perms::others_read |
                                     fs::perms::others_exec);
    if (geteuid() == 0) {
        if (!fs::exists("/usr/bin/setpriv")) GTEST_SKIP() << "no setpriv to drop root";
        asReader = {"/usr/bin/setpriv", "--reuid=65534", "--regid=65534", "--clear-groups"};
        fs::permissions(folder, fs::perms::owner_all | fs::perms::group_read |
                                    fs::perms::group_exec | fs::perms::others_read |
                                    fs::perms::others_exec);
    } else {
        fs::permissions(folder, fs::perms::owner_read | fs::perms::owner_exec);
    }
    const Bytes before = [&] {
        std::ifstream in(folder / "library.db", std::ios::binary);
        return Bytes(std::istreambuf_iterator<char>(in), {});
    }();

    ProcessResult list = run(asReader, {"shelf", "list"});
    ASSERT_EQ(list.exitCode, 0) << list.err;
    EXPECT_EQ(Json::parse(list.out)["books"].size(), 1u);
    EXPECT_THAT(list.err, HasSubstr("只读"));
    ProcessResult kept = run(asReader, {"chapter", site.chapterUrl(1, 1)});
    ASSERT_EQ(kept.exitCode, 0) << kept.err;
    EXPECT_EQ(Json::parse(kept.out)["cached"], true);
    ProcessResult fresh = run(asReader, {"chapter", site.chapterUrl(1, 2)});
    ASSERT_EQ(fresh.exitCode, 0) << fresh.err;
    EXPECT_EQ(Json::parse(fresh.out)["cached"], false);
    ProcessResult update = run(asReader, {"shelf", "update"});
    EXPECT_EQ(update.exitCode, 1);
    EXPECT_THAT(update.err, HasSubstr("不可写入"));

    fs::permissions(folder, fs::perms::owner_all);
    std::ifstream in(folder / "library.db", std::ios::binary);
    EXPECT_TRUE(Bytes(std::istreambuf_iterator<char>(in), {}) == before);  // not touched
}

pid_t spawn(const std::vector<std::string>& arguments) {
    std::vector<char*> argv;
    for (const std::string& a : arguments) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    pid_t pid = -1;
    if (posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ) != 0) pid = -1;
    posix_spawn_file_actions_destroy(&actions);
    return pid;
}

std::string integrity(const fs::path& file) {
    sqlite3* db = nullptr;
    if (sqlite3_open(file.c_str(), &db) != SQLITE_OK) return "cannot open";
    sqlite3_stmt* stmt = nullptr;
    std::string out = "no answer";
    if (sqlite3_prepare_v2(db, "PRAGMA integrity_check", -1, &stmt, nullptr) == SQLITE_OK &&
        sqlite3_step(stmt) == SQLITE_ROW)
        out = reinterpret_cast<const char*>(sqlite3_column_text(stmt, 0));
    sqlite3_finalize(stmt);
    sqlite3_close(db);
    return out;
}

TEST_F(ShelfCli, KilledInTheMiddleOfAnUpdateTheLibraryStaysWhole) {
    constexpr int kBooks = 12, kChapters = 300;
    test::ChangingSite site(kBooks, kChapters, 15ms);
    // Two versions of every table of contents; an update swaps one for the other.
    std::vector<std::pair<int, std::string>> a, b;
    for (int c = 1; c <= kChapters; ++c) {
        a.push_back({c, "第" + std::to_string(c) + "章"});
        if (c % 3 != 0) b.push_back({c, "修订第" + std::to_string(c) + "章"});
    }
    b.push_back({kChapters + 1, "新章"});
    for (int n = 1; n <= kBooks; ++n)
        ASSERT_EQ(novel(site, {"shelf", "add", site.bookUrl(n)}).exitCode, 0);
    for (int c = kChapters - 2; c <= kChapters; ++c)
        ASSERT_EQ(novel(site, {"chapter", site.chapterUrl(1, c)}).exitCode, 0);

    int killedMidway = 0;
    for (int round = 0; round < 16; ++round) {
        SCOPED_TRACE(round);
        for (int n = 1; n <= kBooks; ++n) site.setToc(n, round % 2 ? a : b);
        const pid_t pid = spawn(command(site, {"shelf", "update"}));
        ASSERT_GT(pid, 0);
        std::this_thread::sleep_for(std::chrono::milliseconds(5 + (round * 37) % 160));
        kill(pid, SIGKILL);
        int status = 0;
        waitpid(pid, &status, 0);
        killedMidway += WIFSIGNALED(status);

        ASSERT_EQ(integrity(file()), "ok");
        Library library(file(), site.url());
        ASSERT_EQ(library.state(), LibraryState::Open);
        EXPECT_TRUE(library.openProblem().empty()) << library.openProblem();
        const std::vector<ShelfBook> books = library.books(true);
        ASSERT_EQ(books.size(), static_cast<size_t>(kBooks));
        for (const ShelfBook& book : books) {
            // Each table is whole: one version or the other, never a mixture.
            ASSERT_TRUE(book.chapterCount == kChapters ||
                        book.chapterCount == static_cast<int>(b.size()))
                << book.chapterCount;
            const bool isB = book.chapterCount == static_cast<int>(b.size());
            EXPECT_EQ(toUtf8(book.toc.back().title),
                      isB ? "新章" : "第" + std::to_string(kChapters) + "章");
            EXPECT_EQ(toUtf8(book.toc.front().title), isB ? "修订第1章" : "第1章");
        }
    }
    EXPECT_GT(killedMidway, 8);  // most runs were really cut short
    // And an update that is left alone still completes on the library the kills left behind.
    EXPECT_EQ(novel(site, {"shelf", "update"}).exitCode, 0);
}

}  // namespace
}  // namespace novel

namespace novel {
namespace {

TEST_F(ShelfCli, FindSearchesTheKeptChaptersByBookAndChapter) {
    test::ChangingSite site(2, 4);
    site.setChapterText(1, 3, "桌上放着一把铜钥匙。");
    site.setChapterText(1, 1, "钥匙丢了，他找了一夜。");
    site.setChapterText(2, 2, "门外的人也有钥匙");
    json(novel(site, {"shelf", "add", site.bookUrl(1)}));
    for (auto [book, chapter] : {std::pair{1, 3}, {1, 1}, {2, 2}, {2, 1}})
        json(novel(site, {"chapter", site.chapterUrl(book, chapter)}));

    // Quotes and "*" are only text.
    const Json all = json(novel(site, {"find", "\"钥匙\"*"}));
    ASSERT_EQ(all["hits"].size(), 3u);
    // The shelf book first, in its contents order; then the book known only by its address.
    EXPECT_EQ(all["hits"][0]["chapterUrl"], site.chapterUrl(1, 1));
    EXPECT_EQ(all["hits"][0]["bookTitle"], "书1");
    EXPECT_EQ(all["hits"][0]["bookUrl"], site.bookUrl(1));
    EXPECT_EQ(all["hits"][0]["chapterTitle"], "第1章");
    EXPECT_EQ(all["hits"][0]["snippet"], "钥匙丢了，他找了一夜。");
    EXPECT_EQ(all["hits"][1]["chapterUrl"], site.chapterUrl(1, 3));
    EXPECT_EQ(all["hits"][2]["chapterUrl"], site.chapterUrl(2, 2));
    EXPECT_EQ(all["hits"][2]["bookUrl"], site.bookUrl(2));

    const Json one = json(novel(site, {"find", "钥", "--book", site.bookUrl(2)}));
    ASSERT_EQ(one["hits"].size(), 1u);
    EXPECT_EQ(one["hits"][0]["chapterUrl"], site.chapterUrl(2, 2));
    EXPECT_EQ(json(novel(site, {"find", "钥匙", "--limit", "1"}))["hits"].size(), 1u);

    const ProcessResult none = novel(site, {"find", "不在书里"});
    EXPECT_EQ(none.exitCode, 1);
    EXPECT_EQ(Json::parse(none.out), Json({{"hits", Json::array()}}));
    EXPECT_EQ(novel(site, {"find", "钥匙", "--limit", "x"}).exitCode, 2);
}

}  // namespace
}  // namespace novel
