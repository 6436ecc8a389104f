#pragma once
// The site's advertising sentences ("请记住本站网址：…最快更新！"), removed from chapter text,
// synopses and downloaded books whether or not the address and brand words inside them are still
// there.

#include <span>
#include <string_view>
#include <vector>

#include "catalogue/site_config.h"
#include "web/text.h"

namespace novel {

// A sentence pattern (UTF-8): its fixed words, with "*" where the site puts its address or brand
// words. In the text a "*" or a blank of the pattern stands for any run of blanks ("&nbsp;"
// included), brand words and address pieces (ASCII runs holding a "." or ":"), the empty run too;
// nothing else. A pattern that opens with "*" only matches at the start of a sentence: the start
// of a line, or after "。", "！", "？", "!", "?" or a tag's ">".
std::span<const std::string_view> builtInAdSentences();

// The built-in sentences and the brand words' extra ones, made ready once for many texts.
class AdSentenceRemover {
  public:
    explicit AdSentenceRemover(const BrandWords& brandWords);
    ~AdSentenceRemover();
    AdSentenceRemover(AdSentenceRemover&&) noexcept;
    AdSentenceRemover& operator=(AdSentenceRemover&&) noexcept;

    // Removes every sentence from the first of its fixed words to the last (a sentence-opening
    // pattern from the first thing after the blanks that start the sentence), in one pass per
    // pattern. A sentence never spans a line break.
    Text remove(std::string_view text) const;
    // The same, in place.
    void removeIn(Text* text) const;

    struct Pattern;

  private:
    std::vector<Pattern> patterns_;
    std::vector<Text> brandWords_;
};

Text removeAdSentences(std::string_view text, const BrandWords& brandWords);

}  // namespace novel
