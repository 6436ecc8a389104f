// Every site command of the built `novel` tool against the demo site, end to end over HTTP.

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <unistd.h>
#include <nlohmann/json.hpp>

#include <filesystem>
#include <fstream>

#include "bookmarks/bookmark_file.h"
#include "demo/demo_site.h"
#include "support/loopback_server.h"
#include "support/run_process.h"
#include "support/temp_dir.h"
#include "web/file_io.h"
#include "web/gbk.h"

namespace novel {
namespace {
namespace fs = std::filesystem;
using Json = nlohmann::json;
using test::ProcessResult;
using ::testing::HasSubstr;
using ::testing::Not;

class SiteCommands : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        site_ = new DemoSite;
        ASSERT_TRUE(site_->start());
    }
    static void TearDownTestSuite() {
        delete site_;
        site_ = nullptr;
    }

    static ProcessResult novel(std::vector<std::string> arguments) {
        arguments.insert(arguments.begin(), {NOVEL_CLI_PATH, "--site", site_->url()});
        return test::runProcess(arguments);
    }
    static Json json(const ProcessResult& result) {
        EXPECT_EQ(result.exitCode, 0) << result.err;
        return Json::parse(result.out);
    }

    static DemoSite* site_;
};
DemoSite* SiteCommands::site_ = nullptr;

TEST_F(SiteCommands, ListsNamesTheTwentyOneLists) {
    Json lists = json(novel({"lists"}));
    ASSERT_EQ(lists.size(), 21u);
    EXPECT_EQ(lists[0], Json::parse(R"({"index":1,"caption":"最近更新","path":"/top/lastupdate_",
                                      "firstPage":"ranking","pageTurns":"ranking"})"));
    EXPECT_EQ(lists[1]["pageTurns"], "category");  // finished novels turn pages in the other layout
    EXPECT_EQ(lists[20]["index"], 23);
}

TEST_F(SiteCommands, EveryListReadsItsFirstTwoPages) {
    for (const Json& entry : json(novel({"lists"}))) {
        const std::string index = std::to_string(entry["index"].get<int>());
        for (const char* page : {"1", "2"}) {
            Json list = json(novel({"list", index, page}));
            EXPECT_GE(list["pageCount"].get<int>(), 3) << index;
            ASSERT_FALSE(list["rows"].empty()) << index << " page " << page;
            for (const Json& row : list["rows"]) {
                EXPECT_FALSE(row["author"].get<std::string>().empty()) << index;
                EXPECT_THAT(row["bookUrl"].get<std::string>(), HasSubstr(site_->url())) << index;
                EXPECT_THAT(row["tocUrl"].get<std::string>(), HasSubstr("/index.html")) << index;
                EXPECT_FALSE(row["time"].get<std::string>().empty());
            }
            EXPECT_EQ(list["rows"][0]["id"], "1");
        }
    }
}

TEST_F(SiteCommands, BookTocAndChapterOfAListedBook) {
    Json row = json(novel({"list", "14"}))["rows"][0];
    const std::string bookUrl = row["bookUrl"];

    Json book = json(novel({"book", bookUrl}));
    EXPECT_THAT(book["txtPackageUrl"].get<std::string>(), HasSubstr("packdown_txt_"));
    EXPECT_EQ(book["bookUrlStem"], bookUrl.substr(0, bookUrl.size() - 5));
    EXPECT_FALSE(book["category"].get<std::string>().empty());
    EXPECT_THAT(book["lastUpdate"].get<std::string>(), ::testing::StartsWith("20"));
    EXPECT_THAT(book["wordCount"].get<std::string>(), ::testing::EndsWith("字"));
    EXPECT_THAT(book["synopsis"].get<std::string>(), Not(HasSubstr("<br")));
    EXPECT_THAT(book["synopsis"].get<std::string>(), Not(HasSubstr("演示书城")));
    EXPECT_THAT(book["synopsis"].get<std::string>(), Not(HasSubstr("首发")));
    EXPECT_EQ(book["title"], row["title"]);
    EXPECT_EQ(book["author"], row["author"]);

    Json toc = json(novel({"toc", row["tocUrl"], bookUrl}));
    ASSERT_FALSE(toc["chapters"].empty());
    EXPECT_EQ(toc["chapters"][0]["id"], "1");
    const std::string chapterUrl = toc["chapters"][0]["url"];
    EXPECT_EQ(chapterUrl.rfind(book["bookUrlStem"].get<std::string>() + "/", 0), 0u);

    Json chapter = json(novel({"chapter", chapterUrl}));
    std::string text = chapter["text"];
    EXPECT_FALSE(text.empty());
    std::string lower = text;
    for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    EXPECT_THAT(lower, Not(HasSubstr("www.")));
    EXPECT_THAT(lower, Not(HasSubstr(".com")));
    EXPECT_THAT(lower, Not(HasSubstr("demobook")));
    EXPECT_THAT(text, Not(HasSubstr("演示书城")));
    EXPECT_THAT(text, Not(HasSubstr("请记住本站网址")));
}

