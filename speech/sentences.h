#pragma once
// Chapter text prepared for reading aloud: the reader's HTML (GBK, "<br>" line breaks, "&nbsp;"
// indents) as plain paragraphs, and those paragraphs cut into sentences a speech engine can say
// one at a time. Positions are counted in characters (Unicode code points; GBK holds none outside
// the basic plane, so they equal UTF-16 units and a page script can use them as they are).

#include <string>
#include <string_view>
#include <vector>

namespace novel {

// Sentences longer than this are cut after a comma (or, lacking one, at this length).
inline constexpr int kMaxSentenceChars = 120;

struct Sentence {
    std::string text;   // UTF-8, without the blanks around it
    int paragraph = 0;  // index into chapterParagraphs()
    int offset = 0;     // characters from the paragraph's start
    int length = 0;     // characters
    friend bool operator==(const Sentence&, const Sentence&) = default;
};

// The visible text of `gbkHtml` as UTF-8 paragraphs: the paragraphs of splitParagraphs (those the
// reader page numbers), each with its tags dropped, entities decoded and blanks collapsed and
// trimmed. A paragraph with no visible text stays as an empty one, so index i here is <p id="pi">
// on the page.
std::vector<std::string> chapterParagraphs(std::string_view gbkHtml);

// Sentences of UTF-8 paragraphs in reading order. A sentence ends after a run of end marks
// (。！？；… and ASCII . ! ? ;) and the closing quotes or brackets that follow it; a paragraph's
// end always ends one. Pieces with nothing to say (only marks or blanks) are left out.
std::vector<Sentence> splitSentences(const std::vector<std::string>& paragraphs,
                                     int maxChars = kMaxSentenceChars);

// splitSentences(chapterParagraphs(gbkHtml)).
std::vector<Sentence> chapterSentences(std::string_view gbkHtml, int maxChars = kMaxSentenceChars);

}  // namespace novel
