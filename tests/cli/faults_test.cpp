// The command-line tool against pages that arrive badly: each ends in time with a clear message,
// and pages that are merely odd (very large, many rows, byte soup) are read without a crash.

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <chrono>
#include <fstream>

#include "demo/demo_faults.h"
#include "demo/demo_site.h"
#include "support/run_process.h"
#include "support/temp_dir.h"

namespace novel {
namespace {
using Json = nlohmann::json;
using test::ProcessResult;
using ::testing::HasSubstr;

class Faults : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        site_ = new DemoSite;
        site_->addRoutes(&demoFaultRoutes);
        ASSERT_TRUE(site_->start());
        folder_ = new test::TempDir;
        std::ofstream(folder_->path() / "site.ini") << "page_timeout = 3\n";
    }
    static void TearDownTestSuite() {
        delete site_;
        delete folder_;
    }

    // Runs `novel` against the site's fault KIND; seconds taken go to *seconds.
    static ProcessResult novel(const std::string& kind, std::vector<std::string> arguments,
                               double* seconds = nullptr) {
        arguments.insert(arguments.begin(),
                         {NOVEL_CLI_PATH, "--config", (folder_->path() / "site.ini").string(),
                          "--site", faultUrl(kind)});
        const auto start = std::chrono::steady_clock::now();
        ProcessResult result = test::runProcess(arguments);
        if (seconds)
            *seconds =
                std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        return result;
    }
    static std::string faultUrl(const std::string& kind) { return site_->url() + "/fault/" + kind; }

    static DemoSite* site_;
    static test::TempDir* folder_;
};
DemoSite* Faults::site_ = nullptr;
test::TempDir* Faults::folder_ = nullptr;

TEST_F(Faults, BrokenPagesEndInTimeWithTheReason) {
    const std::pair<const char*, const char*> cases[] = {
        {"trickle", "网页读取超时"},  {"reset", "网页没有读完，连接中断了"},
        {"404", "网站返回错误 404"},  {"500", "网站返回错误 500"},
        {"loop", "网页跳转次数过多"},
    };
    for (const auto& [kind, reason] : cases) {
        SCOPED_TRACE(kind);
        double seconds = 0;
        const ProcessResult result = novel(kind, {"list", "1"}, &seconds);
        EXPECT_EQ(result.exitCode, 1);
        EXPECT_THAT(result.err, HasSubstr(reason));
        EXPECT_EQ(std::count(result.err.begin(), result.err.end(), '\n'), 1);
        // What the parser made of it is still printed: nothing.
        EXPECT_EQ(Json::parse(result.out)["rows"].size(), 0u);
        EXPECT_LT(seconds, 15);  // the page limit is 3 s
    }
    // The other page readers say the same.
    EXPECT_THAT(novel("500", {"book", faultUrl("500") + "/book/1.html"}).err,
                HasSubstr("网站返回错误 500"));
    EXPECT_THAT(novel("reset", {"toc", faultUrl("reset") + "/book/2/index.html",
                                site_->url() + "/book/2.html"})
                    .err,
                HasSubstr("连接中断"));
}

TEST_F(Faults, OddButWholePagesAreRead) {
    // 50 MB before the table: the 30 rows are all there.
    ProcessResult result = novel("huge", {"list", "1"});
    ASSERT_EQ(result.exitCode, 0) << result.err;
    EXPECT_EQ(Json::parse(result.out)["rows"].size(), 30u);

    // 100,000 copies of the first row, each numbered in turn.
    result = novel("rows", {"list", "1"});
    ASSERT_EQ(result.exitCode, 0) << result.err;
    const Json rows = Json::parse(result.out)["rows"];
    ASSERT_GE(rows.size(), 100000u);
    EXPECT_EQ(rows[99999]["id"], "100000");
    EXPECT_EQ(rows[99999]["title"], rows[0]["title"]);

    // Byte soup parses to nothing much, in every reader, and the output stays valid JSON.
    for (const std::vector<std::string>& command :
         {std::vector<std::string>{"list", "1"},
          {"search", "title", "之"},
          {"book", faultUrl("soup") + "/book/1.html"},
          {"toc", faultUrl("soup") + "/book/1/index.html", site_->url() + "/book/1.html"},
          {"chapter", faultUrl("soup") + "/book/1/1.html"}}) {
        SCOPED_TRACE(command[0]);
        result = novel("soup", command);
        EXPECT_EQ(result.exitCode, 0) << result.err;
        EXPECT_NO_THROW(Json::parse(result.out));
    }
}

TEST_F(Faults, ATenMegabyteChapterIsReadWhole) {
    const ProcessResult toc =
        novel("none", {"toc", site_->url() + "/book/2/index.html", site_->url() + "/book/2.html"});
    ASSERT_EQ(toc.exitCode, 0) << toc.err;
    std::string chapterUrl = Json::parse(toc.out)["chapters"][0]["url"];
    chapterUrl.replace(0, site_->url().size(), faultUrl("bigchapter"));

    const ProcessResult result = novel("bigchapter", {"chapter", chapterUrl});
    ASSERT_EQ(result.exitCode, 0) << result.err;
    const std::string text = Json::parse(result.out)["text"];
    EXPECT_GT(text.size(), 10u << 20);
    EXPECT_THAT(text.substr(0, 200), HasSubstr("夜色如墨"));
}

}  // namespace
}  // namespace novel