TEST_F(SiteCommands, BookmarksAreListedRebasedOntoTheSiteInUse) {
    test::TempDir dir;
    const fs::path html = dir.path() / "html";
    Bookmark b;
    b.selectedRow = "2";
    b.bookTitle = toGbk("星河 彼岸");
    b.chapterTitle = toGbk("第二章");
    b.chapterUrl = "http://127.0.0.1:1/book/3/30002.html?x=1";
    b.txtPackageUrl = "http://127.0.0.1:1/modules/article/packdown_txt_3.txt";
    for (int k = 1; k <= 3; ++k)
        b.chapters.push_back({std::to_string(k), "c",
                              "http://127.0.0.1:1/book/3/3000" + std::to_string(k) + ".html"});
    ASSERT_FALSE(writeFileAtomically(bookmarkSlotPath(html, 3), formatBookmark(b)));
    ASSERT_FALSE(createEmptyFile(bookmarkSlotPath(html, 1)));  // free: not listed

    Json slots = json(novel({"--html", html.string(), "bookmarks"}));
    ASSERT_EQ(slots.size(), 4u);  // slot 1 free, 2, 4 and 5 missing, 3 taken
    const Json& taken = slots[1];
    EXPECT_EQ(taken["slot"], 3);
    EXPECT_EQ(taken["bookTitle"], "星河 彼岸");
    EXPECT_EQ(taken["chapterTitle"], "第二章");
    EXPECT_EQ(taken["chapterUrl"], site_->url() + "/book/3/30002.html?x=1");
    EXPECT_EQ(taken["chapters"], 3);
    EXPECT_EQ(slots[0]["slot"], 2);
    EXPECT_EQ(slots[0]["bookTitle"], "");
    EXPECT_EQ(slots[0]["chapters"], 0);

    ProcessResult noFolder = novel({"bookmarks"});
    EXPECT_EQ(noFolder.exitCode, 2);
    EXPECT_THAT(noFolder.err, HasSubstr("--html"));
}

TEST_F(SiteCommands, SearchGivesEachOfTheThreeAnswers) {
    Json row = json(novel({"list", "1"}))["rows"][0];
    const std::string title = row["title"], author = row["author"];

    Json byTitle = json(novel({"search", "title", title}));
    ASSERT_NE(byTitle["answer"], "none");
    bool found = false;
    for (const Json& r : byTitle["rows"]) found |= r["bookUrl"] == row["bookUrl"];
    EXPECT_TRUE(found) << byTitle.dump();

    Json byAuthor = json(novel({"search", "author", author}));
    EXPECT_NE(byAuthor["answer"], "none");
    if (byAuthor["answer"] == "single") {
        EXPECT_EQ(byAuthor["rows"][0]["title"], title);  // the book's title, not the author's name
        EXPECT_EQ(byAuthor["pageCount"], 1);
    }
    // The demo's sole book of an author: a single-book answer named by the book.
    Json sole = json(novel({"search", "author", "白衣卿相"}));
    ASSERT_EQ(sole["answer"], "single");
    const std::string soleTitle = sole["rows"][0]["title"];
    EXPECT_NE(soleTitle, "白衣卿相");
    EXPECT_FALSE(soleTitle.empty());
    Json soleBook = json(novel({"book", sole["rows"][0]["bookUrl"]}));
    EXPECT_EQ(soleBook["title"], soleTitle);
    EXPECT_EQ(soleBook["author"], "白衣卿相");

    Json none = json(novel({"search", "title", "没有这样的书名zzz"}));
    EXPECT_EQ(none["answer"], "none");
    EXPECT_TRUE(none["pageCount"].is_null());
    EXPECT_TRUE(none["rows"].empty());
}

