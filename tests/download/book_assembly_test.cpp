#include "download/book_assembly.h"

#include <gtest/gtest.h>
#include <libxml/parser.h>
#include <libxml/tree.h>
#include <zip.h>

#include <map>

#include "download/epub_writer.h"

namespace novel {
namespace {

std::vector<ChapterEntry> tableOf(const std::vector<std::string>& titles) {
    std::vector<ChapterEntry> out;
    for (size_t k = 0; k < titles.size(); ++k)
        out.push_back({std::to_string(k + 1), toGbk(titles[k]), "u" + std::to_string(k + 1)});
    return out;
}

std::vector<int> matchedLines(std::string_view package, const std::vector<ChapterEntry>& table) {
    const PackageMatch m = matchPackage(package, table);
    std::vector<int> lines;  // 0-based line numbers, -1 when not found
    for (size_t at : m.titleLine) {
        if (at == std::string_view::npos) {
            lines.push_back(-1);
            continue;
        }
        lines.push_back(static_cast<int>(std::count(package.begin(), package.begin() + at, '\n')));
    }
    return lines;
}

TEST(MatchPackage, TrimmedWholeLinesInOrder) {
    const auto table = tableOf({"第一章 起", "第二章 承", "第三章 转"});
    // Full-width and ASCII blanks around a title still match; a line that only contains it not.
    const Text package = toGbk(
        "前言\r\n\u3000\u3000第一章 起  \r\n正文\r\n说到第二章 承的时候\r\n\t第三章 "
        "转\u3000\r\n尾\r\n");
    EXPECT_EQ(matchedLines(package, table), (std::vector<int>{1, -1, 4}));
    // However long the padding around it, a title is still a title.
    const std::string pad(40, ' ');
    std::string padded = pad;
    for (int i = 0; i < 30; ++i) padded += "\u3000";
    EXPECT_EQ(matchedLines(toGbk(padded + "第二章 承" + pad + "\r\n"), table),
              (std::vector<int>{-1, 0, -1}));
    EXPECT_EQ(trimTitleLine(toGbk("\u3000 标题\u3000\r")), toGbk("标题"));
    // A trail byte 0xA1 before a final 0xA1 is no full-width blank: "\xB0\xA1" is one character.
    EXPECT_EQ(trimTitleLine("\xB0\xA1\xA1\xA1"), "\xB0\xA1");
}

TEST(MatchPackage, TitleTwiceInThePackage) {
    const auto table = tableOf({"第一章", "第二章", "第三章"});
    // A list of titles at the head of the package is passed over for the chapters themselves.
    const Text listed = toGbk("目录\n第一章\n第二章\n第三章\n\n第一章\na\n第二章\nb\n第三章\nc\n");
    EXPECT_EQ(matchedLines(listed, table), (std::vector<int>{5, 7, 9}));
    // The k-th title matches only after the one before, and a title quoted late in the book
    // (chapter 2 is missing, its title stands at the end) does not cost the chapters between.
    const auto four = tableOf({"甲", "乙", "丙", "丁"});
    const Text quoted = toGbk("甲\n一\n丙\n三\n丁\n四\n乙\n");
    EXPECT_EQ(matchedLines(quoted, four), (std::vector<int>{0, -1, 2, 4}));
    // Two chapters of the same title take one line each, in order.
    const auto same = tableOf({"楔子", "番外", "番外"});
    EXPECT_EQ(matchedLines(toGbk("楔子\nx\n番外\ny\n番外\nz\n"), same),
              (std::vector<int>{0, 2, 4}));
}

TEST(MatchPackage, LongBookWithGaps) {
    // Many titles, a third of them absent from the package: each present one is found on its line.
    std::vector<std::string> titles;
    for (int k = 1; k <= 3000; ++k) titles.push_back("第" + std::to_string(k) + "章 标题");
    std::string utf8;
    std::vector<int> expected;
    int line = 0;
    for (int k = 1; k <= 3000; ++k) {
        if (k % 3 == 2) {
            expected.push_back(-1);
            continue;
        }
        expected.push_back(line);
        utf8 += titles[k - 1] + "\n    正文第" + std::to_string(k) + "章。\n";
        line += 2;
    }
    EXPECT_EQ(matchedLines(toGbk(utf8), tableOf(titles)), expected);
}

TEST(BookFromPackage, LackingChaptersGoInTheirPlaces) {
    const auto table = tableOf({"第一章", "第二章", "第三章", "第四章"});
    const Text package = toGbk("序言\r\n\r\n第一章\r\n一\r\n\r\n第三章\r\n三\r\n作者的话\r\n");
    AssembledBook book = bookFromPackage(package, table);
    EXPECT_EQ(book.lineBreak, "\r\n");
    EXPECT_EQ(book.preamble, toGbk("序言\r\n\r\n"));
    EXPECT_EQ(book.chapters[0].origin, ChapterOrigin::Package);
    EXPECT_EQ(book.chapters[1].origin, ChapterOrigin::Missing);
    EXPECT_EQ(book.chapters[2].body, toGbk("三\r\n作者的话\r\n"));
    // Nothing filled in yet: the text is the package's own, byte for byte, with the gaps headed.
    fillChapter(&book.chapters[1], toGbk("二\r\n"), ChapterOrigin::Page, book.lineBreak);
    markMissing(&book.chapters[3], "服务器返回500", book.lineBreak);
    EXPECT_EQ(toUtf8(bookText(book)),
              "序言\r\n\r\n第一章\r\n一\r\n\r\n第二章\r\n二\r\n\r\n第三章\r\n三\r\n作者的话\r\n"
              "第四章\r\n【本章缺失：服务器返回500】\r\n\r\n");

    // The marks and the filled chapters are read back from such a file, in either encoding.
    const Text written = bookText(book);
    for (const Bytes& file : {written, Bytes(toUtf8(written))}) {
        const auto held = heldChapters(file, table);
        ASSERT_EQ(held.size(), 4u);
        EXPECT_EQ(held[1], std::optional<Text>(toGbk("二\r\n")));
        EXPECT_EQ(held[2], std::optional<Text>(toGbk("三\r\n作者的话\r\n")));
        EXPECT_FALSE(held[3]);
    }
}

TEST(BookFromPackage, PackageWithoutAnyTitleIsLeftOut) {
    const auto table = tableOf({"第一章"});
    const AssembledBook book = bookFromPackage(toGbk("别的书\n"), table);
    EXPECT_TRUE(book.preamble.empty());
    EXPECT_EQ(book.chapters[0].origin, ChapterOrigin::Missing);
    // Without a line break at its end, the next heading still starts a line of its own.
    AssembledBook open = bookFromPackage(toGbk("第一章\n末行"), tableOf({"第一章", "第二章"}));
    fillChapter(&open.chapters[1], "x", ChapterOrigin::Page, open.lineBreak);
    EXPECT_EQ(toUtf8(bookText(open)), "第一章\n末行\n第二章\nx\n\n");
}

TEST(ChapterPlainText, BreaksTagsAndEntities) {
    const Text html = toGbk(
        "&nbsp;&nbsp;甲乙<br />\r\n<br />\r\n&nbsp;&nbsp;a &lt;b&gt; &amp; &#20013;&#x6587; "
        "&bogus;<BR><b>粗</b>体<br/>\r\n   <br>");
    EXPECT_EQ(toUtf8(chapterPlainText(html)), "  甲乙\r\n  a <b> & 中文 &bogus;\r\n粗体\r\n");
    EXPECT_EQ(chapterPlainText(""), "");
    EXPECT_EQ(chapterPlainText("<div"), "");
}

// The archive's entries by name, and the first one.
struct Archive {
    std::map<std::string, std::string> files;
    std::string first;
    bool firstStored = false;
};

Archive openArchive(const Bytes& bytes) {
    Archive a;
    zip_error_t error;
    zip_source_t* source = zip_source_buffer_create(bytes.data(), bytes.size(), 0, &error);
    zip_t* z = zip_open_from_source(source, ZIP_RDONLY | ZIP_CHECKCONS, &error);
    if (!z) {
        zip_source_free(source);
        return a;
    }
    for (zip_int64_t i = 0; i < zip_get_num_entries(z, 0); ++i) {
        zip_stat_t st;
        zip_stat_index(z, static_cast<zip_uint64_t>(i), 0, &st);
        std::string data(st.size, '\0');
        zip_file_t* f = zip_fopen_index(z, static_cast<zip_uint64_t>(i), 0);
        zip_fread(f, data.data(), st.size);
        zip_fclose(f);
        if (i == 0) {
            a.first = st.name;
            a.firstStored = st.comp_method == ZIP_CM_STORE;
        }
        a.files[st.name] = data;
    }
    zip_close(z);
    return a;
}

// The document, parsed strictly (no network, no entities from outside); null when it is not
// well-formed XML.
struct XmlDoc {
    explicit XmlDoc(const std::string& text)
        : doc(xmlReadMemory(text.data(), static_cast<int>(text.size()), "x.xml", "UTF-8",
                            XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING)) {}
    ~XmlDoc() { xmlFreeDoc(doc); }
    xmlDocPtr doc;
};

void collect(xmlNodePtr node, const char* name, std::vector<std::string>* texts) {
    for (; node; node = node->next) {
        if (node->type == XML_ELEMENT_NODE && xmlStrcmp(node->name, BAD_CAST name) == 0) {
            xmlChar* t = xmlNodeGetContent(node);
            texts->push_back(reinterpret_cast<const char*>(t));
            xmlFree(t);
        }
        collect(node->children, name, texts);
    }
}

std::vector<std::string> elementTexts(const XmlDoc& doc, const char* name) {
    std::vector<std::string> texts;
    if (doc.doc) collect(xmlDocGetRootElement(doc.doc), name, &texts);
    return texts;
}

TEST(Epub, StructureOrderAndEscaping) {
    AssembledBook book = bookFromPackage(toGbk("前言一行\n第一章\nA<B & C\n"),
                                         tableOf({"第一章", "第\"二\"章 'x' <y>", "第三章"}));
    fillChapter(&book.chapters[1], toGbk("她说：\"你好\" & <再见>"), ChapterOrigin::Page, "\n");
    markMissing(&book.chapters[2], "服务器返回500", "\n");
    EpubBook epub;
    epub.title = "书名 <&>";
    epub.author = "作者\x01";
    epub.identifier = bookIdentifier("http://127.0.0.1/book/7.html");
    epub.cover = std::string("\xFF\xD8\xFF\xE0rest", 8);
    fillEpubText(&epub, book);
    std::string error;
    const Bytes bytes = buildEpub(epub, &error);
    ASSERT_FALSE(bytes.empty()) << error;

    const Archive a = openArchive(bytes);
    EXPECT_EQ(a.first, "mimetype");
    EXPECT_TRUE(a.firstStored);
    EXPECT_EQ(a.files.at("mimetype"), "application/epub+zip");
    EXPECT_EQ(a.files.at("OEBPS/cover.jpg"), epub.cover);
    EXPECT_EQ(bookIdentifier("http://127.0.0.1/book/7.html"), epub.identifier);
    EXPECT_NE(bookIdentifier("http://127.0.0.1/book/8.html"), epub.identifier);
    EXPECT_EQ(epub.identifier.size(), std::string("urn:uuid:").size() + 36);

    for (const auto& [name, text] : a.files) {
        if (name.ends_with(".xhtml") || name.ends_with(".xml") || name.ends_with(".opf") ||
            name.ends_with(".ncx"))
            EXPECT_TRUE(XmlDoc(text).doc) << name << " is not well-formed:\n" << text;
    }
    const XmlDoc opf(a.files.at("OEBPS/content.opf"));
    EXPECT_EQ(elementTexts(opf, "title"), std::vector<std::string>{"书名 <&>"});
    EXPECT_EQ(elementTexts(opf, "creator"), std::vector<std::string>{"作者"});
    EXPECT_EQ(elementTexts(opf, "language"), std::vector<std::string>{"zh-CN"});
    EXPECT_EQ(elementTexts(opf, "identifier"), std::vector<std::string>{epub.identifier});
    EXPECT_TRUE(XmlDoc(a.files.at("META-INF/container.xml")).doc);

    const std::vector<std::string> order{"第一章", "第\"二\"章 'x' <y>", "第三章"};
    EXPECT_EQ(elementTexts(XmlDoc(a.files.at("OEBPS/nav.xhtml")), "a"), order);
    EXPECT_EQ(elementTexts(XmlDoc(a.files.at("OEBPS/toc.ncx")), "text"),
              (std::vector<std::string>{"书名 <&>", order[0], order[1], order[2]}));
    EXPECT_EQ(elementTexts(XmlDoc(a.files.at("OEBPS/chapter-0001.xhtml")), "p"),
              std::vector<std::string>{"A<B & C"});
    EXPECT_EQ(elementTexts(XmlDoc(a.files.at("OEBPS/chapter-0002.xhtml")), "p"),
              std::vector<std::string>{"她说：\"你好\" & <再见>"});
    EXPECT_EQ(elementTexts(XmlDoc(a.files.at("OEBPS/chapter-0003.xhtml")), "p"),
              std::vector<std::string>{"【本章缺失：服务器返回500】"});
    EXPECT_EQ(elementTexts(XmlDoc(a.files.at("OEBPS/preface.xhtml")), "p"),
              std::vector<std::string>{"前言一行"});
}

}  // namespace
}  // namespace novel
