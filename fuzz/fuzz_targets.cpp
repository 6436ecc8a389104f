#include "fuzz/fuzz_targets.h"

#include <cstdlib>
#include <vector>

#include "bookmarks/bookmark_file.h"
#include "catalogue/book_page.h"
#include "catalogue/list_parser.h"
#include "catalogue/search_parser.h"
#include "catalogue/site_config.h"
#include "library/page_store.h"
#include "reader/chapter.h"
#include "reader/font_faces.h"
#include "reader/paragraphs.h"
#include "reader/reader_settings.h"
#include "reader/reader_style.h"
#include "reader/toc_parser.h"
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
    parseBookPage(page);
    bookUrlStem(keyword);
    std::vector<ChapterEntry> chapters = parseTableOfContents(page, keyword);
    for (size_t i = 0; i < chapters.size(); ++i) check(chapters[i].id == std::to_string(i + 1));
    chapterTextFromPage(page, BrandWords{"demobook", Text(keyword), "x"});
}

void siteConfig(std::string_view input) {
    SiteConfig config = parseSiteConfig(input);
    check(!config.site.empty());
    for (const std::string* value :
         {&config.site, &config.brandLatin, &config.brandChinese, &config.mail, &config.helpPage})
        check(isValidUtf8(*value));
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

void readerTemplates(std::string_view input) {
    // The three configuration files as stored, then the page built from them.
    auto p = parts(input, 3);
    const ReaderTemplates templates{Text(p[0]), Text(p[1]), Text(p[2])};
    const Text fontStyle = fontFamilyStyle(templates.head);
    const Text page =
        buildReaderPage(templates.head, templates.bodyStyle, templates.script, "T", "x");
    check(page == concatTexts(templates.head, templates.bodyStyle, fontStyle, templates.script,
                              "T</br></br>x</center>"));
    // Only a known choice gets a rule, and that rule names it first.
    if (!fontStyle.empty()) {
        const ReaderStyle style = styleOf(templates);
        check(!fontFamilyList(style.fontFamily).empty());
        check(fontStyle.find(concatTexts("font-family:\"", style.fontFamily, "\",")) != Text::npos);
    }
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
    const TitleAuthor names = keywordsTitleAuthor(input);
    check(names.title.find(',') == Text::npos && names.author.find(',') == Text::npos);
    const std::vector<ParagraphSpan> spans = splitParagraphs(input);
    size_t previous = 0;
    for (const ParagraphSpan& span : spans) {
        check(span.begin >= previous && span.begin < span.end && span.end <= input.size());
        previous = span.end;
    }
    const std::vector<std::string_view> paragraphs = paragraphTexts(input);
    for (int index : {0, 3, static_cast<int>(paragraphs.size()) - 1}) {
        const ParagraphAnchor anchor = anchorAt(paragraphs, index);
        const int restored = restoreParagraph(anchor, paragraphs);
        check(paragraphs.empty() ? restored == 0
                                 : paragraphs[restored].starts_with(anchor.snippet));
    }
}

}  // namespace novel::fuzz
