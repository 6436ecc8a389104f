// The full-text index: the cut into units and tokens, the query made from user input, and the
// library's index kept in step with stored, revised, evicted and cleared chapters.

#include <gtest/gtest.h>

#include "library/fulltext.h"
#include "library/library.h"
#include "library/library_fixtures.h"
#include "support/temp_dir.h"
#include "web/gbk.h"

namespace novel {
namespace {
namespace fs = std::filesystem;

using test::chapterPage;
const std::string& kSite = test::kLibrarySite;

ChapterCleaning cleaning() {
    return test::demoCleaning();
}

std::string chapterUrl(int book, int n) {
    return kSite + "/book/" + std::to_string(book) + "/" + std::to_string(n) + ".html";
}

std::vector<std::string> tokenTexts(std::string_view text, bool query) {
    std::vector<std::string> out;
    for (const FulltextToken& t : fulltextTokens(text, query))
        out.push_back((t.colocated ? "+" : "") + t.text);
    return out;
}

std::vector<std::string> urlsOf(const FulltextResult& result) {
    std::vector<std::string> out;
    for (const FulltextHit& hit : result.hits) out.push_back(hit.chapterUrl);
    return out;
}

using Urls = std::vector<std::string>;

TEST(FulltextText, DocumentsKeepCharactersAndPairsQueriesLookUpPairs) {
    EXPECT_EQ(tokenTexts("甲乙，丙", false), (Urls{"甲", "+甲乙", "乙", "+乙丙", "丙"}));
    EXPECT_EQ(tokenTexts("Hello, WORLD 42", false), (Urls{"hello", "world", "42"}));
    EXPECT_EQ(tokenTexts("甲", true), (Urls{"甲"}));
    EXPECT_EQ(tokenTexts("甲乙丙", true), (Urls{"甲乙", "乙丙"}));
    // A character before a word holds its place; words between characters break the pairs.
    EXPECT_EQ(tokenTexts("甲乙ab丙", true), (Urls{"甲乙", "乙", "ab", "丙"}));
    // Bytes that are no UTF-8 only separate.
    EXPECT_EQ(tokenTexts("a\xFF\xE4\xB8"
                         "b",
                         false),
              (Urls{"a", "b"}));
}

TEST(FulltextText, QuerySyntaxIsOnlyText) {
    EXPECT_EQ(fulltextMatchExpression("\"甲\" OR 乙* -丙"), "\"甲 or 乙 丙\"");
    EXPECT_EQ(fulltextMatchExpression("NEAR(a b) ^c:d"), "\"near a b c d\"");
    EXPECT_EQ(fulltextMatchExpression("\" * - ，。"), "");
}

TEST(FulltextText, SnippetMarksTheHitAcrossALineBreak) {
    const std::string plain = fulltextPlainText(toGbk("第一段落尾\r\n<br />\r\n首第二段"));
    EXPECT_EQ(plain, "第一段落尾\n首第二段");
    const std::optional<FulltextSnippet> s = fulltextSnippet(plain, "尾首", 2);
    ASSERT_TRUE(s);
    EXPECT_EQ(s->text, "段落尾 首第二段");
    EXPECT_EQ(s->text.substr(s->hitBegin, s->hitEnd - s->hitBegin), "尾 首");
    EXPECT_FALSE(fulltextSnippet(plain, "首尾"));
}

class FulltextLibrary : public ::testing::Test {
  protected:
    fs::path file() const { return dir_.path() / "library.db"; }
    void store(Library& library, const std::string& url, const std::string& text) {
        ASSERT_TRUE(library.storeChapter(url, chapterPage(text), cleaning(), 1).ok());
    }
    test::TempDir dir_;
};

TEST_F(FulltextLibrary, FindsChineseOfEveryLengthAndWordsInAnyCase) {
    Library library(file(), kSite);
    store(library, chapterUrl(1, 1), "他走进了龙城的大门。<br />\r\n城门外是 Dragon Gate 客栈。");
    store(library, chapterUrl(1, 2), "龙在天上飞。");
    store(library, chapterUrl(2, 1), "城里没有人。");

    EXPECT_EQ(urlsOf(library.findText("龙", FulltextScope::All)),
              (Urls{chapterUrl(1, 1), chapterUrl(1, 2)}));
    EXPECT_EQ(urlsOf(library.findText("龙城", FulltextScope::All)), (Urls{chapterUrl(1, 1)}));
    EXPECT_EQ(urlsOf(library.findText("走进了龙城的大门", FulltextScope::All)),
              (Urls{chapterUrl(1, 1)}));
    EXPECT_TRUE(library.findText("走进了龙城大门", FulltextScope::All).hits.empty());
    EXPECT_EQ(urlsOf(library.findText("dragon GATE", FulltextScope::All)),
              (Urls{chapterUrl(1, 1)}));
    EXPECT_TRUE(library.findText("drag", FulltextScope::All).hits.empty());
    // Across the paragraph break of "<br />\r\n".
    const FulltextResult across = library.findText("大门城门", FulltextScope::All);
    ASSERT_EQ(urlsOf(across), (Urls{chapterUrl(1, 1)}));
    const FulltextHit& hit = across.hits[0];
    EXPECT_EQ(hit.snippet.substr(hit.hitBegin, hit.hitEnd - hit.hitBegin), "大门。 城门");
    // Syntax characters are text: the query is the words "gate" and "客栈" in a row.
    EXPECT_EQ(urlsOf(library.findText("\"Gate\" * - 客栈", FulltextScope::All)),
              (Urls{chapterUrl(1, 1)}));
    EXPECT_TRUE(library.findText("Gate OR 天上", FulltextScope::All).hits.empty());
    EXPECT_TRUE(library.findText("\"", FulltextScope::All).hits.empty());
}

TEST_F(FulltextLibrary, RevisedEvictedAndClearedChaptersLeaveTheIndex) {
    Library library(file(), kSite);
    store(library, chapterUrl(1, 1), "旧的文字在这里。");
    store(library, chapterUrl(1, 2), "别的章节也有文字。");
    store(library, chapterUrl(1, 1), "新的内容换上了。");
    EXPECT_TRUE(library.findText("旧的", FulltextScope::All).hits.empty());
    EXPECT_EQ(urlsOf(library.findText("新的内容", FulltextScope::All)), (Urls{chapterUrl(1, 1)}));
    EXPECT_EQ(urlsOf(library.findText("文字", FulltextScope::All)), (Urls{chapterUrl(1, 2)}));

    // Text cleaned again under other brand words is indexed as it is now served.
    ChapterCleaning other = cleaning();
    other.brandWords.chinese = toGbk("内容");
    ASSERT_TRUE(library.lookupChapter(chapterUrl(1, 1), other));
    EXPECT_TRUE(library.findText("新的内容", FulltextScope::All).hits.empty());
    EXPECT_EQ(urlsOf(library.findText("新的换上", FulltextScope::All)), (Urls{chapterUrl(1, 1)}));

    // Eviction: a tiny limit keeps only the chapter just stored.
    library.setCacheLimit(1);
    store(library, chapterUrl(1, 3), "最后一章。");
    EXPECT_FALSE(library.hasChapter(chapterUrl(1, 2)));
    EXPECT_TRUE(library.findText("文字", FulltextScope::All).hits.empty());
    EXPECT_TRUE(library.findText("新的换上", FulltextScope::All).hits.empty());
    EXPECT_EQ(urlsOf(library.findText("最后", FulltextScope::All)), (Urls{chapterUrl(1, 3)}));

    ASSERT_TRUE(library.clearCache().ok());
    EXPECT_TRUE(library.findText("最后", FulltextScope::All).hits.empty());
    library.setCacheLimit(Library::kDefaultCacheLimitBytes);
    store(library, chapterUrl(1, 3), "最后一章。");
    EXPECT_EQ(urlsOf(library.findText("最后", FulltextScope::All)), (Urls{chapterUrl(1, 3)}));
}

TEST_F(FulltextLibrary, HitsComeByBookInChapterOrderWithinTheirScope) {
    Library library(file(), kSite);
    ShelfBook shelved;
    shelved.bookUrl = kSite + "/book/1.html";
    shelved.title = toGbk("乙书");
    // Contents order differs from address order.
    shelved.toc = {{"1", toGbk("第一章"), chapterUrl(1, 9)},
                   {"2", toGbk("第二章"), chapterUrl(1, 3)}};
    ASSERT_TRUE(library.addBook(shelved).ok());
    store(library, chapterUrl(1, 3), "钥匙在桌上。");
    store(library, chapterUrl(1, 9), "钥匙丢了。");
    store(library, chapterUrl(2, 5), "他也有钥匙。");
    store(library, chapterUrl(3, 1), "钥匙是铜的。");
    ASSERT_TRUE(library
                    .labelChapter(chapterUrl(2, 5),
                                  {kSite + "/book/2.html", toGbk("甲书"), toGbk("第五章"), 4})
                    .ok());

    const FulltextResult all = library.findText("钥匙", FulltextScope::All);
    EXPECT_EQ(all.matched, 4);
    // "甲书" sorts before "乙书" (GBK order); the unnamed book comes last.
    ASSERT_EQ(urlsOf(all),
              (Urls{chapterUrl(2, 5), chapterUrl(1, 9), chapterUrl(1, 3), chapterUrl(3, 1)}));
    EXPECT_EQ(toUtf8(all.hits[0].chapterTitle), "第五章");
    EXPECT_FALSE(all.hits[0].onShelf);
    EXPECT_EQ(toUtf8(all.hits[1].bookTitle), "乙书");
    EXPECT_EQ(toUtf8(all.hits[1].chapterTitle), "第一章");
    EXPECT_EQ(all.hits[1].chapterIndex, 0);
    EXPECT_EQ(all.hits[3].bookUrl, kSite + "/book/3.html");

    EXPECT_EQ(urlsOf(library.findText("钥匙", FulltextScope::Shelf)),
              (Urls{chapterUrl(1, 9), chapterUrl(1, 3)}));
    EXPECT_EQ(urlsOf(library.findText("钥匙", FulltextScope::Book, kSite + "/book/2.html")),
              (Urls{chapterUrl(2, 5)}));
    const FulltextResult limited = library.findText("钥匙", FulltextScope::All, {}, 1);
    EXPECT_EQ(limited.matched, 4);
    EXPECT_EQ(urlsOf(limited), (Urls{chapterUrl(2, 5)}));
}

TEST_F(FulltextLibrary, ALibraryOfTheFirstVersionIsIndexedInSteps) {
    // As an older program left it, with three kept chapters.
    ASSERT_TRUE(test::writeFirstVersionLibrary(file(), {{"/book/1/1.html", "旧书库里的第1章"},
                                                        {"/book/1/2.html", "旧书库里的第2章"},
                                                        {"/book/1/3.html", "旧书库里的第3章"}}));
    Library library(file(), kSite);
    ASSERT_EQ(library.state(), LibraryState::Open) << library.openProblem();
    EXPECT_EQ(library.fulltextProgress().total, 3);
    EXPECT_EQ(library.fulltextProgress().indexed, 0);
    FulltextResult before = library.findText("旧书库", FulltextScope::All);
    EXPECT_TRUE(before.hits.empty());
    EXPECT_EQ(before.unindexed, 3);

    // A chapter stored meanwhile is indexed at once.
    store(library, chapterUrl(1, 1), "换过的第1章");
    EXPECT_EQ(library.fulltextProgress().indexed, 1);
    EXPECT_EQ(library.indexPendingChapters(1), 1);
    EXPECT_EQ(library.fulltextProgress().indexed, 2);
    EXPECT_EQ(library.indexPendingChapters(10), 1);
    EXPECT_EQ(library.indexPendingChapters(10), 0);
    EXPECT_TRUE(library.fulltextProgress().done());
    EXPECT_EQ(urlsOf(library.findText("旧书库", FulltextScope::All)),
              (Urls{chapterUrl(1, 2), chapterUrl(1, 3)}));
    // The kept pages still read back after the migration.
    EXPECT_TRUE(library.lookupChapter(chapterUrl(1, 2), cleaning()));
}

TEST_F(FulltextLibrary, ALargeLibraryIsSearchedInStretchesWithNothingLostOrTwice) {
    // Enough chapters that the search is shared among connections, put in as an older program
    // left them so that no fsync per chapter slows the test.
    constexpr int kBooks = 5, kChapters = 1000;
    std::vector<std::pair<std::string, std::string>> expected;  // (book, chapter) addresses
    std::vector<std::pair<std::string, std::string>> chapters;
    for (int b = 1; b <= kBooks; ++b) {
        for (int n = 1; n <= kChapters; ++n) {
            const bool key = (b * kChapters + n) % 7 == 0;
            const std::string path =
                "/book/" + std::to_string(b) + "/" + std::to_string(n) + ".html";
            chapters.emplace_back(path, "第" + std::to_string(n) + "章，" +
                                            (key ? "他找到了钥匙。" : "他什么也没找到。"));
            if (key)
                expected.emplace_back(kSite + "/book/" + std::to_string(b) + ".html", kSite + path);
        }
    }
    ASSERT_TRUE(test::writeFirstVersionLibrary(file(), chapters));
    Library library(file(), kSite);
    ASSERT_EQ(library.state(), LibraryState::Open) << library.openProblem();
    while (library.indexPendingChapters(1000) > 0) {
    }
    // Unnamed books in address order, their chapters likewise.
    std::sort(expected.begin(), expected.end());
    Urls urls;
    for (const auto& e : expected) urls.push_back(e.second);
    const FulltextResult all = library.findText("钥匙", FulltextScope::All, {}, -1);
    EXPECT_EQ(all.matched, static_cast<int>(urls.size()));
    EXPECT_EQ(urlsOf(all), urls);
    for (const FulltextHit& hit : all.hits)
        ASSERT_EQ(hit.snippet.substr(hit.hitBegin, hit.hitEnd - hit.hitBegin), "钥匙")
            << hit.chapterUrl;
    const FulltextResult first = library.findText("找到了钥匙", FulltextScope::All, {}, 3);
    EXPECT_EQ(first.matched, static_cast<int>(urls.size()));
    EXPECT_EQ(urlsOf(first), Urls(urls.begin(), urls.begin() + 3));
    EXPECT_EQ(library.findText("没找到", FulltextScope::All, {}, 0).matched,
              kBooks * kChapters - static_cast<int>(urls.size()));
    EXPECT_EQ(library.findText("钥匙", FulltextScope::Book, kSite + "/book/3.html", -1).matched,
              static_cast<int>(std::count_if(expected.begin(), expected.end(), [](const auto& e) {
                  return e.first == kSite + "/book/3.html";
              })));
}

}  // namespace
}  // namespace novel
