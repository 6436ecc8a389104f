#include "catalogue/site_urls.h"

#include <gtest/gtest.h>

#include "web/gbk.h"

namespace novel {
namespace {

TEST(SiteUrls, EncodeKeyword) {
    EXPECT_EQ(encodeKeyword(""), "");
    EXPECT_EQ(encodeKeyword("abc"), "%61%62%63");
    EXPECT_EQ(encodeKeyword(toGbk("书")), "%CA%E9");
    EXPECT_EQ(encodeKeyword(std::string("\x0a \xff", 3)), "%0A%20%FF");
}

TEST(SiteUrls, CatalogueList) {
    for (int i = 0; i < 24; ++i) {
        const bool separator = i == 0 || i == 4 || i == 13;
        EXPECT_EQ(kCatalogueList[i].searchMode(), separator) << i;
        EXPECT_EQ(kCatalogueList[i].pageTurns == PageParser::Search, separator) << i;
    }
    EXPECT_EQ(kCatalogueList[4].caption, "－－－－");
    EXPECT_EQ(kCatalogueList[2].firstPage, PageParser::Ranking);
    EXPECT_EQ(kCatalogueList[2].pageTurns, PageParser::Category);
    EXPECT_EQ(kCatalogueList[14].firstPage, PageParser::Category);
}

TEST(SiteUrls, Urls) {
    const std::string site = "http://127.0.0.1:8080";
    EXPECT_EQ(listPageUrl(site, 1, 1), site + "/top/lastupdate_1.html");
    EXPECT_EQ(listPageUrl(site, 2, 12), site + "/top/full_12.html");
    EXPECT_EQ(listPageUrl(site, 23, 2), site + "/dudu/list10_2.html");
    EXPECT_EQ(listPageUrl(site, 0, 1), "");
    EXPECT_EQ(listPageUrl(site, 13, 1), "");
    EXPECT_EQ(listPageUrl(site, 24, 1), "");
    EXPECT_EQ(listPageUrl(site, -1, 1), "");

    EXPECT_EQ(searchUrl(site, SearchType::Title, toGbk("书"), 1),
              site + "/modules/article/search.php?searchkey=%CA%E9&page=1");
    EXPECT_EQ(searchUrl(site, SearchType::Author, "a", 3),
              site +
                  "/modules/article/search.php?searchtype=author&searchkey=%61"
                  "&Submit=%CB%D1+%CB%F7&page=3");
    EXPECT_EQ(searchUrl(site, SearchType::Title, "", 2),
              site + "/modules/article/search.php?searchkey=&page=2");
    EXPECT_EQ(coverUrl(site), site + "/modules/article/images/nocover.jpg");
}

}  // namespace
}  // namespace novel

namespace novel {
namespace {

TEST(SiteUrls, ResolveLikeABrowser) {
    // The normal and abnormal examples of the reference-resolution standard.
    const std::string base = "http://a/b/c/d;p?q";
    const std::pair<const char*, const char*> cases[] = {
        {"g:h", "g:h"},
        {"g", "http://a/b/c/g"},
        {"./g", "http://a/b/c/g"},
        {"g/", "http://a/b/c/g/"},
        {"/g", "http://a/g"},
        {"//g", "http://g"},
        {"?y", "http://a/b/c/d;p?y"},
        {"g?y", "http://a/b/c/g?y"},
        {"#s", "http://a/b/c/d;p?q#s"},
        {"", "http://a/b/c/d;p?q"},
        {".", "http://a/b/c/"},
        {"./", "http://a/b/c/"},
        {"..", "http://a/b/"},
        {"../g", "http://a/b/g"},
        {"../..", "http://a/"},
        {"../../g", "http://a/g"},
        {"../../../g", "http://a/g"},
        {"/./g", "http://a/g"},
        {"/../g", "http://a/g"},
        {"g.", "http://a/b/c/g."},
        {"..g", "http://a/b/c/..g"},
        {"./../g", "http://a/b/g"},
        {"g/./h", "http://a/b/c/g/h"},
        {"g/../h", "http://a/b/c/h"},
        {"g;x=1/../y", "http://a/b/c/y"},
        {"g?y/./x", "http://a/b/c/g?y/./x"},
        {"g#s/../x", "http://a/b/c/g#s/../x"},
    };
    for (const auto& [reference, expected] : cases)
        EXPECT_EQ(resolveUrl(base, reference), expected) << reference;
}

TEST(SiteUrls, ChapterLinksWrittenEveryWay) {
    const std::string stem = "http://127.0.0.1:8080/book/4321";
    // A plain name keeps the join as it always was, whatever it holds.
    EXPECT_EQ(chapterUrlFor(stem, "1001.html"), stem + "/1001.html");
    EXPECT_EQ(chapterUrlFor(stem, ""), stem + "/");
    EXPECT_EQ(chapterUrlFor(stem, toGbk("第1章.html")), stem + "/" + toGbk("第1章.html"));
    EXPECT_EQ(chapterUrlFor(stem, "a b.html?x=1"), stem + "/a b.html?x=1");
    // The other forms resolve as a browser would.
    EXPECT_EQ(chapterUrlFor(stem, "/book/4321/1002.html"), stem + "/1002.html");
    EXPECT_EQ(chapterUrlFor(stem, "http://other.example/book/4321/1003.html"),
              "http://other.example/book/4321/1003.html");
    EXPECT_EQ(chapterUrlFor(stem, "./1004.html"), stem + "/1004.html");
    EXPECT_EQ(chapterUrlFor(stem, "../4321/1005.html"), stem + "/1005.html");
    EXPECT_EQ(chapterUrlFor(stem, "sub/../1006.html"), stem + "/1006.html");
    EXPECT_EQ(chapterUrlFor(stem, "//cdn.example/1007.html"), "http://cdn.example/1007.html");
}

TEST(SiteUrls, RebaseOntoTheSiteInUse) {
    const std::string site = "http://127.0.0.1:9090";
    EXPECT_EQ(rebaseSiteUrl("http://127.0.0.1:8080/book/1/2.html?a=b#c", site),
              site + "/book/1/2.html?a=b#c");
    EXPECT_EQ(rebaseSiteUrl("HTTPS://old.example/x", site), site + "/x");
    EXPECT_EQ(rebaseSiteUrl("http://user@old.example:81", site), site);
    // Same origin (default port, letter case): left byte for byte.
    EXPECT_EQ(rebaseSiteUrl("HTTP://Site.Example:80/a", "http://site.example"),
              "HTTP://Site.Example:80/a");
    EXPECT_EQ(rebaseSiteUrl("http://[::1]:8080/a", "http://[::1]:8080"), "http://[::1]:8080/a");
    EXPECT_EQ(rebaseSiteUrl("http://[::1]:8080/a", "http://[::1]:9"), "http://[::1]:9/a");
    // Only absolute http(s) addresses move, and only onto an http(s) site.
    for (const char* kept : {"", "/book/1.html", "1.html", "ftp://old/x", "mailto:a@b",
                             "http:///nohost", "javascript:x"})
        EXPECT_EQ(rebaseSiteUrl(kept, site), kept);
    EXPECT_EQ(rebaseSiteUrl("http://old/x", "demo"), "http://old/x");
    EXPECT_EQ(rebaseSiteUrl("http://old/x", ""), "http://old/x");
}

}  // namespace
}  // namespace novel
