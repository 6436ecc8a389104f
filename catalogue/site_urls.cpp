#include "catalogue/site_urls.h"

#include <algorithm>
#include <cctype>
#include <optional>
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

namespace novel {
namespace {

// The five parts of an address; an absent part differs from an empty one ("a?" has a query).
// Hand-written rather than libcurl's URL parser, which normalises and refuses the raw GBK bytes the
// site writes; the delimiters are ASCII below 0x40 and so never the trail byte of a character.
struct UrlParts {
    std::optional<std::string_view> scheme, authority, query, fragment;
    std::string_view path;
};

bool isScheme(std::string_view s) {
    if (s.empty() || !std::isalpha(static_cast<unsigned char>(s[0]))) return false;
    for (unsigned char c : s)
        if (!std::isalnum(c) && c != '+' && c != '-' && c != '.') return false;
    return true;
}

UrlParts splitUrl(std::string_view s) {
    UrlParts p;
    const size_t colon = s.find_first_of(":/?#");
    if (colon != std::string_view::npos && s[colon] == ':' && isScheme(s.substr(0, colon))) {
        p.scheme = s.substr(0, colon);
        s.remove_prefix(colon + 1);
    }
    auto cut = [&s](std::string_view stops) {
        const size_t end = std::min(s.find_first_of(stops), s.size());
        std::string_view part = s.substr(0, end);
        s.remove_prefix(end);
        return part;
    };
    if (s.starts_with("//")) {
        s.remove_prefix(2);
        p.authority = cut("/?#");
    }
    p.path = cut("?#");
    if (s.starts_with('?')) {
        s.remove_prefix(1);
        p.query = cut("#");
    }
    if (s.starts_with('#')) p.fragment = s.substr(1);
    return p;
}

Text removeDotSegments(std::string_view in) {
    Text out;
    while (!in.empty()) {
        if (in.starts_with("../")) {
            in.remove_prefix(3);
        } else if (in.starts_with("./")) {
            in.remove_prefix(2);
        } else if (in.starts_with("/./")) {
            in.remove_prefix(2);
        } else if (in == "/.") {
            in = "/";
        } else if (in.starts_with("/../") || in == "/..") {
            in = in.size() == 3 ? std::string_view("/") : in.substr(3);
            const size_t slash = out.rfind('/');
            out.resize(slash == Text::npos ? 0 : slash);
        } else if (in == "." || in == "..") {
            in = {};
        } else {
            const size_t end = std::min(in.find('/', 1), in.size());
            out.append(in.substr(0, end));
            in.remove_prefix(end);
        }
    }
    return out;
}

Text joinUrl(const UrlParts& p, std::string_view path) {
    Text out;
    if (p.scheme) out.append(*p.scheme).append(":");
    if (p.authority) out.append("//").append(*p.authority);
    out.append(path);
    if (p.query) out.append("?").append(*p.query);
    if (p.fragment) out.append("#").append(*p.fragment);
    return out;
}

bool hasDotSegment(std::string_view path) {
    // Segment by segment without copies: it runs for every chapter link of a contents page.
    for (size_t begin = 0; begin <= path.size();) {
        const size_t end = std::min(path.find('/', begin), path.size());
        const std::string_view segment = path.substr(begin, end - begin);
        if (segment == "." || segment == "..") return true;
        begin = end + 1;
    }
    return false;
}

Text lowerAsciiText(std::string_view s) {
    Text out(s);
    for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return out;
}

struct Origin {
    Text scheme, host, port;
    friend bool operator==(const Origin&, const Origin&) = default;
};

// The origin of an absolute http(s) address; nothing for any other address.
std::optional<Origin> originOf(const UrlParts& p) {
    if (!p.scheme || !p.authority) return std::nullopt;
    Origin o{lowerAsciiText(*p.scheme), {}, {}};
    if (o.scheme != "http" && o.scheme != "https") return std::nullopt;
    std::string_view hostPort = *p.authority;
    if (const size_t at = hostPort.rfind('@'); at != std::string_view::npos)
        hostPort.remove_prefix(at + 1);
    const size_t close = hostPort.rfind(']');
    const size_t colon = hostPort.rfind(':');
    if (colon != std::string_view::npos && (close == std::string_view::npos || colon > close)) {
        o.port = Text(hostPort.substr(colon + 1));
        hostPort = hostPort.substr(0, colon);
    }
    if (hostPort.empty()) return std::nullopt;
    o.host = lowerAsciiText(hostPort);
    if (o.port.empty()) o.port = o.scheme == "http" ? "80" : "443";
    return o;
}

}  // namespace

Text resolveUrl(std::string_view base, std::string_view reference) {
    const UrlParts r = splitUrl(reference);
    const UrlParts b = splitUrl(base);
    UrlParts t;
    Text path;
    t.fragment = r.fragment;
    if (r.scheme) {
        t.scheme = r.scheme;
        t.authority = r.authority;
        path = removeDotSegments(r.path);
        t.query = r.query;
        return joinUrl(t, path);
    }
    t.scheme = b.scheme;
    if (r.authority) {
        t.authority = r.authority;
        path = removeDotSegments(r.path);
        t.query = r.query;
    } else {
        t.authority = b.authority;
        if (r.path.empty()) {
            path = Text(b.path);
            t.query = r.query ? r.query : b.query;
        } else {
            if (r.path.starts_with('/')) {
                path = removeDotSegments(r.path);
            } else if (b.authority && b.path.empty()) {
                path = removeDotSegments(concatTexts("/", r.path));
            } else {
                const size_t slash = b.path.rfind('/');
                const std::string_view dir = slash == std::string_view::npos
                                                 ? std::string_view()
                                                 : b.path.substr(0, slash + 1);
                path = removeDotSegments(concatTexts(dir, r.path));
            }
            t.query = r.query;
        }
    }
    return joinUrl(t, path);
}

Text chapterUrlFor(std::string_view bookUrlStem, std::string_view href) {
    // Most links are a bare file name: joined at once, without taking the link apart.
    if (href.find_first_of(":/?#") == std::string_view::npos && href != "." && href != "..")
        return concatTexts(bookUrlStem, "/", href);
    const UrlParts r = splitUrl(href);
    // A plain name keeps the join used from the start, byte for byte.
    if (!r.scheme && !r.authority && !r.path.starts_with('/') && !hasDotSegment(r.path))
        return concatTexts(bookUrlStem, "/", href);
    return resolveUrl(concatTexts(bookUrlStem, "/"), href);
}

Text rebaseSiteUrl(std::string_view url, std::string_view site) {
    UrlParts u = splitUrl(url);
    const UrlParts s = splitUrl(site);
    const std::optional<Origin> from = originOf(u), to = originOf(s);
    if (!from || !to || *from == *to) return Text(url);
    u.scheme = s.scheme;
    u.authority = s.authority;
    return joinUrl(u, u.path);
}

}  // namespace novel
