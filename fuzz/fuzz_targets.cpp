#include "fuzz/fuzz_targets.h"

#include <sqlite3.h>

#include <cctype>
#include <cstdlib>
#include <vector>

#include "bookmarks/bookmark_file.h"
#include "catalogue/book_page.h"
#include "catalogue/list_parser.h"
#include "catalogue/search_parser.h"
#include "catalogue/site_config.h"
#include "catalogue/site_urls.h"
#include "download/book_assembly.h"
#include "download/epub_writer.h"
#include "library/fulltext.h"
#include "library/page_store.h"
#include "reader/ad_sentences.h"
#include "reader/chapter.h"
#include "reader/chapter_html.h"
#include "reader/font_faces.h"
#include "reader/paragraphs.h"
#include "reader/reader_settings.h"
#include "reader/reader_style.h"
#include "reader/reader_themes.h"
#include "reader/toc_parser.h"
#include "speech/sentences.h"
#include "web/block_scan_testing.h"
#include "web/gbk.h"
#include "web/regex_object.h"
#include "web/request_engine.h"
#include "web/text.h"

namespace novel::fuzz {
namespace {

// Splits the input at the byte 0x01 into up to `n` parts (missing parts are empty), so one input
// can carry a text and the markers to look for in it.
std::vector<std::string_view> parts(std::string_view input, size_t n) {
    std::vector<std::string_view> out;
    while (out.size() + 1 < n) {
        size_t cut = input.find('\x01');
        if (cut == std::string_view::npos) break;
        out.push_back(input.substr(0, cut));
        input.remove_prefix(cut + 1);
    }
    out.push_back(input);
    out.resize(n);
    return out;
}

void check(bool condition) {
    if (!condition) std::abort();
}

// Which offsets of `text` start a character (the end counts as one), found by walking the
// characters from the start.
std::vector<bool> characterStarts(std::string_view text) {
    std::vector<bool> starts(text.size() + 1, false);
    for (size_t i = 0; i < text.size(); i += charLengthAt(text, i)) starts[i] = true;
    starts[text.size()] = true;
    return starts;
}

// The block scans of every width find what a walk over the characters finds: the first and the
// last occurrence of `sought` at a character start.
void checkScanWidths(std::string_view text, std::string_view sought) {
    if (sought.empty() || text.size() > 4096) return;  // the walk is quadratic
    const std::vector<bool> starts = characterStarts(text);
    int first = -1, last = -1;
    for (size_t i = 0; i + sought.size() <= text.size(); ++i) {
        if (starts[i] && text.compare(i, sought.size(), sought) == 0) {
            if (first < 0) first = static_cast<int>(i) + 1;
            last = static_cast<int>(i) + 1;
        }
    }
    const int folded = findText(text, sought, 1, true);
    for (int width : {16, 32, 64}) {
        setBlockScanWidthForTesting(width);
        check(findText(text, sought) == first);
        check(findTextBackwards(text, sought) == last);
        check(findText(text, sought, 1, true) == folded);
    }
    setBlockScanWidthForTesting(0);
}

}  // namespace

void textPrimitives(std::string_view input) {
    auto p = parts(input, 3);
    const std::string_view text = p[0], a = p[1], b = p[2];

    // The conversion table answers as iconv, which it is made from.
    check(toUtf8(input) == detail::toUtf8WithIconv(input));

    int found = findText(text, a, 1, true);
    check(found == -1 || (found >= 1 && static_cast<size_t>(found) <= text.size()));
    checkScanWidths(text, a);
    findTextBackwards(text, a, -1, true);
    Text replaced = replaceText(text, a, b);
    Text inPlace(text);
    replaceTextInPlace(&inPlace, a, b);
    check(replaced == inPlace);
    splitText(text, a, 3);
    trimBlanks(text);
    removeBlanks(text);
    textBetween(text, a, b);
    // The character walk for one-character markers cuts what the scan cuts.
    const char left = a.empty() ? '"' : a[0], right = b.empty() ? '>' : b[0];
    if (left >= 0 && right >= 0) {
        check(viewBetween(text, left, right) == viewBetween(text,
                                                            Marker(std::string_view(&left, 1)),
                                                            Marker(std::string_view(&right, 1))));
    }

    // The direct scan and the pattern engine must cut the same pieces.
    TextList items;
    allBetween(text, a, b, &items);
    if (!a.empty() && !b.empty()) {
        RegexObject regex;
        if (regex.create(escapeForPattern(a) + "([\\s\\S]*?)" + escapeForPattern(b), text)) {
            check(static_cast<size_t>(regex.matchCount()) == items.size());
            for (int i = 1; i <= regex.matchCount(); ++i)
                check(regex.subMatchText(i, 1) == items[static_cast<size_t>(i) - 1]);
        }
    }
}

void regexObject(std::string_view input) {
    auto p = parts(input, 3);
    RegexObject regex;
    if (!regex.create(p[0], p[1], input.size() % 2 == 0, input.size() % 3 == 0)) {
        check(regex.matchCount() == 0);
        return;
    }
    const int count = regex.matchCount();
    const std::vector<bool> starts = characterStarts(p[1]);
    for (int i = 1; i <= count && i <= 64; ++i) {
        int position = -1;
        Text whole = regex.matchText(i, &position);
        check(position >= 0 && static_cast<size_t>(position) + whole.size() <= p[1].size());
        check(p[1].substr(static_cast<size_t>(position), whole.size()) == whole);
        // A match begins and ends between characters, as the walk over the subject sees them.
        check(starts[static_cast<size_t>(position)] &&
              starts[static_cast<size_t>(position) + whole.size()]);
        for (int j = 1; j <= regex.subMatchCount(); ++j) regex.subMatchText(i, j);
    }
    regex.replace(p[2]);
    RegexObject copy(regex);
    check(copy.matchCount() == count);
}

void pageParsers(std::string_view input) {
    auto p = parts(input, 2);
    const std::string_view page = p[0], keyword = p[1];
    for (ListLayout layout : {ListLayout::Ranking, ListLayout::Category}) {
        ListPage list = parseListPage(page, layout);
        check(list.rows.size() == list.progressLines.size());
    }
    parseSearchPage(page, keyword, 3);
    parseBookPage(page, BrandWords{"demobook", Text(keyword), "x"});
    bookUrlStem(keyword);
    std::vector<ChapterEntry> chapters = parseTableOfContents(page, keyword);
    for (size_t i = 0; i < chapters.size(); ++i) check(chapters[i].id == std::to_string(i + 1));
    chapterTextFromPage(page, BrandWords{"demobook", Text(keyword), "x"});
}

void chapterText(std::string_view input) {
    auto p = parts(input, 3);
    const std::string_view html = p[0], brand = p[1], extra = p[2];
    const Text once = sanitizeChapterHtml(html);
    check(sanitizeChapterHtml(once) == once);
    // No tag of the result can run anything: its scripts and handlers are gone for good.
    for (std::string_view active : {"<script", "<iframe", "<meta", "<object", "<embed", "<style"}) {
        for (int at = findText(once, active, 1, true); at != -1;
             at = findText(once, active, at + 1, true)) {
            // Only a longer tag name ("<metadata") may begin the same way.
            const size_t after = static_cast<size_t>(at) - 1 + active.size();
            check(after < once.size() &&
                  (std::isalnum(static_cast<unsigned char>(once[after])) || once[after] == '-'));
        }
    }

    BrandWords words{"demobook", Text(brand), "x"};
    if (!extra.empty()) words.adSentences.push_back(Text(extra));
    const Text page = concatTexts("<div id=\"text_area\">", html, "</div>");
    const Text chapter = chapterTextFromPage(page, words);
    check(sanitizeChapterHtml(chapter) == chapter);
    removeAdSentences(html, words);

    // Addresses: a chapter link and a rebased stored address stay whole texts.
    chapterUrlFor("http://s/book/1", brand);
    rebaseSiteUrl(html.substr(0, 256), "http://127.0.0.1:8080");
    resolveUrl(extra, brand);
}

void siteConfig(std::string_view input) {
    SiteConfig config = parseSiteConfig(input);
    check(!config.site.empty());
    for (const std::string* value :
         {&config.site, &config.brandLatin, &config.brandChinese, &config.mail, &config.helpPage})
        check(isValidUtf8(*value));
    check(!config.demoPort || (*config.demoPort >= 1 && *config.demoPort <= 65535));
    check(config.demoLatencyMs >= 0 && config.demoLatencyMs <= kMaxDemoLatencyMs);
    check(config.demoRateKiB >= 0 && config.demoRateKiB <= kMaxDemoRateKiB);
    config.brandWords();
}

void readerSettings(std::string_view input) {
    const ReaderSettings read = parseReaderSettings(input);
    const std::string written = formatReaderSettings(read);
    check(isValidUtf8(written));
    // Whatever a damaged file held, what is written reads back the same and no value spans lines.
    check(parseReaderSettings(written) == read);
    size_t lines = 0;
    for (char c : written) lines += c == '\n';
    check(lines == read.values().size());
    // Typed values read from a damaged file are always usable.
    const ReaderLayout layout = read.layout();
    check(validLayout(layout) == layout);
    check(read.theme().empty() || findReaderTheme(read.theme()));
    ReaderSettings again = read;
    again.setLayout(layout);
    check(again.layout() == layout);
}

void bookmarkFile(std::string_view input) {
    // Read as the program reads a slot file (up to the first zero byte) and as raw bytes.
    for (std::string_view text : {textOf(input), input}) {
        const Bookmark read = parseBookmark(text);
        for (size_t i = 0; i < read.chapters.size(); ++i)
            check(read.chapters[i].id == std::to_string(i + 1));
        // What was read and written again reads back the same.
        const Bookmark again = parseBookmark(formatBookmark(read));
        check(again.chapters == read.chapters);
        check(again.bookTitle == read.bookTitle && again.chapterTitle == read.chapterTitle);
    }
}

void retryAfter(std::string_view input) {
    // A server's Retry-After never asks for a negative wait or one past the cap.
    const auto now = std::chrono::system_clock::from_time_t(1700000000);
    const auto pause = retryAfterPause(input, now, std::chrono::seconds(30));
    check(!pause || (pause->count() >= 0 && pause->count() <= 30000));
}

// The chapter text is the site's: its paragraphs lie on character boundaries, each splits to
// itself, and splitting them joined again changes nothing.
void checkParagraphs(std::string_view chapterText) {
    const std::vector<std::string_view> paragraphs = splitParagraphs(chapterText);
    const std::vector<bool> starts = characterStarts(chapterText);
    Text joined;
    for (std::string_view paragraph : paragraphs) {
        check(!paragraph.empty());
        const size_t begin = static_cast<size_t>(paragraph.data() - chapterText.data());
        check(begin + paragraph.size() <= chapterText.size());
        check(starts[begin] && starts[begin + paragraph.size()]);
        const std::vector<std::string_view> again = splitParagraphs(paragraph);
        check(again.size() == 1 && again[0] == paragraph);
        joined += concatTexts(paragraph, "<br>");
    }
    const std::vector<std::string_view> rejoined = splitParagraphs(joined);
    check(rejoined.size() == paragraphs.size());
    for (size_t i = 0; i < paragraphs.size(); ++i) check(rejoined[i] == paragraphs[i]);
}

void readerTemplates(std::string_view input) {
    // The three configuration files as stored and a chapter text, then the page built from them.
    auto p = parts(input, 4);
    const ReaderTemplates templates{Text(p[0]), Text(p[1]), Text(p[2])};
    const std::string_view chapterText = p[3];
    const Text fontStyle = fontFamilyStyle(templates.head);
    const Text page =
        buildReaderPage(templates.head, templates.bodyStyle, templates.script, "T", chapterText);
    check(page == concatTexts(templates.head, templates.bodyStyle, fontStyle, readerLayoutStyle({}),
                              templates.script, "T</br></br>", paragraphsHtml(chapterText),
                              "</center>"));
    // Only a known choice gets a rule, and that rule names it first.
    if (!fontStyle.empty()) {
        const ReaderStyle style = styleOf(templates);
        check(!fontFamilyList(style.fontFamily).empty());
        check(fontStyle.find(concatTexts("font-family:\"", style.fontFamily, "\",")) != Text::npos);
    }
    checkParagraphs(chapterText);
    // A theme touches the two colours only, and is recognised again where both markers exist.
    const ReaderTheme& theme = readerThemes()[input.size() % readerThemes().size()];
    const ReaderTemplates themed = applyTheme(templates, theme);
    check(themed.script == templates.script);
    const ReaderStyle before = styleOf(templates), after = styleOf(themed);
    check(after.scrollInterval == before.scrollInterval);
    const ReaderTheme* recognised = themeOf(after);
    if (recognised) check(parseHexColor(recognised->background) == parseHexColor(after.background));
}

void sentenceSplitter(std::string_view input) {
    // Chapter text is the site's: any bytes, read as the reader holds them (GBK HTML).
    const std::vector<std::string> paragraphs = chapterParagraphs(input);
    // One spoken paragraph for each paragraph of the page, in the same order.
    check(paragraphs.size() == splitParagraphs(textOf(input)).size());
    for (const std::string& p : paragraphs) check(isValidUtf8(p));
    const int maxChars = 1 + static_cast<int>(input.size() % 40);
    int lastParagraph = 0, lastEnd = 0;
    for (const Sentence& s : splitSentences(paragraphs, maxChars)) {
        check(s.paragraph >= 0 && static_cast<size_t>(s.paragraph) < paragraphs.size());
        check(isValidUtf8(s.text) && s.length > 0 && s.length <= maxChars);
        // In reading order, never overlapping, and exactly the characters the offsets name.
        check(s.paragraph > lastParagraph || (s.paragraph == lastParagraph && s.offset >= lastEnd));
        lastParagraph = s.paragraph;
        lastEnd = s.offset + s.length;
        const std::string& p = paragraphs[s.paragraph];
        size_t at = 0;
        int chars = 0;
        while (at < p.size() && chars < s.offset) {
            ++chars;
            do ++at;
            while (at < p.size() && (static_cast<unsigned char>(p[at]) & 0xC0) == 0x80);
        }
        check(chars == s.offset && p.compare(at, s.text.size(), s.text) == 0);
        size_t count = 0;
        for (char c : s.text) count += (static_cast<unsigned char>(c) & 0xC0) != 0x80;
        check(count == static_cast<size_t>(s.length));
    }
}

void bookReconciliation(std::string_view input) {
    // A table of contents (one title a line), a package, and a chapter page's text.
    auto p = parts(input, 3);
    std::vector<ChapterEntry> table;
    for (const Text& title : splitText(p[0], "\n", 2000))
        table.push_back({std::to_string(table.size() + 1), title, "u"});
    const std::string_view package = p[1];
    const PackageMatch match = matchPackage(package, table);
    size_t after = 0, matched = 0;
    for (size_t k = 0; k < table.size(); ++k) {
        const size_t at = match.titleLine[k];
        if (at == std::string_view::npos) continue;
        // In order, at a line start, on a line whose trimmed text is the trimmed title.
        check(at >= after && at < package.size() && (at == 0 || package[at - 1] == '\n'));
        const size_t end = std::min(package.find('\n', at), package.size());
        check(trimTitleLine(package.substr(at, end - at)) == trimTitleLine(table[k].title));
        check(!trimTitleLine(table[k].title).empty());
        after = at + 1;
        ++matched;
    }
    check(matched == match.matched);

    AssembledBook book = bookFromPackage(package, table);
    check(book.chapters.size() == table.size());
    const Text plain = chapterPlainText(p[2]);
    check(plain.empty() || plain.ends_with("\r\n"));
    for (size_t k = 0; k < book.chapters.size(); ++k) {
        if (book.chapters[k].origin != ChapterOrigin::Missing) continue;
        if (k % 2)
            fillChapter(&book.chapters[k], plain, ChapterOrigin::Page, book.lineBreak);
        else
            markMissing(&book.chapters[k], "x", book.lineBreak);
    }
    const Text text = bookText(book);
    const auto held = heldChapters(text, table);
    check(held.size() == table.size());
    // A book read from its own output holds no mark as text.
    for (const auto& h : held)
        if (h) check(!isMissingMark(*h));

    EpubBook epub;
    epub.title = toUtf8(p[0].substr(0, 40));
    epub.cover = Bytes(p[2].substr(0, 64));
    fillEpubText(&epub, book);
    std::string error;
    check(!buildEpub(epub, &error).empty());
    check(xmlEscape(toUtf8(p[2])).find('<') == std::string::npos);
}

void libraryStore(std::string_view input) {
    // A stored page as the library reads it back: size and hash in front, then the bytes.
    if (input.size() >= 8) {
        const size_t size = static_cast<unsigned char>(input[0]) |
                            static_cast<size_t>(static_cast<unsigned char>(input[1])) << 8 |
                            static_cast<size_t>(static_cast<unsigned char>(input[2])) << 16 |
                            static_cast<size_t>(static_cast<unsigned char>(input[3])) << 24;
        std::uint32_t hash = 0;
        for (int i = 7; i >= 4; --i) hash = hash << 8 | static_cast<unsigned char>(input[i]);
        const std::optional<Bytes> page = decompressPage(input.substr(8), size, hash);
        check(!page || (page->size() == size && pageHash(*page) == hash));
    }
    // Whatever is stored comes back the same.
    const Bytes stored = compressPage(input);
    check(decompressPage(stored, input.size(), pageHash(input)) == Bytes(input));

    // A book page's keywords and a chapter's paragraphs, and an anchor into them.
    const BookMeta names = readBookMeta(input);
    check(names.title.find(',') == Text::npos && names.author.find(',') == Text::npos);
    const std::vector<std::string_view> paragraphs = splitParagraphs(input);
    for (int index : {0, 3, static_cast<int>(paragraphs.size()) - 1}) {
        const ParagraphAnchor anchor = anchorAt(paragraphs, index);
        const int restored = restoreParagraph(anchor, paragraphs);
        check(paragraphs.empty() ? restored == 0
                                 : paragraphs[restored].starts_with(anchor.snippet));
    }
}

void fulltextQuery(std::string_view input) {
    // The query as typed: its expression is one quoted phrase with nothing else in it.
    const std::string expression = fulltextMatchExpression(input);
    check(expression.empty() ||
          (expression.size() >= 3 && expression.front() == '"' && expression.back() == '"' &&
           expression.find('"', 1) == expression.size() - 1));
    // The tokenizer: a synonym never comes first; query tokens are never synonyms.
    const std::vector<FulltextToken> document = fulltextTokens(input, false);
    check(document.empty() || !document.front().colocated);
    for (const FulltextToken& t : fulltextTokens(input, true))
        check(!t.colocated && !t.text.empty());
    // The chapter text as indexed (GBK in, UTF-8 out) and a snippet of the input in itself.
    fulltextPlainText(input);
    if (const std::optional<FulltextSnippet> s = fulltextSnippet(input, input))
        check(s->hitBegin <= s->hitEnd && s->hitEnd <= s->text.size());

    // A text always finds itself through the index, and no input is ever a syntax error.
    static sqlite3* db = [] {
        sqlite3* d = nullptr;
        sqlite3_open(":memory:", &d);
        registerFulltextTokenizer(d);
        sqlite3_exec(d, "CREATE VIRTUAL TABLE t USING fts5(body, tokenize='novel_cjk')", nullptr,
                     nullptr, nullptr);
        return d;
    }();
    sqlite3_exec(db, "DELETE FROM t", nullptr, nullptr, nullptr);
    sqlite3_stmt* put = nullptr;
    sqlite3_prepare_v2(db, "INSERT INTO t(rowid, body) VALUES(1, ?)", -1, &put, nullptr);
    sqlite3_bind_text(put, 1, input.data(), static_cast<int>(input.size()), SQLITE_STATIC);
    check(sqlite3_step(put) == SQLITE_DONE);
    sqlite3_finalize(put);
    if (expression.empty()) return;
    sqlite3_stmt* find = nullptr;
    sqlite3_prepare_v2(db, "SELECT rowid FROM t WHERE t MATCH ?", -1, &find, nullptr);
    sqlite3_bind_text(find, 1, expression.c_str(), -1, SQLITE_STATIC);
    check(sqlite3_step(find) == SQLITE_ROW);
    sqlite3_finalize(find);
}

}  // namespace novel::fuzz
