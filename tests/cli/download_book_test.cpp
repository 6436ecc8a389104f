// `novel download-book` end to end against a loopback book: the JSON report, the exit statuses,
// and the rerun that fills a missing chapter.

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <filesystem>

#include "support/loopback_server.h"
#include "support/run_process.h"
#include "support/temp_dir.h"
#include "support/test_book_site.h"
#include "web/file_io.h"

namespace novel {
namespace {
namespace fs = std::filesystem;

test::ProcessResult novel(std::vector<std::string> arguments) {
    arguments.insert(arguments.begin(), NOVEL_CLI_PATH);
    return test::runProcess(arguments);
}

TEST(DownloadBookCommand, ReportsMissingChaptersAndTheRerunFillsThem) {
    test::TestBookSite site;
    site.notInPackage = {2, 6};
    site.failures = {{6, -1}};
    test::LoopbackServer server([&](httplib::Server& s) { site.addRoutes(s); });
    test::TempDir dir;
    const std::vector<std::string> args{"download-book", server.url("/book/7.html"),
                                        "--dir",         dir.path().string(),
                                        "--connections", "2",
                                        "--encoding",    "utf-8"};

    auto first = novel(args);
    ASSERT_EQ(first.exitCode, 1) << first.err;
    const auto report = nlohmann::json::parse(first.out);
    const fs::path file = dir.path() / "下载小说" / "测试之书" / "测试之书.txt";
    EXPECT_EQ(report["file"], file.string());
    EXPECT_EQ(report["chapters"], 10);
    EXPECT_EQ(report["fromPackage"], 8);
    EXPECT_EQ(report["fromPages"], 1);
    ASSERT_EQ(report["missing"].size(), 1u);
    EXPECT_EQ(report["missing"][0]["title"], "第6章 标题6");
    EXPECT_EQ(report["missing"][0]["url"], server.url("/book/7/6.html"));
    const std::string reason = report["missing"][0]["reason"];
    EXPECT_NE(readFileBytes(file).find("第6章 标题6\r\n【本章缺失：" + reason + "】"),
              std::string::npos);

    site.failures[6] = 0;
    site.clearPageRequests();
    auto second = novel(args);
    ASSERT_EQ(second.exitCode, 0) << second.err;
    EXPECT_EQ(site.pageRequests(), std::vector<int>{6});
    EXPECT_EQ(nlohmann::json::parse(second.out)["missing"].size(), 0u);
    EXPECT_EQ(readFileBytes(file), site.package(true));

    auto epub = novel({"download-book", server.url("/book/7.html"), "--dir", dir.path().string(),
                       "--format", "epub"});
    ASSERT_EQ(epub.exitCode, 0) << epub.err;
    EXPECT_TRUE(readFileBytes(file.parent_path() / "测试之书.epub").starts_with("PK"));
}

TEST(DownloadBookCommand, WrongUsage) {
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"download-book"},
          {"download-book", "http://127.0.0.1:1/b.html", "--format", "pdf"},
          {"download-book", "http://127.0.0.1:1/b.html", "--encoding", "big5"},
          {"download-book", "http://127.0.0.1:1/b.html", "--connections", "0"},
          {"download-book", "a", "b"}}) {
        EXPECT_EQ(novel(args).exitCode, 2) << args.back();
    }
}

}  // namespace
}  // namespace novel
