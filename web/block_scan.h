#pragma once
// The search under the text primitives: finds a text at character starts of a GBK text. Candidate
// positions are picked 16, 32 or 64 at a time, as wide as the processor allows (chosen once, at the
// first search); whether a candidate starts a character is told by looking back over the
// two-byte characters before it, so a scan over a large text runs close to memchr speed.

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>

#include "web/gbk.h"

namespace novel {

// The bytes a search tests first to pick out candidate positions (both letter cases of each when
// case is ignored).
struct ScanFilter {
    unsigned char firstA, firstB, secondA, secondB, lastA, lastB;
    unsigned char secondAt;  // where the middle byte tested lies (texts of three bytes or more)
    bool oneCase;            // each tested byte has one form only
    static ScanFilter of(std::string_view sought, bool ignoreCase);
};

// Whether p[at] starts a character, given a character start `from` <= at. A byte that cannot open
// a two-byte character (below 0x81, or 0xFF) always ends one: it is a character of its own or a
// trail byte. So only the run of lead bytes right before `at` matters: they pair up from its start.
inline bool isCharStartAt(const unsigned char* p, size_t from, size_t at) {
    if (at == from || !isLeadByte(p[at - 1])) return true;
    // Eight bytes at a time back to the nearest byte that is no lead byte: a cell of Chinese text
    // often stands right before a marker.
    constexpr uint64_t kHigh = 0x8080808080808080ull, kLow = 0x7F7F7F7F7F7F7F7Full;
    size_t k = at;
    for (; k >= from + 8; k -= 8) {
        uint64_t word;
        std::memcpy(&word, p + k - 8, sizeof word);
        // A lead byte has its high bit set and its low seven bits neither all clear nor all set;
        // adding 0x7F to seven bits sets the eighth exactly when they are not all clear.
        const uint64_t low = word & kLow;
        const uint64_t lead = word & (low + kLow) & ((low ^ kLow) + kLow) & kHigh;
        if (const uint64_t other = ~lead & kHigh) {
            k -= 8 - (63 - __builtin_clzll(other)) / 8 - 1;
            return ((at - k) & 1) == 0;
        }
    }
    while (k > from && isLeadByte(p[k - 1])) --k;
    return ((at - k) & 1) == 0;
}

// Finds one sought text in one text, at character starts only.
class CharScanner {
  public:
    CharScanner(std::string_view text, std::string_view sought, bool ignoreCase)
        : CharScanner(text, sought, ignoreCase, ScanFilter::of(sought, ignoreCase)) {}

    CharScanner(std::string_view text, std::string_view sought, bool ignoreCase,
                const ScanFilter& filter)
        : text_(text), sought_(sought), ignoreCase_(ignoreCase), f_(filter) {}

    // First match at a character start at or after `from`, which must itself start a character.
    // Returns npos when there is none.
    size_t find(size_t from) const;

    // The first character start at or after `target`, given a character start `from` <= target.
    size_t advanceTo(size_t from, size_t target) const {
        if (target >= text_.size()) return text_.size();
        return isCharStart(from, target) ? target : target + 1;
    }

    bool isCharStart(size_t from, size_t at) const {
        return isCharStartAt(reinterpret_cast<const unsigned char*>(text_.data()), from, at);
    }

  private:
    friend class BlockSearch;

    std::string_view text_;
    std::string_view sought_;
    bool ignoreCase_;
    ScanFilter f_;
};

}  // namespace novel
