#include "download/epub_writer.h"

#include <zip.h>

#include <cstdio>
#include <ctime>
#include <memory>

namespace novel {

namespace {

uint64_t mix(uint64_t z) {
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
}

uint64_t fnv1a(std::string_view s, uint64_t basis) {
    uint64_t h = basis;
    for (unsigned char c : s) h = (h ^ c) * 0x100000001B3ull;
    return mix(h);
}

std::string hex(uint64_t v, int digits) {
    static constexpr char kHex[] = "0123456789abcdef";
    std::string out(static_cast<size_t>(digits), '0');
    for (int i = digits - 1; i >= 0; --i, v >>= 4) out[static_cast<size_t>(i)] = kHex[v & 0xF];
    return out;
}

std::string utcNow() {
    const std::time_t now = std::time(nullptr);
    std::tm tm{};
    gmtime_r(&now, &tm);
    char buf[32];
    std::strftime(buf, sizeof buf, "%Y-%m-%dT%H:%M:%SZ", &tm);
    return buf;
}

// The image's media type by its first bytes; empty when it is none the readers take.
std::string imageMediaType(std::string_view b) {
    if (b.starts_with("\xFF\xD8\xFF")) return "image/jpeg";
    if (b.starts_with("\x89PNG\r\n\x1A\n")) return "image/png";
    if (b.starts_with("GIF87a") || b.starts_with("GIF89a")) return "image/gif";
    if (b.size() > 12 && b.starts_with("RIFF") && b.substr(8, 4) == "WEBP") return "image/webp";
    return {};
}

std::string imageExtension(const std::string& mediaType) {
    return mediaType == "image/jpeg" ? "jpg" : mediaType.substr(6);
}

std::string chapterFile(size_t k) {
    std::string number = std::to_string(k + 1);
    if (number.size() < 4) number.insert(0, 4 - number.size(), '0');
    return "chapter-" + number + ".xhtml";
}

constexpr std::string_view kXhtmlHead =
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<!DOCTYPE html>\n"
    "<html xmlns=\"http://www.w3.org/1999/xhtml\" xmlns:epub=\"http://www.idpf.org/2007/ops\" "
    "xml:lang=\"zh-CN\" lang=\"zh-CN\">\n<head>\n<meta charset=\"UTF-8\"/>\n<title>";

std::string xhtmlPage(const std::string& title, const std::vector<std::string>& lines,
                      bool heading) {
    std::string s(kXhtmlHead);
    s += xmlEscape(title) + "</title>\n</head>\n<body>\n";
    if (heading) s += "<h2>" + xmlEscape(title) + "</h2>\n";
    for (const std::string& line : lines) s += "<p>" + xmlEscape(line) + "</p>\n";
    return s + "</body>\n</html>\n";
}

std::vector<std::string> paragraphs(std::string_view gbk) {
    std::vector<std::string> out;
    size_t begin = 0;
    while (begin < gbk.size()) {
        size_t end = gbk.find('\n', begin);
        if (end == std::string_view::npos) end = gbk.size();
        const std::string_view line = trimTitleLine(gbk.substr(begin, end - begin));
        if (!line.empty()) out.push_back(toUtf8(line));
        begin = end + 1;
    }
    return out;
}

struct ZipCloser {
    void operator()(zip_t* z) const { zip_discard(z); }
};
struct SourceFreer {
    void operator()(zip_source_t* s) const { zip_source_free(s); }
};

}  // namespace

std::string bookIdentifier(std::string_view bookUrl) {
    const uint64_t hi = fnv1a(bookUrl, 0xCBF29CE484222325ull);
    const uint64_t lo = fnv1a(bookUrl, 0x84222325CBF29CE4ull);
    // Version 8 (a UUID of one's own making) and the RFC variant.
    const uint64_t a = (hi & ~0xF000ull) | 0x8000ull;
    const uint64_t b = (lo & ~(0xC000ull << 48)) | (0x8000ull << 48);
    return "urn:uuid:" + hex(a >> 32, 8) + "-" + hex(a >> 16, 4) + "-" + hex(a, 4) + "-" +
           hex(b >> 48, 4) + "-" + hex(b, 12);
}

void fillEpubText(EpubBook* epub, const AssembledBook& book) {
    epub->preamble = paragraphs(book.preamble);
    epub->chapters.clear();
    for (const BookChapter& c : book.chapters)
        epub->chapters.push_back({toUtf8(trimTitleLine(c.title)), paragraphs(c.body)});
}

std::string xmlEscape(std::string_view s) {
    std::string out;
    out.reserve(s.size() + s.size() / 8);
    for (size_t i = 0; i < s.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(s[i]);
        switch (c) {
            case '&':
                out += "&amp;";
                break;
            case '<':
                out += "&lt;";
                break;
            case '>':
                out += "&gt;";
                break;
            case '"':
                out += "&quot;";
                break;
            case '\'':
                out += "&apos;";
                break;
            default:
                if (c < 0x20 && c != '\t' && c != '\n' && c != '\r') break;  // not allowed in XML
                // U+FFFE and U+FFFF are no characters either.
                if (c == 0xEF && i + 2 < s.size() && s[i + 1] == '\xBF' &&
                    (s[i + 2] == '\xBE' || s[i + 2] == '\xBF')) {
                    i += 2;
                    break;
                }
                out += static_cast<char>(c);
        }
    }
    return out;
}

Bytes buildEpub(const EpubBook& book, std::string* error) {
    auto fail = [&](const std::string& why) {
        if (error) *error = "无法生成EPUB文件（" + why + "）";
        return Bytes();
    };
    zip_error_t zerr;
    zip_error_init(&zerr);
    std::unique_ptr<zip_source_t, SourceFreer> buffer(
        zip_source_buffer_create(nullptr, 0, 0, &zerr));
    if (!buffer) return fail(zip_error_strerror(&zerr));
    zip_source_keep(buffer.get());  // the archive's close would free it; the bytes are read after
    std::unique_ptr<zip_t, ZipCloser> archive(
        zip_open_from_source(buffer.get(), ZIP_TRUNCATE, &zerr));
    if (!archive) {
        zip_source_free(buffer.get());  // the reference zip_open_from_source did not take
        return fail(zip_error_strerror(&zerr));
    }

    // libzip copies nothing until it writes, so the contents live here until the close.
    std::vector<std::unique_ptr<std::string>> contents;
    auto add = [&](const std::string& name, std::string data, bool store) {
        contents.push_back(std::make_unique<std::string>(std::move(data)));
        const std::string& d = *contents.back();
        zip_source_t* source = zip_source_buffer(archive.get(), d.data(), d.size(), 0);
        if (!source) return false;
        const zip_int64_t index =
            zip_file_add(archive.get(), name.c_str(), source, ZIP_FL_ENC_UTF_8 | ZIP_FL_OVERWRITE);
        if (index < 0) {
            zip_source_free(source);
            return false;
        }
        return zip_set_file_compression(archive.get(), static_cast<zip_uint64_t>(index),
                                        store ? ZIP_CM_STORE : ZIP_CM_DEFLATE, 0) == 0;
    };

    const std::string id = xmlEscape(book.identifier);
    const std::string title = xmlEscape(book.title);
    const std::string coverType = imageMediaType(book.cover);
    const std::string coverName = coverType.empty() ? "" : "cover." + imageExtension(coverType);

    std::string manifest =
        "<item id=\"nav\" href=\"nav.xhtml\" media-type=\"application/xhtml+xml\" "
        "properties=\"nav\"/>\n"
        "<item id=\"ncx\" href=\"toc.ncx\" media-type=\"application/x-dtbncx+xml\"/>\n";
    std::string spine;
    if (!coverName.empty())
        manifest += "<item id=\"cover-image\" href=\"" + coverName + "\" media-type=\"" +
                    coverType + "\" properties=\"cover-image\"/>\n";
    if (!book.preamble.empty()) {
        manifest +=
            "<item id=\"preface\" href=\"preface.xhtml\" "
            "media-type=\"application/xhtml+xml\"/>\n";
        spine += "<itemref idref=\"preface\"/>\n";
    }
    std::string navList, navPoints;
    for (size_t k = 0; k < book.chapters.size(); ++k) {
        const std::string file = chapterFile(k);
        const std::string item = "c" + std::to_string(k + 1);
        const std::string label = xmlEscape(book.chapters[k].title);
        manifest += "<item id=\"" + item + "\" href=\"" + file +
                    "\" media-type=\"application/xhtml+xml\"/>\n";
        spine += "<itemref idref=\"" + item + "\"/>\n";
        navList += "<li><a href=\"" + file + "\">" + label + "</a></li>\n";
        navPoints += "<navPoint id=\"np" + std::to_string(k + 1) + "\" playOrder=\"" +
                     std::to_string(k + 1) + "\"><navLabel><text>" + label +
                     "</text></navLabel><content src=\"" + file + "\"/></navPoint>\n";
    }
    if (spine.empty()) {  // a package needs one page in its spine
        manifest +=
            "<item id=\"nav-page\" href=\"nav.xhtml\" media-type=\"application/xhtml+xml\"/>\n";
    }

    const std::string opf =
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
        "<package xmlns=\"http://www.idpf.org/2007/opf\" version=\"3.0\" "
        "unique-identifier=\"book-id\" xml:lang=\"zh-CN\">\n"
        "<metadata xmlns:dc=\"http://purl.org/dc/elements/1.1/\">\n"
        "<dc:identifier id=\"book-id\">" +
        id +
        "</dc:identifier>\n"
        "<dc:title>" +
        title +
        "</dc:title>\n"
        "<dc:creator>" +
        xmlEscape(book.author) +
        "</dc:creator>\n"
        "<dc:language>" +
        xmlEscape(book.language) +
        "</dc:language>\n"
        "<meta property=\"dcterms:modified\">" +
        xmlEscape(book.modified.empty() ? utcNow() : book.modified) + "</meta>\n" +
        (coverName.empty() ? "" : "<meta name=\"cover\" content=\"cover-image\"/>\n") +
        "</metadata>\n<manifest>\n" + manifest + "</manifest>\n<spine toc=\"ncx\">\n" +
        (spine.empty() ? "<itemref idref=\"nav\"/>\n" : spine) + "</spine>\n</package>\n";

    const std::string nav =
        std::string(kXhtmlHead) +
        "目录</title>\n</head>\n<body>\n<nav epub:type=\"toc\" id=\"toc\">\n"
        "<h1>目录</h1>\n<ol>\n" +
        (navList.empty() ? "<li><a href=\"nav.xhtml\">" + title + "</a></li>\n" : navList) +
        "</ol>\n</nav>\n</body>\n</html>\n";
    const std::string ncx =
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
        "<ncx xmlns=\"http://www.daisy.org/z3986/2005/ncx/\" version=\"2005-1\">\n"
        "<head>\n<meta name=\"dtb:uid\" content=\"" +
        id +
        "\"/>\n"
        "<meta name=\"dtb:depth\" content=\"1\"/>\n"
        "<meta name=\"dtb:totalPageCount\" content=\"0\"/>\n"
        "<meta name=\"dtb:maxPageNumber\" content=\"0\"/>\n</head>\n"
        "<docTitle><text>" +
        title + "</text></docTitle>\n<navMap>\n" + navPoints + "</navMap>\n</ncx>\n";

    bool ok = add("mimetype", "application/epub+zip", true) &&
              add("META-INF/container.xml",
                  "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                  "<container version=\"1.0\" "
                  "xmlns=\"urn:oasis:names:tc:opendocument:xmlns:container\">\n"
                  "<rootfiles>\n<rootfile full-path=\"OEBPS/content.opf\" "
                  "media-type=\"application/oebps-package+xml\"/>\n</rootfiles>\n</container>\n",
                  false) &&
              add("OEBPS/content.opf", opf, false) && add("OEBPS/nav.xhtml", nav, false) &&
              add("OEBPS/toc.ncx", ncx, false);
    if (ok && !coverName.empty()) ok = add("OEBPS/" + coverName, book.cover, true);
    if (ok && !book.preamble.empty())
        ok = add("OEBPS/preface.xhtml", xhtmlPage(book.title, book.preamble, false), false);
    for (size_t k = 0; ok && k < book.chapters.size(); ++k)
        ok = add("OEBPS/" + chapterFile(k),
                 xhtmlPage(book.chapters[k].title, book.chapters[k].lines, true), false);
    if (!ok) return fail(zip_strerror(archive.get()));
    if (zip_close(archive.get()) != 0) return fail(zip_strerror(archive.get()));
    archive.release();  // closed: nothing left to discard

    Bytes bytes;
    zip_source_t* src = buffer.get();
    if (zip_source_open(src) != 0) return fail("读取压缩数据");
    zip_source_seek(src, 0, SEEK_END);
    const zip_int64_t size = zip_source_tell(src);
    zip_source_seek(src, 0, SEEK_SET);
    if (size > 0) {
        bytes.resize(static_cast<size_t>(size));
        if (zip_source_read(src, bytes.data(), static_cast<zip_uint64_t>(size)) != size)
            bytes.clear();
    }
    zip_source_close(src);
    if (bytes.empty()) return fail("读取压缩数据");
    return bytes;
}

}  // namespace novel
