#include "reader/chapter.h"

#include <string>

#include "reader/ad_sentences.h"
#include "reader/chapter_html.h"
#include "reader/font_faces.h"

namespace novel {
namespace {

bool isAsciiSpace(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f';
}

bool startsWithIgnoringCase(std::string_view text, size_t at, std::string_view lowerWord) {
    if (text.size() - at < lowerWord.size()) return false;
    for (size_t i = 0; i < lowerWord.size(); ++i) {
        char c = text[at + i];
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
        if (c != lowerWord[i]) return false;
    }
    return true;
}

// The length of the line-break or paragraph tag at text[at] (a character start), 0 when there is
// none there. The tag's characters are walked, so a '>' that is a trail byte never ends it.
size_t breakTagLength(std::string_view text, size_t at) {
    if (text[at] != '<') return 0;
    size_t i = at + 1;
    if (i < text.size() && text[i] == '/') ++i;
    if (startsWithIgnoringCase(text, i, "br"))
        i += 2;
    else if (startsWithIgnoringCase(text, i, "p"))
        i += 1;
    else
        return 0;
    if (i >= text.size()) return 0;
    if (text[i] == '>') return i + 1 - at;
    // "<pre>", "<bdi>", "<param>" are other tags.
    if (!isAsciiSpace(text[i]) && text[i] != '/') return 0;
    for (; i < text.size(); i += charLengthAt(text, i)) {
        if (text[i] == '>') return i + 1 - at;
        if (text[i] == '<') return 0;
    }
    return 0;
}

// The length of the blank at text[at] (a character start): ASCII white space, the ideographic
// blank or a no-break space written as an entity; 0 for anything else.
size_t blankLengthAt(std::string_view text, size_t at) {
    if (isAsciiSpace(text[at])) return 1;
    if (text.substr(at, 2) == "\xA1\xA1") return 2;
    if (text[at] != '&') return 0;
    for (std::string_view entity : {"&nbsp;", "&#160;", "&#xa0;"})
        if (startsWithIgnoringCase(text, at, entity)) return entity.size();
    return 0;
}

// Called for every character of a chapter: every ASCII blank lies at or below ' ', so most
// characters are turned away by one test without a call.
inline size_t blankLength(std::string_view text, size_t at) {
    const auto c = static_cast<unsigned char>(text[at]);
    if (c > ' ' && c != '&' && c != 0xA1) return 0;
    return blankLengthAt(text, at);
}

// The run without its leading and trailing blanks, walked character by character from its start.
// Only the text's last run can end in a lone lead byte: anywhere else the next byte, a tag's '<',
// would have made it a whole character and the tag no tag.
std::string_view trimParagraph(std::string_view run) {
    size_t i = 0;
    while (i < run.size()) {
        const size_t blank = blankLength(run, i);
        if (blank == 0) break;
        i += blank;
    }
    const size_t begin = i;
    size_t end = begin;
    while (i < run.size()) {
        if (const size_t blank = blankLength(run, i)) {
            i += blank;
        } else {
            const size_t length = charLengthAt(run, i);
            // Half a character cut off by the end of the text is left out: in the page it would
            // take the '<' of the closing tag as its second byte.
            const bool brokenEnd = length == 1 && isLeadByte(static_cast<unsigned char>(run[i])) &&
                                   i + 1 == run.size();
            i += length;
            if (!brokenEnd) end = i;
        }
    }
    return run.substr(begin, end - begin);
}

}  // namespace

Text cutChapterText(std::string_view page) {
    return textBetween(page, "<div id=\"text_area\">", "</div>");
}

Text cleanChapterText(std::string_view text, const BrandWords& brandWords) {
    // The sentences first, while their addresses can still be told from ordinary words.
    Text out = removeAdSentences(text, brandWords);
    for (std::string_view word :
         {std::string_view(".com"), std::string_view("www."), std::string_view(brandWords.chinese),
          std::string_view(brandWords.chineseSpaced), std::string_view(brandWords.latin)}) {
        if (!word.empty()) out = replaceText(out, word);
    }
    return out;
}

Text chapterTextFromPage(std::string_view page, const BrandWords& brandWords) {
    return sanitizeChapterHtml(cleanChapterText(cutChapterText(page), brandWords));
}

std::vector<std::string_view> splitParagraphs(std::string_view chapterText) {
    std::vector<std::string_view> paragraphs;
    const auto addRun = [&](size_t begin, size_t end) {
        const std::string_view paragraph = trimParagraph(chapterText.substr(begin, end - begin));
        if (!paragraph.empty()) paragraphs.push_back(paragraph);
    };
    size_t runStart = 0;
    size_t i = 0;
    while (i < chapterText.size()) {
        if (const size_t tag = breakTagLength(chapterText, i)) {
            addRun(runStart, i);
            i += tag;
            runStart = i;
        } else {
            i += charLengthAt(chapterText, i);
        }
    }
    addRun(runStart, chapterText.size());
    return paragraphs;
}

Text paragraphsHtml(std::string_view chapterText) {
    // The site indents with blanks of its own; stripped from each paragraph, the page's
    // first-line indent is the only one, and every paragraph gets an index to anchor a position.
    const std::vector<std::string_view> paragraphs = splitParagraphs(chapterText);
    Text out;
    out.reserve(chapterText.size() + paragraphs.size() * 20);
    for (size_t i = 0; i < paragraphs.size(); ++i)
        out += concatTexts("<p id=\"p", std::to_string(i), "\">", paragraphs[i], "</p>");
    return out;
}

Text buildReaderPage(std::string_view headTemplate, std::string_view bodyStyleTemplate,
                     std::string_view scriptTemplate, std::string_view chapterTitle,
                     std::string_view chapterText, const ReaderLayout& layout) {
    // The generated rules follow the templates' style block so they win over its rules of the
    // same weight; the templates themselves keep what the user chose.
    return concatTexts(headTemplate, bodyStyleTemplate, fontFamilyStyle(headTemplate),
                       readerLayoutStyle(layout), scriptTemplate, chapterTitle, "</br></br>",
                       paragraphsHtml(chapterText), "</center>");
}

}  // namespace novel
