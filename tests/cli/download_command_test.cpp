// `novel download` end to end: a book from the demo site, and failures that must lose nothing.

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <unistd.h>
#include <nlohmann/json.hpp>

#include <filesystem>

#include "demo/demo_site.h"
#include "support/loopback_server.h"
#include "support/run_process.h"
#include "support/temp_dir.h"
#include "web/file_io.h"

namespace novel {
namespace {
namespace fs = std::filesystem;
using ::testing::HasSubstr;

test::ProcessResult novel(const std::string& site, std::vector<std::string> arguments) {
    arguments.insert(arguments.begin(), {NOVEL_CLI_PATH, "--site", site});
    return test::runProcess(arguments);
}

TEST(DownloadCommand, DownloadsAndCleansABookOfTheDemoSite) {
    DemoSite site;
    ASSERT_TRUE(site.start());
    auto list = nlohmann::json::parse(novel(site.url(), {"list", "1"}).out);
    const std::string bookUrl = list["rows"][0]["bookUrl"];
    const std::string txt =
        nlohmann::json::parse(novel(site.url(), {"book", bookUrl}).out)["txtPackageUrl"];

    test::TempDir scratch;
    auto result = novel(site.url(),
                        {"download", txt, "--title", " 样 书 ", "--dir", scratch.path().string()});
    ASSERT_EQ(result.exitCode, 0) << result.err;
    const fs::path expected = scratch.path() / "下载小说" / "样 书" / "样 书.txt";
    EXPECT_EQ(result.out, expected.string() + "\n");
    const Text text = readTextFile(expected);
    EXPECT_GT(text.size(), 1000u);
    EXPECT_EQ(findText(text, "www.", 1, true), -1);
    EXPECT_EQ(findText(text, ".com", 1, true), -1);
    EXPECT_EQ(findText(text, "demobook", 1, true), -1);
    EXPECT_FALSE(fs::exists(expected.parent_path() / "VOREDI5.exe.tmp"));
}

TEST(DownloadCommand, FailuresKeepTheOlderCopyAndSayWhy) {
    test::LoopbackServer server([](httplib::Server& s) {
        s.Get("/gone.txt",
              [](const httplib::Request&, httplib::Response& res) { res.status = 404; });
        s.Get("/empty.txt", [](const httplib::Request&, httplib::Response& res) {
            res.set_content("", "text/plain");
        });
    });
    test::TempDir scratch;
    const fs::path book = scratch.path() / "下载小说" / "样书" / "样书.txt";
    ASSERT_FALSE(writeFileAtomically(book, "older good copy"));
    ASSERT_FALSE(writeFileAtomically(book.parent_path() / "VOREDI5.exe.tmp", "leftover"));

    const std::string dead = "http://127.0.0.1:" + std::to_string(test::unusedPort()) + "/a.txt";
    for (const std::string& url : {server.url("/gone.txt"), server.url("/empty.txt"), dead}) {
        auto result = novel(server.url(),
                            {"download", url, "--title", "样书", "--dir", scratch.path().string()});
        EXPECT_EQ(result.exitCode, 1) << url;
        EXPECT_THAT(result.err, HasSubstr("样书")) << url;
        EXPECT_EQ(std::count(result.err.begin(), result.err.end(), '\n'), 1) << result.err;
        EXPECT_EQ(readFileBytes(book), "older good copy") << url;
        EXPECT_FALSE(fs::exists(book.parent_path() / "VOREDI5.exe.tmp")) << url;
    }

    // A hostile title stays inside the download folder.
    auto hostile = novel(server.url(), {"download", server.url("/gone.txt"), "--title", "../../x",
                                        "--dir", scratch.path().string()});
    EXPECT_EQ(hostile.exitCode, 1);
    EXPECT_FALSE(fs::exists(scratch.path().parent_path() / "x"));
    EXPECT_TRUE(fs::exists(scratch.path() / "下载小说" / "___.._x"));

    EXPECT_EQ(novel(server.url(), {"download", "--title", "x"}).exitCode, 2);
    EXPECT_EQ(novel(server.url(), {"download", "u"}).exitCode, 2);
}

}  // namespace
}  // namespace novel
