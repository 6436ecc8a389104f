#include "reader/ad_sentences.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cstring>
#include <optional>

#include "web/gbk.h"

namespace novel {
namespace {

// clang-format off
constexpr std::array<std::string_view, 5> kAdSentences = {
    // Opens every chapter page, after the brand and the address.
    "欢迎您的光临，本书最新章节尽在*。",
    // Closes every chapter page: the address, then the brand words spaced out.
    "请记住本站网址：*，*最快更新！",
    // Ends a book's synopsis.
    "本书由*首发，更多精彩请访问*或*。",
    // Heads the TXT package, the address in parentheses.
    "本书由*（*）整理收录，仅供试读。",
    // Ends every chapter of the TXT package; alone it would be ordinary words, so it has to
    // begin a sentence.
    "*提供全文阅读。",
};
// clang-format on

constexpr size_t kMaxGapItems = 64;

bool isAddressByte(unsigned char c) {
    return std::isalnum(c) || c == '.' || c == ':' || c == '/' || c == '-' || c == '_' ||
           c == '~' || c == '%' || c == '?' || c == '=' || c == '+';
}

bool startsWithIgnoringCase(std::string_view text, size_t at, std::string_view word) {
    if (word.empty() || text.size() - at < word.size()) return false;
    for (size_t i = 0; i < word.size(); ++i) {
        unsigned char a = static_cast<unsigned char>(text[at + i]);
        unsigned char b = static_cast<unsigned char>(word[i]);
        if (a != b && (a >= 0x80 || b >= 0x80 || std::tolower(a) != std::tolower(b))) return false;
    }
    return true;
}

// Length of a blank at `at` (ASCII space or tab, ideographic space, "&nbsp;"), 0 for none.
size_t blankAt(std::string_view text, size_t at) {
    if (at >= text.size()) return 0;
    const unsigned char c = static_cast<unsigned char>(text[at]);
    if (c == ' ' || c == '\t') return 1;
    if (c == 0xA1 && at + 1 < text.size() && static_cast<unsigned char>(text[at + 1]) == 0xA1)
        return 2;
    return startsWithIgnoringCase(text, at, "&nbsp;") ? 6 : 0;
}

bool isBoundaryChar(std::string_view c) {
    static const std::array<Text, 6> kEnds = {toGbk("。"), toGbk("！"), toGbk("？"), "!", "?", ">"};
    for (const Text& end : kEnds)
        if (c == end) return true;
    return false;
}

}  // namespace

struct AdSentenceRemover::Pattern {
    bool opensSentence = false;  // a "*" before the first fixed words
    TextList words;              // the fixed runs, a gap between each two
};

AdSentenceRemover::AdSentenceRemover(const BrandWords& brandWords) {
    for (const Text* word : {&brandWords.chinese, &brandWords.chineseSpaced, &brandWords.latin})
        if (!word->empty()) brandWords_.push_back(*word);

    auto add = [this](std::string_view gbk) {
        Pattern pattern;
        Text run;
        bool gap = false;
        for (size_t i = 0; i < gbk.size();) {
            const size_t len = charLengthAt(gbk, i);
            const std::string_view c = gbk.substr(i, len);
            const bool isGap = c == "*" || blankAt(gbk, i) > 0;
            i += isGap ? std::max<size_t>(1, blankAt(gbk, i)) : len;
            if (isGap) {
                if (pattern.words.empty() && run.empty()) pattern.opensSentence = true;
                gap = true;
                continue;
            }
            if (gap && !run.empty()) pattern.words.push_back(std::move(run)), run.clear();
            gap = false;
            run.append(c);
        }
        if (!run.empty()) pattern.words.push_back(std::move(run));
        // Without fixed words a pattern would match anywhere.
        if (!pattern.words.empty()) patterns_.push_back(std::move(pattern));
    };
    for (std::string_view s : kAdSentences) add(toGbk(s));
    for (const Text& s : brandWords.adSentences) add(s);
}

AdSentenceRemover::~AdSentenceRemover() = default;
AdSentenceRemover::AdSentenceRemover(AdSentenceRemover&&) noexcept = default;
AdSentenceRemover& AdSentenceRemover::operator=(AdSentenceRemover&&) noexcept = default;

namespace {

struct Matcher {
    std::string_view text;
    const std::vector<Text>& brandWords;

