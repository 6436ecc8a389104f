// Runs the built `novel` tool against a loopback server.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>

#include "support/loopback_server.h"
#include "support/run_process.h"

namespace novel {
namespace {

using test::LoopbackServer;
using test::ProcessResult;
using test::runProcess;
using ::testing::HasSubstr;

const std::string kBody("GBK \xD6\xD0\xCE\xC4\0tail\r\n", 14);

void routes(httplib::Server& server) {
    server.Get("/book.html", [](const httplib::Request&, httplib::Response& res) {
        res.set_content(kBody, "text/html");
    });
    server.Get("/empty", [](const httplib::Request&, httplib::Response& res) {
        res.set_content("", "text/html");
    });
}

ProcessResult novel(std::vector<std::string> arguments) {
    arguments.insert(arguments.begin(), NOVEL_CLI_PATH);
    return runProcess(arguments);
}

TEST(CliFetch, WritesTheBodyUnchanged) {
    LoopbackServer server(routes);
    ProcessResult result = novel({"fetch", server.url("/book.html")});
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_EQ(result.out, kBody);
    EXPECT_EQ(result.err, "");
    EXPECT_EQ(server.lastRequest().version, "HTTP/1.1");

    result = novel({"--site", "http://elsewhere", "--config", "site.ini", "fetch", "--plain",
                    server.url("/book.html")});
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_EQ(result.out, kBody);
    EXPECT_EQ(server.lastRequest().version, "HTTP/1.0");
}

TEST(CliFetch, EmptyResultFailsWithOneLine) {
    LoopbackServer server(routes);
    const std::string unreachable = "http://127.0.0.1:" + std::to_string(test::unusedPort()) + "/x";
    for (const auto& arguments :
         std::vector<std::vector<std::string>>{{"fetch", unreachable},
                                               {"fetch", "--plain", unreachable},
                                               {"fetch", server.url("/empty")}}) {
        const ProcessResult result = novel(arguments);
        EXPECT_EQ(result.exitCode, 1) << arguments.back();
        EXPECT_EQ(result.out, "");
        ASSERT_FALSE(result.err.empty());
        EXPECT_EQ(result.err.find('\n'), result.err.size() - 1) << result.err;
    }
}

TEST(CliFetch, UsageAndWrongUsage) {
    ProcessResult help = novel({"--help"});
    EXPECT_EQ(help.exitCode, 0);
    EXPECT_THAT(help.out, HasSubstr("fetch [--plain] URL"));
    EXPECT_EQ(help.err, "");

    for (const auto& arguments : std::vector<std::vector<std::string>>{
             {},
             {"fetch"},
             {"fetch", "--plain"},
             {"fetch", "http://a/", "http://b/"},
             {"fetch", "--bogus", "http://a/"},
             {"nosuchcommand"},
             {"--site"},
             {"--colour", "fetch", "http://a/"},
         }) {
        const ProcessResult result = novel(arguments);
        EXPECT_EQ(result.exitCode, 2) << ::testing::PrintToString(arguments);
        EXPECT_EQ(result.out, "");
        EXPECT_THAT(result.err, HasSubstr("usage: novel"));
    }
}

}  // namespace
}  // namespace novel
