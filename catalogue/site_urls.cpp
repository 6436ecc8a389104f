#include "catalogue/site_urls.h"

#include <string>

namespace novel {

Text listPageUrl(std::string_view site, int index, int page) {
    if (index < 0 || index >= static_cast<int>(kCatalogueList.size())) return {};
    const CatalogueEntry& entry = kCatalogueList[index];
    if (entry.searchMode()) return {};
    return concatTexts(site, entry.pathPrefix, std::to_string(page), ".html");
}

Text searchUrl(std::string_view site, SearchType type, std::string_view keyword, int page) {
    const Text key = encodeKeyword(keyword);
    const Text n = std::to_string(page);
    if (type == SearchType::Author) {
        // "%CB%D1+%CB%F7" is the site's own search button value, sent as the form sends it.
        return concatTexts(site, "/modules/article/search.php?searchtype=author&searchkey=", key,
                           "&Submit=%CB%D1+%CB%F7&page=", n);
    }
    return concatTexts(site, "/modules/article/search.php?searchkey=", key, "&page=", n);
}

Text coverUrl(std::string_view site) {
    return concatTexts(site, "/modules/article/images/nocover.jpg");
}

Text encodeKeyword(std::string_view keyword) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    Text out;
    out.reserve(keyword.size() * 3);
    for (unsigned char b : keyword) {
        out += '%';
        out += kHex[b >> 4];
        out += kHex[b & 0x0F];
    }
    return out;
}

}  // namespace novel
