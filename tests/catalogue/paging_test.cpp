#include "catalogue/paging.h"

#include <gtest/gtest.h>

#include "web/gbk.h"

namespace novel {
namespace {

const std::string kSite = "http://127.0.0.1:8080";

PageTurn turn(PageStep step, std::string_view page, std::string_view count, int category,
              int searchType = 0, std::string_view keyword = {}) {
    return planPageTurn(kSite, step, {page, count, category, searchType, keyword});
}

TEST(Paging, CaptionNumber) {
    EXPECT_EQ(captionNumber("12"), 12);
    EXPECT_EQ(captionNumber(""), 0);
    EXPECT_EQ(captionNumber("abc"), 0);
    EXPECT_EQ(captionNumber("  7"), 7);
    EXPECT_EQ(captionNumber("3x"), 3);
    EXPECT_EQ(captionNumber("2.5"), 2.5);
    EXPECT_EQ(captionNumber("-4"), -4);
}

TEST(Paging, RefusalsAtTheEnds) {
    EXPECT_EQ(turn(PageStep::Previous, "1", "13", 1).outcome, PageTurn::Outcome::FirstPage);
    EXPECT_EQ(turn(PageStep::Next, "13", "13", 1).outcome, PageTurn::Outcome::LastPage);
    EXPECT_EQ(turn(PageStep::Next, "1", "1", 0).outcome, PageTurn::Outcome::LastPage);
    // The counts are compared as numbers.
    EXPECT_EQ(turn(PageStep::Next, "5", " 5.0", 1).outcome, PageTurn::Outcome::LastPage);
    // Only the exact caption "1" is the first page.
    const PageTurn fromEmpty = turn(PageStep::Previous, "", "13", 1);
    EXPECT_EQ(fromEmpty.outcome, PageTurn::Outcome::Load);
    EXPECT_EQ(fromEmpty.page, -1);
    // Without a pager the count reads 0, and the next page still loads.
    const PageTurn noPager = turn(PageStep::Next, "1", "0", 1);
    EXPECT_EQ(noPager.outcome, PageTurn::Outcome::Load);
    EXPECT_EQ(noPager.page, 2);
}

TEST(Paging, ListPages) {
    const PageTurn next = turn(PageStep::Next, "3", "13", 5);
    EXPECT_EQ(next.outcome, PageTurn::Outcome::Load);
    EXPECT_EQ(next.page, 4);
    EXPECT_EQ(next.url, kSite + "/top/allvisit_4.html");
    EXPECT_EQ(next.parser, PageParser::Ranking);

    const PageTurn previous = turn(PageStep::Previous, "3", "13", 14);
    EXPECT_EQ(previous.page, 2);
    EXPECT_EQ(previous.url, kSite + "/dudu/list1_2.html");
    EXPECT_EQ(previous.parser, PageParser::Category);

    // Finished novels: later pages in the category layout, page 1 in the ranking one however it
    // is reached.
    EXPECT_EQ(turn(PageStep::Next, "1", "9", 2).parser, PageParser::Category);
    const PageTurn backToFirst = turn(PageStep::Previous, "2", "9", 2);
    EXPECT_EQ(backToFirst.url, kSite + "/top/full_1.html");
    EXPECT_EQ(backToFirst.parser, PageParser::Ranking);
}

TEST(Paging, SearchModeRepeatsTheSearch) {
    const Text keyword = toGbk("之");
    for (int separator : {0, 4, 13}) {
        const PageTurn t = turn(PageStep::Next, "1", "13", separator, 0, keyword);
        EXPECT_EQ(t.outcome, PageTurn::Outcome::Load);
        EXPECT_EQ(t.parser, PageParser::Search);
        EXPECT_EQ(t.url, kSite + "/modules/article/search.php?searchkey=%D6%AE&page=2");
    }
    EXPECT_EQ(turn(PageStep::Previous, "3", "13", 0, 1, keyword).url,
              kSite +
                  "/modules/article/search.php?searchtype=author&searchkey=%D6%AE"
                  "&Submit=%CB%D1+%CB%F7&page=2");
    EXPECT_EQ(turn(PageStep::Next, "1", "13", 0, 2, keyword).outcome, PageTurn::Outcome::Nothing);
}

}  // namespace
}  // namespace novel
