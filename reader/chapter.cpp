#include "reader/chapter.h"

#include "reader/font_faces.h"
#include "reader/ad_sentences.h"
#include "reader/chapter_html.h"

namespace novel {

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

Text buildReaderPage(std::string_view headTemplate, std::string_view bodyStyleTemplate,
                     std::string_view scriptTemplate, std::string_view chapterTitle,
                     std::string_view chapterText) {
    // The font rule follows the templates' style block so it overrides their font-family; the
    // templates themselves keep the name the user chose.
    return concatTexts(headTemplate, bodyStyleTemplate, fontFamilyStyle(headTemplate),
                       scriptTemplate, chapterTitle, "</br></br>", chapterText, "</center>");
}

}  // namespace novel
