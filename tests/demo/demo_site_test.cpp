// The demo site's generated pages, read the way the site's readers cut them: by fixed GBK markers,
// first occurrence, never starting a match on the trail byte of a two-byte character.

#include <gtest/gtest.h>

#include <set>

#include "catalogue/site_config.h"
#include "demo/demo_catalogue.h"
#include "demo/demo_pages.h"
#include "web/gbk.h"

namespace novel {
namespace {

const std::string kBase = "http://127.0.0.1:1234";

std::string G(std::string_view utf8) {
    return toGbk(utf8);
}

char fold(char c, bool ignoreCase) {
    return ignoreCase && c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

// Position of sought at or after `from` (a character boundary), stepping whole characters.
size_t gbkFind(std::string_view text, std::string_view sought, size_t from = 0,
               bool ignoreCase = false) {
    for (size_t i = from; i + sought.size() <= text.size(); i += charLengthAt(text, i)) {
        size_t k = 0;
        while (k < sought.size() && fold(text[i + k], ignoreCase) == fold(sought[k], ignoreCase))
            ++k;
        if (k == sought.size()) return i;
    }
    return std::string::npos;
}

bool contains(std::string_view text, std::string_view sought) {
    return gbkFind(text, sought) != std::string::npos;
}

std::string between(std::string_view text, std::string_view left, std::string_view right) {
    size_t p = gbkFind(text, left);
    if (p == std::string::npos) return {};
    size_t q = gbkFind(text, right, p + left.size());
    if (q == std::string::npos) return {};
    return std::string(text.substr(p + left.size(), q - p - left.size()));
}

std::vector<std::string> allBetween(std::string_view text, std::string_view left,
                                    std::string_view right) {
    std::vector<std::string> items;
    size_t at = 0;
    while (true) {
        size_t p = gbkFind(text, left, at, true);
        if (p == std::string::npos) break;
        size_t q = gbkFind(text, right, p + left.size(), true);
        if (q == std::string::npos) break;
        items.emplace_back(text.substr(p + left.size(), q - p - left.size()));
        at = q + right.size();
    }
    return items;
}

std::string replaceAll(std::string_view text, std::string_view find, std::string_view with) {
    std::string out;
    size_t at = 0;
    for (size_t p; (p = gbkFind(text, find, at, true)) != std::string::npos; at = p + find.size())
        out.append(text.substr(at, p - at)).append(with);
    return out.append(text.substr(at));
}

int pageCountOf(std::string_view page) {
    return std::atoi(between(page, "class=\"last\">", "</a>").c_str());
}

struct Row {
    std::string title, latest, author, latestUrl, size, time, status, bookUrl, tocUrl;
    bool operator==(const Row&) const = default;
};

std::ostream& operator<<(std::ostream& os, const Row& r) {
    return os << toUtf8(r.title) << " | " << toUtf8(r.latest) << " | " << toUtf8(r.author) << " | "
              << r.latestUrl << " | " << r.size << " | " << r.time << " | " << toUtf8(r.status)
              << " | " << r.bookUrl << " | " << r.tocUrl;
}

std::vector<std::string> listRows(std::string_view page,
                                  const std::vector<std::pair<std::string, std::string>>& edits) {
    std::string region = between(page, G("网上书库"), "<div class=\"pages");
    for (const auto& [find, with] : edits) region = replaceAll(region, find, with);
    return allBetween(region, "<td class=\"odd", "</tr>");
}

std::vector<Row> readRankingPage(std::string_view page) {
    std::vector<Row> rows;
    for (const auto& r :
         listRows(page, {{G("target=\"_blank\">目录"), G("目录")},
                         {"target=\"_blank\"><font color=\"", ""},
                         {G("<td class=\"odd\" align=\"center\">连"), G("状态：连")},
                         {G("<span class=\"hottext\">已完成</span>"), G("状态：已完成")}})) {
        rows.push_back(
            {between(r, "_blank\">", "</a>"), between(r, "#006633\">", "</a>"),
             between(r, "</font></td>\r\n    <td class=\"even\" align=\"center\">", "</td>"),
             between(r, "<td class=\"odd\"> <a href=\"", "\""),
             between(r, "<td class=\"odd\" align=\"center\">", "</td>"),
             "1" + between(r, "<td class=\"even\" align=\"center\">1", "</td>"),
             between(r, G("状态："), "</td>"), between(r, "<td class=\"even\"><a href=\"", "\""),
             between(r, "[<a href=\"", "\"")});
    }
    return rows;
}

std::vector<Row> readCategoryPage(std::string_view page) {
    std::vector<Row> rows;
    for (const auto& r :
         listRows(page, {{G("html\">目录"), G("html目录")},
                         {"<td class=\"odd\" align=\"center\">1", G("时间前1")},
                         {"<td class=\"even\" align=\"center\">[<a class=\"articlename\" href=\"",
                          G("地址前前")},
                         {"target=\"_blank\"><font color=\"", ""},
                         {G("<td class=\"even\" align=\"center\">连"), G("状态：连")},
                         {G("<span class=\"hottext\">已完成</span>"), G("状态：已完成")}})) {
        rows.push_back({between(r, "html\">", "</a>"), between(r, "#006633\">", "</a>"),
                        between(r, "<td class=\"odd\" align=\"center\">", "</td>"),
                        between(r, "<td class=\"even\"> <a href=\"", "\""),
                        between(r, "<td class=\"even\" align=\"center\">", "</td>"),
                        between(r, G("时间前"), "</td>"), between(r, G("状态："), "</td>"),
                        between(r, "<td class=\"odds\"><a href=\"", "\""),
                        between(r, G("地址前前"), G("目录"))});
    }
    return rows;
}

// Search rows carry no latest chapter URL.
std::vector<Row> readSearchRows(std::string_view page) {
    std::string region = between(page, G("搜索结果"), "<div class=\"pages");
    region = replaceAll(region, "target=\"_blank\"><font color=\"", "");
    region = replaceAll(region, "<td class=\"even\"><", G("章节前"));
    region = replaceAll(region, G("<td class=\"even\" align=\"center\">连"), G("状态：连"));
    region = replaceAll(region, G("<td class=\"even\" align=\"center\">已完成"), G("状态：已完成"));
    std::vector<Row> rows;
    for (const auto& r : allBetween(region, "<td class=\"odd", "</tr>")) {
        std::string bookUrl = between(r, "<a href=\"", "\"");
        rows.push_back({between(r, ".html\">", "</a>"), between(r, "_blank\">", "</a>"),
                        between(r, "</a></td>\r\n    <td class=\"odd\">", "</td>"), "",
                        between(r, "<td class=\"even\">", "</td>"),
                        between(r, "<td class=\"odd\" align=\"center\">", "</td>"),
                        between(r, G("状态："), "</td>"), bookUrl,
                        replaceAll(bookUrl, ".html", "/index.html")});
    }
    return rows;
}

// What the single-book answer gives: the fields cut from a book page in two steps.
Row readBookPageAsSearchAnswer(std::string_view page) {
    auto twice = [&](const char* o1, const char* o2, const char* i1, const char* i2) {
        return between(between(page, G(o1), G(o2)), G(i1), G(i2));
    };
    std::string bookUrl = twice("CrbsLink", "target", "href=\"", "/index") + ".html";
    return {"",
            twice("最新章节</strong>", "/a>", "blank\">", "<"),
            twice("书籍作者", "/a>", "blank\">", "<"),
            "",
            twice("全文长度</li>", "/li", "<li>", "<"),
            twice("更新时间</li>", "</ul>", "<li>", "</li>"),
            twice("color:blue", "li>", ">", "<"),
            bookUrl,
            replaceAll(bookUrl, ".html", "/index.html")};
}

class DemoPagesTest : public ::testing::Test {
  protected:
    const DemoCatalogue& catalogue = DemoCatalogue::shared();
    DemoPages pages{catalogue, kBase};

    const DemoBook& book(int id) { return *catalogue.book(id); }

    Row expectedRow(const DemoBook& b) {
        return {G(b.title),
                G(catalogue.chapterTitle(b, b.chapterCount)),
                G(b.author),
                pages.chapterUrl(b, b.chapterCount),
                DemoPages::sizeText(b),
                DemoPages::timeText(b),
                G(b.finished ? "已完成" : "连载中"),
                pages.bookUrl(b),
                pages.tocUrl(b)};
    }

    void expectListPage(const DemoList& list, int page) {
        SCOPED_TRACE(list.pathPrefix + std::to_string(page));
        const Text html = pages.listPage(list, page);
        ASSERT_FALSE(html.empty());
        const std::vector<Row> rows = list.layoutOfPage(page) == DemoLayout::Ranking
                                          ? readRankingPage(html)
                                          : readCategoryPage(html);
        const size_t first = static_cast<size_t>(page - 1) * DemoCatalogue::kListPageSize;
        const size_t expected =
            std::min<size_t>(DemoCatalogue::kListPageSize, list.bookIds.size() - first);
        ASSERT_EQ(rows.size(), expected);
        for (size_t i = 0; i < rows.size(); ++i)
            EXPECT_EQ(rows[i], expectedRow(book(list.bookIds[first + i]))) << "row " << i;
        EXPECT_EQ(pageCountOf(html),
                  DemoPages::pageCount(list.bookIds.size(), DemoCatalogue::kListPageSize));
    }
};

TEST(DemoCatalogue, IsTheSameOnEveryRunAndHoldsEveryKindOfBook) {
    const DemoCatalogue a, b;
    ASSERT_EQ(a.books().size(), b.books().size());
    for (size_t i = 0; i < a.books().size(); i += 37) {
        EXPECT_EQ(a.books()[i].title, b.books()[i].title);
        EXPECT_EQ(a.books()[i].author, b.books()[i].author);
        EXPECT_EQ(a.chapterParagraphs(a.books()[i], 1), b.chapterParagraphs(b.books()[i], 1));
    }

    std::set<std::string> titles;
    for (const auto& book : a.books()) {
        EXPECT_TRUE(titles.insert(book.title).second) << book.title;
        // Every text must survive the trip to GBK; a lost character turns into "?".
        EXPECT_EQ(toUtf8(toGbk(book.title + book.author)), book.title + book.author);
        EXPECT_EQ(toUtf8(toGbk(a.chapterTitle(book, book.chapterCount))),
                  a.chapterTitle(book, book.chapterCount));
        EXPECT_GE(book.chapterCount, 1);
    }
    const DemoBook& one = a.books()[10];
    for (const auto& p : a.chapterParagraphs(one, 1)) EXPECT_EQ(toUtf8(toGbk(p)), p);
    EXPECT_EQ(toUtf8(toGbk(a.synopsis(one))), a.synopsis(one));

    using namespace demo_books;
    EXPECT_EQ(a.book(kThousands)->chapterCount, 5000);
    EXPECT_EQ(a.book(kFiveHundred)->chapterCount, 500);
    EXPECT_EQ(a.chapterTitle(*a.book(kFiveHundred), 100), "第一卷 完");
    EXPECT_EQ(a.book(kOneChapterBlank)->chapterCount, 1);
    EXPECT_NE(a.book(kOneChapterBlank)->title.find(' '), std::string::npos);
    EXPECT_EQ(a.book(kOneChapterFinished)->chapterCount, 1);
    EXPECT_NE(a.book(kOneChapterFinished)->title.find("完"), std::string::npos);
    EXPECT_NE(a.book(kBlankTitle)->title.find(' '), std::string::npos);
    EXPECT_EQ(a.search(toGbk(a.book(kSoleAuthorBook)->author), true).size(), 1u);
    int thousands = 0;
    for (const auto& book : a.books()) thousands += book.chapterCount >= 1000;
    EXPECT_GE(thousands, 10);
}

TEST(DemoCatalogue, HasTheTwentyOneListsWithThreePagesOrMore) {
    const DemoCatalogue& c = DemoCatalogue::shared();
    const std::vector<std::string> prefixes = {
        "/top/lastupdate_", "/top/full_",      "/top/postdate_", "/top/allvisit_",
        "/top/monthvisit_", "/top/weekvisit_", "/top/allvote_",  "/top/monthvote_",
        "/top/weekvote_",   "/top/goodnum_",   "/top/size_",     "/dudu/list1_",
        "/dudu/list2_",     "/dudu/list3_",    "/dudu/list4_",   "/dudu/list5_",
        "/dudu/list6_",     "/dudu/list7_",    "/dudu/list8_",   "/dudu/list9_",
        "/dudu/list10_"};
    ASSERT_EQ(c.lists().size(), prefixes.size());
    for (size_t i = 0; i < prefixes.size(); ++i) {
        const DemoList& l = c.lists()[i];
        EXPECT_EQ(l.pathPrefix, prefixes[i]);
        EXPECT_GE(DemoPages::pageCount(l.bookIds.size(), DemoCatalogue::kListPageSize), 3)
            << l.pathPrefix;
        EXPECT_EQ(l.layoutOfPage(1), i < 11 ? DemoLayout::Ranking : DemoLayout::Category);
    }
    const DemoList& full = *c.listByPrefix("/top/full_");
    EXPECT_EQ(full.layoutOfPage(2), DemoLayout::Category);
    for (int id : full.bookIds) EXPECT_TRUE(c.book(id)->finished);
    for (int id : c.listByPrefix("/dudu/list3_")->bookIds) EXPECT_EQ(c.book(id)->category, 3);

    EXPECT_EQ(chineseNumber(1), "一");
    EXPECT_EQ(chineseNumber(15), "十五");
    EXPECT_EQ(chineseNumber(105), "一百零五");
    EXPECT_EQ(chineseNumber(110), "一百一十");
    EXPECT_EQ(chineseNumber(2010), "二千零一十");
    EXPECT_EQ(chineseNumber(5000), "五千");
    EXPECT_EQ(demoDate(0), "2012-01-01");
    EXPECT_EQ(demoDate(2921), "2019-12-31");
}

TEST_F(DemoPagesTest, RankingPagesGiveEveryFieldOfEveryRow) {
    for (const auto& list : catalogue.lists()) {
        if (list.layout != DemoLayout::Ranking) continue;
        expectListPage(list, 1);
    }
    const DemoList& last = *catalogue.listByPrefix("/top/lastupdate_");
    expectListPage(last, DemoPages::pageCount(last.bookIds.size(), DemoCatalogue::kListPageSize));
    // The first rows hold both a serialised and a finished book, and every time starts with 1.
    const auto rows = readRankingPage(pages.listPage(last, 1));
    EXPECT_EQ(rows[0].status, G("连载中"));
    EXPECT_EQ(rows[1].status, G("已完成"));
    for (const auto& r : rows) EXPECT_EQ(r.time.size(), 8u);
}

TEST_F(DemoPagesTest, CategoryPagesGiveEveryFieldOfEveryRow) {
    for (const auto& list : catalogue.lists()) {
        if (list.layout != DemoLayout::Category) continue;
        expectListPage(list, 1);
        expectListPage(list, 3);
    }
    const DemoList& full = *catalogue.listByPrefix("/top/full_");
    expectListPage(full, 2);
    expectListPage(full, DemoPages::pageCount(full.bookIds.size(), DemoCatalogue::kListPageSize));
    // The finished list switches layout after its first page.
    EXPECT_FALSE(contains(pages.listPage(full, 1), "<td class=\"odds\">"));
    EXPECT_TRUE(contains(pages.listPage(full, 2), "<td class=\"odds\">"));
    EXPECT_TRUE(readCategoryPage(pages.listPage(full, 1)).front().bookUrl.empty());

    EXPECT_TRUE(pages.listPage(full, 0).empty());
    EXPECT_TRUE(pages.listPage(full, 999).empty());
}

TEST_F(DemoPagesTest, SearchAnswersWithAListAPageOrNothing) {
    // Several books, over several pages.
    const Text many = pages.searchAnswer(G("之"), false, 1);
    EXPECT_FALSE(contains(many, "keywords"));
    EXPECT_TRUE(contains(between(many, G("搜索结果"), "<div class=\"pages"), G("正文")));
    const std::vector<int> ids = catalogue.search(G("之"), false);
    EXPECT_GT(ids.size(), static_cast<size_t>(DemoCatalogue::kSearchPageSize));
    EXPECT_EQ(pageCountOf(many), DemoPages::pageCount(ids.size(), DemoCatalogue::kSearchPageSize));
    const std::vector<Row> first = readSearchRows(many);
    ASSERT_EQ(first.size(), static_cast<size_t>(DemoCatalogue::kSearchPageSize));
    for (size_t i = 0; i < first.size(); ++i) {
        Row expected = expectedRow(book(ids[i]));
        expected.latestUrl.clear();
        EXPECT_EQ(first[i], expected);
    }
    const std::vector<Row> second = readSearchRows(pages.searchAnswer(G("之"), false, 2));
    ASSERT_FALSE(second.empty());
    EXPECT_EQ(second[0].bookUrl, pages.bookUrl(book(ids[DemoCatalogue::kSearchPageSize])));

    const Text byAuthor = pages.searchAnswer(G("孤舟听雨"), true, 1);
    EXPECT_EQ(readSearchRows(byAuthor).size(), 3u);
    EXPECT_EQ(pageCountOf(byAuthor), 1);

    // One book: its own page, whose keywords hold the keyword.
    for (const auto& [key, author, id] :
         {std::tuple{"星河 彼岸", false, demo_books::kOneChapterBlank},
          std::tuple{"白衣卿相", true, demo_books::kSoleAuthorBook}}) {
        const Text single = pages.searchAnswer(G(key), author, 1);
        EXPECT_EQ(single, pages.bookPage(book(id)));
        EXPECT_TRUE(contains(between(single, "keywords", "/>"), G(key)));
        Row expected = expectedRow(book(id));
        expected.title.clear();
        expected.latestUrl.clear();
        expected.size = std::to_string(book(id).wordCount()) + G("字");
        expected.time = demoDate(book(id).updateDay);
        EXPECT_EQ(readBookPageAsSearchAnswer(single), expected);
    }

    // Nothing: a result page whose region has no "正文" (an invalid GBK keyword matches nothing).
    for (const auto& [key, author] :
         {std::pair{G("不存在的书"), false}, std::pair{G("无名氏"), true},
          std::pair{std::string("\xFF"), false}, std::pair{std::string(), false}}) {
        const Text none = pages.searchAnswer(key, author, 1);
        EXPECT_TRUE(contains(none, G("搜索结果")));
        EXPECT_TRUE(contains(none, "<div class=\"pages"));
        EXPECT_FALSE(contains(between(none, G("搜索结果"), "<div class=\"pages"), G("正文")));
        EXPECT_FALSE(contains(none, "keywords"));
    }
}

TEST_F(DemoPagesTest, BookPageCarriesDetailsAndThePackageLink) {
    const DemoBook& b = book(demo_books::kFiveHundred);
    const Text page = pages.bookPage(b);
    std::string txt =
        between(page, G("加入书架</a>】\r\n\t\t\t【<a href=\""), "\" target=\"_blank\">TXT");
    EXPECT_EQ(txt, pages.txtLinkUrl(b));
    EXPECT_EQ(replaceAll(txt, "txtdown_", "packdown_txt_"), pages.packageUrl(b));
    EXPECT_EQ("20" + between(page, "<li>20", "</li>"), demoDate(b.updateDay));
    EXPECT_EQ(between(page, G("全文长度</li>\r\n\t\t\t\t<li>"), G("字")),
              std::to_string(b.wordCount()));
    std::string c2 =
        between(between(page, G("类　　别"), G("作　　者")), G("<li>作品类别</li>"), "</li>");
    EXPECT_EQ(between(c2, "\">", "</a>"), G("武侠修真"));

    const std::string synopsis = between(page, "CrbsSum\">", "</div>");
    for (const char* piece : {"<br />", "<br/>", "&nbsp;", "WWW.", "www.", ".Net", ".ORG"})
        EXPECT_TRUE(contains(synopsis, piece)) << piece;
    EXPECT_EQ(between(page, "\t\t<h1>", "</h1>"), G(b.title));
}

TEST_F(DemoPagesTest, TableOfContentsLinksEveryChapter) {
    auto links = [&](const DemoBook& b) {
        return allBetween(
            between(pages.tableOfContents(b), G("ZIP下载</a></div>"), G("如果您认为")),
            "<a href=", "/a></div>");
    };
    const DemoBook& big = book(demo_books::kThousands);
    const auto bigLinks = links(big);
    ASSERT_EQ(bigLinks.size(), 5000u);
    for (int k : {1, 999, 1000, 5000}) {
        const std::string& t = bigLinks[k - 1];
        EXPECT_EQ(between(t, ">", "<"), G(catalogue.chapterTitle(big, k)));
        std::string href = between(t, "\"", "\"");
        EXPECT_EQ(kBase + "/book/1/" + href, pages.chapterUrl(big, k));
    }
    EXPECT_EQ(between(links(book(demo_books::kFiveHundred))[99], ">", "<"), G("第一卷 完"));
    EXPECT_EQ(links(book(demo_books::kFiveHundred)).size(), 500u);
    EXPECT_EQ(links(book(demo_books::kOneChapterBlank)).size(), 1u);
}

TEST_F(DemoPagesTest, ChapterTextCarriesAddressFragmentsAndBrandWords) {
    const DemoBook& b = book(demo_books::kFiveHundred);
    for (int k : {1, 100, 500}) {
        const std::string text =
            between(pages.chapterPage(b, k), "<div id=\"text_area\">", "</div>");
        ASSERT_GT(text.size(), 2000u);
        for (const std::string& piece :
             {std::string("WWW."), std::string("www."), std::string(".Com"), std::string(".com"),
              std::string(kDemoBrandLatin), std::string("DEMOBOOK"), std::string("DemoBook"),
              G(kDemoBrandChinese), G(kDemoBrandChineseSpaced), std::string("<br />")})
            EXPECT_TRUE(contains(text, piece)) << piece;
        EXPECT_TRUE(contains(text, G(catalogue.chapterParagraphs(b, k)[0])));
    }
    EXPECT_TRUE(pages.chapterPage(b, 0).empty());
    EXPECT_TRUE(pages.chapterPage(b, 501).empty());
}

TEST_F(DemoPagesTest, PackagesHoldTheWholeBook) {
    const DemoBook& b = book(demo_books::kFiveHundred);
    const Bytes package = pages.txtPackage(b);
    size_t at = 0;
    for (int k = 1; k <= b.chapterCount; ++k) {
        at = gbkFind(package, G(catalogue.chapterTitle(b, k) + "\r\n"), at);
        ASSERT_NE(at, std::string::npos) << k;
    }
    for (const std::string& piece :
         {std::string("Www."), std::string(".com"), std::string("DEMOBOOK"), G(kDemoBrandChinese)})
        EXPECT_TRUE(contains(package, piece)) << piece;
    EXPECT_EQ(toUtf8(package).find("\xEF\xBF\xBD"), std::string::npos);

    EXPECT_GE(pages.txtPackage(book(demo_books::kThousands)).size(), 20u << 20);

    const Bytes& block = DemoPages::benchBlock();
    ASSERT_EQ(block.size(), 1u << 20);
    size_t end = 0;
    while (end < block.size()) end += charLengthAt(block, end);
    EXPECT_EQ(end, block.size());  // no character cut in two at the seam
}

TEST(DemoCover, IsARealJpeg) {
    const Bytes& jpeg = demoCoverJpeg();
    ASSERT_GT(jpeg.size(), 300u);
    EXPECT_EQ(jpeg.substr(0, 3), "\xFF\xD8\xFF");
    EXPECT_EQ(jpeg.substr(jpeg.size() - 2), "\xFF\xD9");
    EXPECT_EQ(&jpeg, &demoCoverJpeg());
}

}  // namespace
}  // namespace novel
