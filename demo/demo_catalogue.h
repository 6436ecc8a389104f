#pragma once
// The demo site's books: a fixed catalogue generated from one seed, so every run (and every test)
// sees the same titles, authors, lists and chapter texts. Strings here are UTF-8; the page
// generators turn whole pages into GBK at the end.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace novel {

struct DemoBook {
    int id = 0;
    std::string title;
    std::string author;
    int category = 1;  // 1..10, the genre lists /dudu/list1_ .. list10_
    int chapterCount = 1;
    int chapterLength = 0;  // Chinese characters per chapter, roughly
    bool finished = false;
    int postDay = 0;  // days since 2012-01-01
    int updateDay = 0;
    int64_t allVisit = 0, monthVisit = 0, weekVisit = 0;
    int64_t allVote = 0, monthVote = 0, weekVote = 0;
    int64_t goodNum = 0;
    uint64_t seed = 0;

    int64_t wordCount() const { return int64_t{chapterCount} * chapterLength; }
};

enum class DemoLayout { Ranking, Category };

struct DemoList {
    std::string pathPrefix;  // "/top/lastupdate_", "/dudu/list3_", ...
    std::string caption;
    DemoLayout layout = DemoLayout::Ranking;  // of page 1; later pages of /top/full_ use Category
    std::vector<int> bookIds;                 // in list order

    DemoLayout layoutOfPage(int page) const;
};

// Books the tests and the documentation refer to by id.
namespace demo_books {
inline constexpr int kThousands = 1;           // 5,000 chapters, the package of more than 20 MB
inline constexpr int kFiveHundred = 2;         // 500 chapters; chapter 100 is "第一卷 完"
inline constexpr int kOneChapterBlank = 3;     // one chapter, title with a blank
inline constexpr int kOneChapterFinished = 4;  // one chapter, finished, title with "完"
inline constexpr int kBlankTitle = 5;          // title with two blanks
inline constexpr int kSoleAuthorBook = 6;      // the only book of its author
inline constexpr int kRevisable = 60;  // "龙城之异闻", 30 chapters; POST /demo/revise steps it
}  // namespace demo_books

class DemoCatalogue {
  public:
    static constexpr int kListPageSize = 30;
    static constexpr int kSearchPageSize = 20;
    static constexpr int kBookCount = 720;

    DemoCatalogue();

    // The catalogue every site in the process serves; built on first use.
    static const DemoCatalogue& shared();

    const std::vector<DemoBook>& books() const { return books_; }
    const DemoBook* book(int id) const;
    // The 21 lists in the order of the category combo box (separators left out).
    const std::vector<DemoList>& lists() const { return lists_; }
    const DemoList* listByPrefix(std::string_view pathPrefix) const;
    static std::string categoryName(int category);

    // Ids of the books whose title (or author) contains the keyword; the keyword is GBK.
    std::vector<int> search(std::string_view gbkKeyword, bool byAuthor) const;

    // Chapters are numbered 1..chapterCount; their page ids, BOOK * kPageIdsPerBook + chapter, are
    // unique across the site.
    static constexpr int kPageIdsPerBook = 10000;
    static int64_t chapterPageId(const DemoBook& book, int chapter);
    std::string chapterTitle(const DemoBook& book, int chapter) const;
    // The story text of one chapter, one string per paragraph, without site notices.
    std::vector<std::string> chapterParagraphs(const DemoBook& book, int chapter) const;
    std::string synopsis(const DemoBook& book) const;

  private:
    std::vector<DemoBook> books_;
    std::vector<DemoList> lists_;
};

// "第" numbering: 1 -> 一, 10 -> 十, 105 -> 一百零五, 2010 -> 二千零一十.
std::string chineseNumber(int n);
// "YYYY-MM-DD" of a day counted from 2012-01-01.
std::string demoDate(int day);

}  // namespace novel
