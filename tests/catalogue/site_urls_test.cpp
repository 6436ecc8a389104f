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