TEST_F(SiteCommands, WrongUsageAndDeadSites) {
    for (std::vector<std::string> bad :
         std::vector<std::vector<std::string>>{{"list"},
                                               {"list", "0"},
                                               {"list", "4"},
                                               {"list", "13"},
                                               {"list", "24"},
                                               {"list", "1", "0"},
                                               {"list", "x"},
                                               {"search", "isbn", "a"},
                                               {"search", "title"},
                                               {"book"},
                                               {"toc", "a"},
                                               {"chapter"},
                                               {"nonsense"},
                                               {"serve-demo", "--port", "x"},
                                               {"serve-demo", "--latency"},
                                               {"serve-demo", "--rate", "-1"}}) {
        ProcessResult r = novel(bad);
        EXPECT_EQ(r.exitCode, 2) << bad[0];
        EXPECT_THAT(r.err, HasSubstr("usage")) << bad[0];
    }

    const std::string dead = "http://127.0.0.1:" + std::to_string(test::unusedPort());
    ProcessResult list = test::runProcess({NOVEL_CLI_PATH, "--site", dead, "list", "1"});
    EXPECT_EQ(list.exitCode, 1);
    EXPECT_EQ(Json::parse(list.out)["rows"].size(), 0u);  // still prints what the parser gives
    EXPECT_EQ(std::count(list.err.begin(), list.err.end(), '\n'), 1);
    ProcessResult search =
        test::runProcess({NOVEL_CLI_PATH, "--site", dead, "search", "title", "x"});
    EXPECT_EQ(search.exitCode, 1);
    EXPECT_EQ(Json::parse(search.out)["answer"], "none");
}

TEST(CliDemoSite, StartsTheDemoSiteWhenNoSiteIsConfigured) {
    test::TempDir dir;
    const fs::path ini = dir.path() / "site.ini";
    std::ofstream(ini) << "# no site key: the demo site is used\nbrand_latin = demobook\n";
    ProcessResult r = test::runProcess({NOVEL_CLI_PATH, "--config", ini.string(), "list", "1"});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    Json list = Json::parse(r.out);
    EXPECT_THAT(list["url"].get<std::string>(), HasSubstr("http://127.0.0.1:"));
    EXPECT_FALSE(list["rows"].empty());
}

TEST(CliDemoSite, UsesTheConfiguredDemoPortAndFallsBackWhenItIsTaken) {
    test::TempDir dir;
    const fs::path ini = dir.path() / "site.ini";
    const int port = test::unusedPort();
    std::ofstream(ini) << "demo_port = " << port << "\ndemo_latency = 1\ndemo_rate = 100000\n";
    const std::string expected = "http://127.0.0.1:" + std::to_string(port) + "/";
    auto urlOfList = [&] {
        ProcessResult r = test::runProcess({NOVEL_CLI_PATH, "--config", ini.string(), "list", "1"});
        EXPECT_EQ(r.exitCode, 0) << r.err;
        Json list = Json::parse(r.out);
        EXPECT_FALSE(list["rows"].empty());
        return list["url"].get<std::string>();
    };
    EXPECT_THAT(urlOfList(), HasSubstr(expected));

    DemoSite holder;
    ASSERT_TRUE(holder.start(port));
    const std::string fallback = urlOfList();
    EXPECT_THAT(fallback, HasSubstr("http://127.0.0.1:"));
    EXPECT_THAT(fallback, Not(HasSubstr(expected)));
}

}  // namespace
}  // namespace novel
