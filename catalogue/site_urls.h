#pragma once
// The site's URL scheme: the catalogue lists behind the entries of CategoryCombo, the list and
// search page URLs, the default cover, and the percent-encoding of a search keyword.

#include <array>
#include <string_view>

#include "web/text.h"

namespace novel {

// Which parser reads a page.
enum class PageParser { None, Ranking, Category, Search };

struct CatalogueEntry {
    // UTF-8, as shown in CategoryCombo (it is only ever a control's text, never matched in a page).
    std::string_view caption;
    // Path after the site, followed by the page number and ".html"; empty for search-mode entries.
    std::string_view pathPrefix;
    PageParser firstPage;  // when the entry is chosen
    PageParser pageTurns;  // for the previous/next page buttons
    // The prompt and the separators are no list: while one is selected, page turns repeat the
    // search.
    constexpr bool searchMode() const { return pathPrefix.empty(); }
};

// One entry per CategoryCombo item, in the combo's order.
// clang-format off
inline constexpr std::array<CatalogueEntry, 24> kCatalogueList = {{
    {"选择类目", "", PageParser::None, PageParser::Search},
    {"最近更新", "/top/lastupdate_", PageParser::Ranking, PageParser::Ranking},
    // Finished novels: the first page comes in the ranking layout, later pages in the category one.
    {"全本小说", "/top/full_", PageParser::Ranking, PageParser::Category},
    {"最新入库", "/top/postdate_", PageParser::Ranking, PageParser::Ranking},
    {"－－－－", "", PageParser::None, PageParser::Search},
    {"总排行榜", "/top/allvisit_", PageParser::Ranking, PageParser::Ranking},
    {"月排行榜", "/top/monthvisit_", PageParser::Ranking, PageParser::Ranking},
    {"周排行榜", "/top/weekvisit_", PageParser::Ranking, PageParser::Ranking},
    {"总推荐榜", "/top/allvote_", PageParser::Ranking, PageParser::Ranking},
    {"月推荐榜", "/top/monthvote_", PageParser::Ranking, PageParser::Ranking},
    {"周推荐榜", "/top/weekvote_", PageParser::Ranking, PageParser::Ranking},
    {"总收藏榜", "/top/goodnum_", PageParser::Ranking, PageParser::Ranking},
    {"字数排行", "/top/size_", PageParser::Ranking, PageParser::Ranking},
    {"－－－－", "", PageParser::None, PageParser::Search},
    {"玄幻魔法", "/dudu/list1_", PageParser::Category, PageParser::Category},
    {"武侠修真", "/dudu/list2_", PageParser::Category, PageParser::Category},
    {"都市言情", "/dudu/list3_", PageParser::Category, PageParser::Category},
    {"历史军事", "/dudu/list4_", PageParser::Category, PageParser::Category},
    {"侦探推理", "/dudu/list5_", PageParser::Category, PageParser::Category},
    {"游戏竞技", "/dudu/list6_", PageParser::Category, PageParser::Category},
    {"科幻小说", "/dudu/list7_", PageParser::Category, PageParser::Category},
    {"恐怖灵异", "/dudu/list8_", PageParser::Category, PageParser::Category},
    {"美文散文", "/dudu/list9_", PageParser::Category, PageParser::Category},
    {"其它小说", "/dudu/list10_", PageParser::Category, PageParser::Category},
}};
// clang-format on

enum class SearchType { Title = 0, Author = 1 };  // the items of SearchTypeCombo

// site + prefix + page + ".html"; empty for a search-mode entry or an index outside the list.
Text listPageUrl(std::string_view site, int index, int page);

// The search URL for page `page`; `keyword` is the GBK keyword as typed (it is encoded here).
Text searchUrl(std::string_view site, SearchType type, std::string_view keyword, int page);

// The site's default cover image.
Text coverUrl(std::string_view site);

// Every byte of the GBK keyword as "%" and two upper-case hex digits; nothing is left unencoded.
Text encodeKeyword(std::string_view keyword);

// `reference` resolved against the absolute address `base` as a browser does it (reference
// resolution with dot-segment removal); nothing is decoded or encoded.
Text resolveUrl(std::string_view base, std::string_view reference);

// The address of a chapter link `href` of the book whose chapter base is `bookUrlStem`: stem + "/"
// + href for a plain relative name, otherwise href resolved against stem + "/" (root-relative,
// absolute, dot-relative and network-path links).
Text chapterUrlFor(std::string_view bookUrlStem, std::string_view href);

// An address of the site read from a stored file, moved onto the site in use: when both are
// absolute http(s) addresses of different origins (scheme, host, port), the site's origin followed
// by the address's path, query and fragment. Anything else comes back unchanged.
Text rebaseSiteUrl(std::string_view url, std::string_view site);

}  // namespace novel