    // One item of a gap at `at`: its end, or nothing.
    std::optional<size_t> gapItem(size_t at) const {
        if (size_t n = blankAt(text, at)) return at + n;
        for (const Text& word : brandWords)
            if (startsWithIgnoringCase(text, at, word)) return at + word.size();
        size_t end = at;
        bool address = false;
        while (end < text.size() && isAddressByte(static_cast<unsigned char>(text[end]))) {
            address = address || text[end] == '.' || text[end] == ':';
            ++end;
        }
        if (address) return end;
        return std::nullopt;
    }

    // Where a gap starting at `at` may end, shortest first.
    std::vector<size_t> gapEnds(size_t at) const {
        std::vector<size_t> ends{at};
        while (ends.size() < kMaxGapItems) {
            std::optional<size_t> next = gapItem(ends.back());
            if (!next) break;
            ends.push_back(*next);
        }
        return ends;
    }

    // The end of the words from `index` on, each after a gap, matched from `at`.
    std::optional<size_t> rest(const TextList& words, size_t index, size_t at) const {
        if (index == words.size()) return at;
        const std::vector<size_t> ends = gapEnds(at);
        for (auto it = ends.rbegin(); it != ends.rend(); ++it) {
            if (!startsWithIgnoringCase(text, *it, words[index])) continue;
            if (auto end = rest(words, index + 1, *it + words[index].size())) return end;
        }
        return std::nullopt;
    }

    // For a pattern that opens a sentence: where the sentence starts when only a gap lies
    // between the start of the sentence and `at` (blanks in front of it stay).
    std::optional<size_t> sentenceStart(size_t at) const {
        const size_t newline = at == 0 ? std::string_view::npos : text.rfind('\n', at - 1);
        const size_t start = newline == std::string_view::npos ? 0 : newline + 1;
        size_t sentence = start;
        size_t i = start;
        while (i < at) {
            const size_t len = charLengthAt(text, i);
            if (isBoundaryChar(text.substr(i, len))) sentence = i + len;
            i += len;
        }
        if (i != at) return std::nullopt;  // `at` lies inside a character read from the line start
        while (size_t n = blankAt(text, sentence)) sentence += n;
        for (size_t end : gapEnds(sentence))
            if (end == at) return std::min(sentence, at);
        return std::nullopt;
    }
};

}  // namespace

Text AdSentenceRemover::remove(std::string_view input) const {
    Text text(input);
    removeIn(&text);
    return text;
}

void AdSentenceRemover::removeIn(Text* textPtr) const {
    Text& text = *textPtr;
    std::vector<std::pair<size_t, size_t>> cuts;  // the sentences found, in order
    for (const Pattern& pattern : patterns_) {
        const Matcher m{text, brandWords_};
        cuts.clear();
        int from = 1;
        while (true) {
            const int hit = findText(text, pattern.words[0], from, true);
            if (hit < 0) break;
            const size_t at = static_cast<size_t>(hit) - 1;
            std::optional<size_t> start = at, end;
            if (pattern.opensSentence) start = m.sentenceStart(at);
            if (start) end = m.rest(pattern.words, 1, at + pattern.words[0].size());
            if (!end) {
                from = hit + static_cast<int>(charLengthAt(text, at));
                continue;
            }
            // A sentence may open inside one just found (a pattern of site.ini that ends on no
            // sentence end): what is already cut is not cut again.
            cuts.emplace_back(cuts.empty() ? *start : std::max(*start, cuts.back().second), *end);
            from = static_cast<int>(*end) + 1;
            if (*end >= text.size()) break;
        }
        if (cuts.empty()) continue;
        // The text closes up over the cuts in place: a book is tens of megabytes.
        size_t write = cuts[0].first;
        for (size_t k = 0; k < cuts.size(); ++k) {
            const size_t keepFrom = cuts[k].second;
            const size_t keepTo = k + 1 < cuts.size() ? cuts[k + 1].first : text.size();
            std::memmove(text.data() + write, text.data() + keepFrom, keepTo - keepFrom);
            write += keepTo - keepFrom;
        }
        text.resize(write);
    }
}

Text removeAdSentences(std::string_view text, const BrandWords& brandWords) {
    return AdSentenceRemover(brandWords).remove(text);
}

std::span<const std::string_view> builtInAdSentences() {
    return kAdSentences;
}

}  // namespace novel
