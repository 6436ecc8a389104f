#include "web/text.h"

#include <algorithm>
#include <array>
#include <climits>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <tuple>
#include <type_traits>
#ifdef __SSE2__
#include <emmintrin.h>
#endif
#if defined(__x86_64__) && defined(__GNUC__)
#include <immintrin.h>
#define NOVEL_AVX2_SCAN 1
#endif
#include <functional>
#include <optional>

#include "web/regex_object.h"

namespace novel {
namespace {

inline unsigned char byteAt(std::string_view s, size_t i) {
    return static_cast<unsigned char>(s[i]);
}

inline unsigned char foldAscii(unsigned char c) {
    return (c >= 'A' && c <= 'Z') ? c + 32 : c;
}

// memcmp for the short texts markers are, without the call.
inline bool sameBytes(const char* a, const char* b, size_t m) {
    const auto equalWords = [&](auto word) {
        decltype(word) x, y, u, v;
        std::memcpy(&x, a, sizeof x);
        std::memcpy(&y, b, sizeof y);
        std::memcpy(&u, a + m - sizeof u, sizeof u);
        std::memcpy(&v, b + m - sizeof v, sizeof v);
        return x == y && u == v;
    };
    if (m >= 8 && m <= 16) return equalWords(uint64_t{});
    if (m >= 4 && m < 8) return equalWords(uint32_t{});
    return std::memcmp(a, b, m) == 0;
}

// Whether `sought` stands at `pos`, a character start. Ignoring case folds ASCII letters only: the
// second byte of a two-byte character may look like a letter, but "\xFFa" and "\xFFA" are two
// different characters.
bool equalAt(std::string_view text, size_t pos, std::string_view sought, bool ignoreCase) {
    // Pages mostly spell markers as written, so the exact comparison settles most candidates.
    if (sameBytes(text.data() + pos, sought.data(), sought.size())) return true;
    if (!ignoreCase) return false;
    for (size_t k = 0; k < sought.size(); ++k) {
        const unsigned char c = byteAt(sought, k);
        if (isLeadByte(c) && k + 1 < sought.size()) {
            if (byteAt(text, pos + k) != c || byteAt(text, pos + k + 1) != byteAt(sought, k + 1))
                return false;
            ++k;
        } else if (foldAscii(byteAt(text, pos + k)) != foldAscii(c)) {
            return false;
        }
    }
    return true;
}

// How many positions a scan tests at once.
enum class Blocks { k16, k32, k64 };

// What the processor offers. NOVEL_SCAN_BLOCKS=16 or 32 holds the scans narrower, so that the
// tests can run every width on one machine.
Blocks widestBlocks() {
#ifdef NOVEL_AVX2_SCAN
    __builtin_cpu_init();  // a marker made by a start-up constructor may search before main
    const char* cap = std::getenv("NOVEL_SCAN_BLOCKS");
    const int most = cap ? std::atoi(cap) : 64;
    if (most >= 64 && __builtin_cpu_supports("avx512bw")) return Blocks::k64;
    if (most >= 32 && __builtin_cpu_supports("avx2")) return Blocks::k32;
#endif
    return Blocks::k16;
}

// Whether `at` starts a character, given a character start `from` <= at. A byte below 0x80
// always ends a character (it is a character or a trail byte), so only the run of bytes of 0x80
// and above right before `at` matters: they pair up from the start of the run.
bool isCharStartAt(const unsigned char* p, size_t from, size_t at) {
    if (at == from || p[at - 1] < 0x80) return true;
    // Eight bytes at a time back to the nearest byte below 0x80: a cell of Chinese text often
    // stands right before a marker.
    size_t k = at;
    for (; k >= from + 8; k -= 8) {
        uint64_t word;
        std::memcpy(&word, p + k - 8, sizeof word);
        if (const uint64_t below = ~word & 0x8080808080808080ull) {
            k -= 8 - (63 - __builtin_clzll(below)) / 8 - 1;
            return ((at - k) & 1) == 0;
        }
    }
    while (k > from && p[k - 1] >= 0x80) --k;
    return ((at - k) & 1) == 0;
}

// Finds a sought text at character starts only. Candidates are positions where its first and its
// last byte fit (both letter cases when case is ignored); whether a candidate starts a character is
// told by looking back over the two-byte characters before it (see isCharStartAt), so a scan over a
// large text runs close to memchr speed.
class CharScanner {
  public:
    CharScanner(std::string_view text, std::string_view sought, bool ignoreCase)
        : CharScanner(text, sought, ignoreCase, ScanFilter::of(sought, ignoreCase)) {}

    CharScanner(std::string_view text, const Marker& marker)
        : CharScanner(text, marker.text(), marker.ignoreCase(), marker.filter()) {}

    CharScanner(std::string_view text, std::string_view sought, bool ignoreCase,
                const ScanFilter& filter)
        : text_(text), sought_(sought), ignoreCase_(ignoreCase), f_(filter) {}

    // First match at a character start at or after `from`, which must itself start a character.
    // Returns npos when there is none.
    __attribute__((always_inline)) size_t find(size_t from) const {
#ifdef NOVEL_AVX2_SCAN
        static const Blocks kWidest = widestBlocks();
        if (kWidest == Blocks::k64) return findAvx512(from);
        if (kWidest == Blocks::k32) return findAvx2(from);
#endif
        return findWith<Blocks::k16>(from);
    }

    // The first character start at or after `target`, given a character start `from` <= target.
    size_t advanceTo(size_t from, size_t target) const {
        if (target >= text_.size()) return text_.size();
        return isCharStart(from, target) ? target : target + 1;
    }

    bool isCharStart(size_t from, size_t at) const {
        return isCharStartAt(reinterpret_cast<const unsigned char*>(text_.data()), from, at);
    }

  private:
#ifdef NOVEL_AVX2_SCAN
    // The whole search compiled for the wider instructions, so that the block scan stays inline
    // and its registers live across the candidates a search rejects.
    __attribute__((target("avx2"), flatten)) size_t findAvx2(size_t from) const {
        return findWith<Blocks::k32>(from);
    }
    __attribute__((target("avx512bw"), flatten)) size_t findAvx512(size_t from) const {
        return findWith<Blocks::k64>(from);
    }
#endif

    template <Blocks kBlocks>
    size_t findWith(size_t from) const {
        const size_t n = text_.size();
        const size_t m = sought_.size();
        if (m == 0) return from <= n ? from : std::string_view::npos;
        while (from + m <= n) {
            size_t c = nextCandidate<kBlocks>(from);
            if (c == std::string_view::npos || c + m > n) return std::string_view::npos;
            if (!isCharStart(from, c)) {
                from = c + 1;  // c is a trail byte, so the next character starts right after it
                continue;
            }
            if (filterIsExact() || equalAt(text_, c, sought_, ignoreCase_)) return c;
            from = c + charLengthAt(text_, c);
        }
        return std::string_view::npos;
    }

    // Whether a candidate is a match already: the filter has compared every byte of a text of one
    // or two bytes, and only ASCII letters had two cases to fit (a two-byte character's second
    // byte must match exactly, so a text that starts with a lead byte needs the full comparison).
    bool filterIsExact() const {
        return sought_.size() == 1 ||
               (sought_.size() == 2 && (!ignoreCase_ || !isLeadByte(byteAt(sought_, 0))));
    }

    // The next position at or after `from` whose byte matches the sought text's first byte and
    // whose byte m - 1 further on matches its last one (and, with three bytes or more, whose byte
    // at secondAt matches too). Sixteen to 64 positions are tested at once; on page text this
    // leaves few candidates to compare in full.
    template <Blocks kBlocks>
    size_t nextCandidate(size_t from) const {
        const size_t n = text_.size();
        const size_t m = sought_.size();
        if (m > n) return std::string_view::npos;
        const size_t lastStart = n - m;
        const unsigned char* p = reinterpret_cast<const unsigned char*>(text_.data());
        size_t i = from;
        if (i > lastStart) return std::string_view::npos;
        if (f_.firstA == f_.firstB && m == 1) {
            const void* hit = std::memchr(p + i, f_.firstA, n - i);
            return hit ? static_cast<const unsigned char*>(hit) - p : std::string_view::npos;
        }
#ifdef NOVEL_AVX2_SCAN
        if constexpr (kBlocks == Blocks::k64) return candidateIn64ByteBlocks(p, i, lastStart, m);
        if constexpr (kBlocks == Blocks::k32) {
            if (candidateIn32ByteBlocks(p, &i, lastStart, m)) return i;
        }
#endif
#ifdef __SSE2__
        const __m128i firstA = _mm_set1_epi8(static_cast<char>(f_.firstA));
        const __m128i firstB = _mm_set1_epi8(static_cast<char>(f_.firstB));
        const __m128i lastA = _mm_set1_epi8(static_cast<char>(f_.lastA));
        const __m128i lastB = _mm_set1_epi8(static_cast<char>(f_.lastB));
        const bool useSecond = m >= 3;
        const __m128i secondA = _mm_set1_epi8(static_cast<char>(f_.secondA));
        const __m128i secondB = _mm_set1_epi8(static_cast<char>(f_.secondB));
        for (; i + 16 <= lastStart + 1; i += 16) {
            const __m128i head = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i));
            const __m128i tail = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i + m - 1));
            const __m128i first =
                _mm_or_si128(_mm_cmpeq_epi8(head, firstA), _mm_cmpeq_epi8(head, firstB));
            const __m128i last =
                _mm_or_si128(_mm_cmpeq_epi8(tail, lastA), _mm_cmpeq_epi8(tail, lastB));
            __m128i both = _mm_and_si128(first, last);
            if (useSecond) {
                const __m128i next =
                    _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i + f_.secondAt));
                both = _mm_and_si128(both, _mm_or_si128(_mm_cmpeq_epi8(next, secondA),
                                                        _mm_cmpeq_epi8(next, secondB)));
            }
            if (unsigned mask = static_cast<unsigned>(_mm_movemask_epi8(both)))
                return i + static_cast<size_t>(__builtin_ctz(mask));
        }
#endif
        for (; i <= lastStart; ++i) {
            if ((p[i] == f_.firstA || p[i] == f_.firstB) &&
                (p[i + m - 1] == f_.lastA || p[i + m - 1] == f_.lastB))
                return i;
        }
        return std::string_view::npos;
    }

#ifdef NOVEL_AVX2_SCAN
    // Calls scan(oneCase, useSecond) with the two as compile-time constants: case-sensitive
    // searches (most of them) test each byte against one form, and texts of three bytes or more
    // test a middle byte too.
    template <typename Scan>
    auto forFilter(size_t m, Scan&& scan) const {
        using Yes = std::true_type;
        using No = std::false_type;
        if (m >= 3) return f_.oneCase ? scan(Yes{}, Yes{}) : scan(No{}, Yes{});
        return f_.oneCase ? scan(Yes{}, No{}) : scan(No{}, No{});
    }

    // The same test as the 16-byte loop, 32 positions at a time, where the processor has AVX2.
    // True with *at on the first candidate in a whole block; false with *at where whole blocks
    // ran out.
    bool candidateIn32ByteBlocks(const unsigned char* p, size_t* at, size_t lastStart,
                                 size_t m) const {
        return forFilter(m, [&](auto oneCase, auto useSecond) {
            return scan32<decltype(oneCase)::value, decltype(useSecond)::value>(p, at, lastStart,
                                                                                m);
        });
    }

    template <bool kOneCase, bool kUseSecond>
    __attribute__((target("avx2"))) bool scan32(const unsigned char* p, size_t* at,
                                                size_t lastStart, size_t m) const {
        const __m256i firstA = _mm256_set1_epi8(static_cast<char>(f_.firstA));
        const __m256i firstB = _mm256_set1_epi8(static_cast<char>(f_.firstB));
        const __m256i secondA = _mm256_set1_epi8(static_cast<char>(f_.secondA));
        const __m256i secondB = _mm256_set1_epi8(static_cast<char>(f_.secondB));
        const __m256i lastA = _mm256_set1_epi8(static_cast<char>(f_.lastA));
        const __m256i lastB = _mm256_set1_epi8(static_cast<char>(f_.lastB));
        size_t i = *at;
        for (; i + 32 <= lastStart + 1; i += 32) {
            const __m256i head = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p + i));
            const __m256i tail =
                _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p + i + m - 1));
            __m256i first = _mm256_cmpeq_epi8(head, firstA);
            __m256i last = _mm256_cmpeq_epi8(tail, lastA);
            if constexpr (!kOneCase) {
                first = _mm256_or_si256(first, _mm256_cmpeq_epi8(head, firstB));
                last = _mm256_or_si256(last, _mm256_cmpeq_epi8(tail, lastB));
            }
            __m256i both = _mm256_and_si256(first, last);
            if constexpr (kUseSecond) {
                const __m256i next =
                    _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p + i + f_.secondAt));
                __m256i second = _mm256_cmpeq_epi8(next, secondA);
                if constexpr (!kOneCase)
                    second = _mm256_or_si256(second, _mm256_cmpeq_epi8(next, secondB));
                both = _mm256_and_si256(both, second);
            }
            if (unsigned mask = static_cast<unsigned>(_mm256_movemask_epi8(both))) {
                *at = i + static_cast<size_t>(__builtin_ctz(mask));
                return true;
            }
        }
        *at = i;
        return false;
    }

    // The same test 64 positions at a time where the processor has AVX-512; the last, partial
    // block is read through a mask, so this alone covers the whole range.
    size_t candidateIn64ByteBlocks(const unsigned char* p, size_t from, size_t lastStart,
                                   size_t m) const {
        return forFilter(m, [&](auto oneCase, auto useSecond) {
            return scan64<decltype(oneCase)::value, decltype(useSecond)::value>(p, from, lastStart,
                                                                                m);
        });
    }

    // The candidates among the 64 positions from `at` that `lanes` selects.
    template <bool kOneCase, bool kUseSecond>
    __attribute__((target("avx512bw"))) __mmask64 candidatesIn64(const unsigned char* at,
                                                                 __mmask64 lanes, size_t m) const {
        const __m512i head = _mm512_maskz_loadu_epi8(lanes, at);
        const __m512i tail = _mm512_maskz_loadu_epi8(lanes, at + m - 1);
        __mmask64 both = _mm512_mask_cmpeq_epi8_mask(lanes, head, broadcast64(f_.firstA));
        if constexpr (!kOneCase)
            both |= _mm512_mask_cmpeq_epi8_mask(lanes, head, broadcast64(f_.firstB));
        __mmask64 last = _mm512_cmpeq_epi8_mask(tail, broadcast64(f_.lastA));
        if constexpr (!kOneCase) last |= _mm512_cmpeq_epi8_mask(tail, broadcast64(f_.lastB));
        both &= last;
        if constexpr (kUseSecond) {
            const __m512i next = _mm512_maskz_loadu_epi8(lanes, at + f_.secondAt);
            __mmask64 second = _mm512_cmpeq_epi8_mask(next, broadcast64(f_.secondA));
            if constexpr (!kOneCase)
                second |= _mm512_cmpeq_epi8_mask(next, broadcast64(f_.secondB));
            both &= second;
        }
        return both;
    }

    __attribute__((target("avx512bw"))) static __m512i broadcast64(unsigned char c) {
        return _mm512_set1_epi8(static_cast<char>(c));
    }

    template <bool kOneCase, bool kUseSecond>
    __attribute__((target("avx512bw"))) size_t scan64(const unsigned char* p, size_t i,
                                                      size_t lastStart, size_t m) const {
        for (; i + 64 <= lastStart + 1; i += 64) {
            if (const __mmask64 hits =
                    candidatesIn64<kOneCase, kUseSecond>(p + i, ~__mmask64{0}, m))
                return i + static_cast<size_t>(__builtin_ctzll(hits));
        }
        if (i > lastStart) return std::string_view::npos;
        const __mmask64 rest = (__mmask64{1} << (lastStart + 1 - i)) - 1;
        if (const __mmask64 hits = candidatesIn64<kOneCase, kUseSecond>(p + i, rest, m))
            return i + static_cast<size_t>(__builtin_ctzll(hits));
        return std::string_view::npos;
    }
#endif

    std::string_view text_;
    std::string_view sought_;
    bool ignoreCase_;
    ScanFilter f_;
};

bool isBlankAt(std::string_view text, size_t i) {
    unsigned char c = byteAt(text, i);
    return c == ' ' || (c == 0xA1 && i + 1 < text.size() && byteAt(text, i + 1) == 0xA1);
}

}  // namespace

int findText(std::string_view text, std::string_view sought, int start, bool ignoreCase) {
    if (sought.empty()) return text.empty() ? -1 : 1;
    if (start < 1) start = 1;
    if (static_cast<size_t>(start) > text.size()) return -1;
    CharScanner scanner(text, sought, ignoreCase);
    size_t from = scanner.advanceTo(0, static_cast<size_t>(start) - 1);
    size_t hit = scanner.find(from);
    return hit == std::string_view::npos ? -1 : static_cast<int>(hit) + 1;
}

int findTextBackwards(std::string_view text, std::string_view sought, int start, bool ignoreCase) {
    if (sought.empty()) return text.empty() ? -1 : 1;
    // An occurrence counts when it ends before `start` (1-based; default just after the end).
    const size_t limit = start < 0 ? text.size() + 1 : static_cast<size_t>(start);
    CharScanner scanner(text, sought, ignoreCase);
    int last = -1;
    for (size_t hit = scanner.find(0); hit != std::string_view::npos;
         hit = scanner.find(hit + charLengthAt(text, hit))) {
        if (hit + 1 + sought.size() > limit) break;
        last = static_cast<int>(hit) + 1;
    }
    return last;
}

namespace {

// The one replacement pass behind both forms of replaceText. `text` is read left to right;
// `emit(from, length)` copies unchanged text and `put()` writes one replacement, in order.
template <typename Emit, typename Put>
void replacePass(std::string_view text, std::string_view find, int start, int count,
                 bool caseSensitive, Emit&& emit, Put&& put) {
    CharScanner scanner(text, find, !caseSensitive);
    size_t copied = 0;  // text before this offset has been emitted
    size_t pos = scanner.advanceTo(0, static_cast<size_t>(start) - 1);
    for (int done = 0; count < 0 || done < count; ++done) {
        size_t hit = scanner.find(pos);
        if (hit == std::string_view::npos) break;
        pos = scanner.advanceTo(hit, hit + find.size());
        emit(copied, hit - copied);
        put();
        copied = hit + find.size();
    }
    emit(copied, text.size() - copied);
}

bool nothingToReplace(std::string_view text, std::string_view find, int& start, int count) {
    if (start < 1) start = 1;
    return find.empty() || count == 0 || static_cast<size_t>(start) > text.size();
}

}  // namespace

Text replaceText(std::string_view text, std::string_view find, std::string_view replacement,
                 int start, int count, bool caseSensitive) {
    if (nothingToReplace(text, find, start, count)) return Text(text);
    Text out;
    out.reserve(text.size());
    replacePass(
        text, find, start, count, caseSensitive,
        [&](size_t from, size_t length) { out.append(text.substr(from, length)); },
        [&] { out.append(replacement); });
    return out;
}

void replaceTextInPlace(Text* text, std::string_view find, std::string_view replacement, int start,
                        int count, bool caseSensitive) {
    if (nothingToReplace(*text, find, start, count)) return;
    if (replacement.size() > find.size()) {
        *text = replaceText(*text, find, replacement, start, count, caseSensitive);
        return;
    }
    // The text only shrinks, so the written part never overtakes the part still to be read.
    char* data = text->data();
    size_t written = 0;
    replacePass(
        *text, find, start, count, caseSensitive,
        [&](size_t from, size_t length) {
            if (written != from) std::memmove(data + written, data + from, length);
            written += length;
        },
        [&] {
            replacement.copy(data + written, replacement.size());
            written += replacement.size();
        });
    text->resize(written);
}

TextList splitText(std::string_view text, std::string_view separator, int maxPieces) {
    TextList pieces;
    if (text.empty()) return pieces;
    if (separator.empty()) {
        pieces.emplace_back(text);
        return pieces;
    }
    CharScanner scanner(text, separator, false);
    size_t begin = 0;
    while (begin < text.size() &&
           (maxPieces <= 0 || pieces.size() < static_cast<size_t>(maxPieces))) {
        size_t hit = scanner.find(begin);
        if (hit == std::string_view::npos) {
            pieces.emplace_back(text.substr(begin));
            break;
        }
        pieces.emplace_back(text.substr(begin, hit - begin));
        begin = scanner.advanceTo(hit, hit + separator.size());
    }
    return pieces;
}

Text trimBlanks(std::string_view text) {
    size_t begin = 0;
    while (begin < text.size() && isBlankAt(text, begin))
        begin += byteAt(text, begin) == ' ' ? 1 : 2;
    size_t end = begin;  // end of the last character that is not a blank
    for (size_t i = begin; i < text.size();) {
        size_t len = charLengthAt(text, i);
        if (!isBlankAt(text, i)) end = i + len;
        i += len;
    }
    return Text(text.substr(begin, end - begin));
}

Text removeBlanks(std::string_view text) {
    Text out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size();) {
        size_t len = charLengthAt(text, i);
        if (!isBlankAt(text, i)) out.append(text.substr(i, len));
        i += len;
    }
    return out;
}

Text leftBytes(std::string_view text, int n) {
    if (n <= 0) return {};
    return Text(text.substr(0, static_cast<size_t>(n)));
}

Text rightBytes(std::string_view text, int n) {
    if (n <= 0) return {};
    size_t k = std::min(text.size(), static_cast<size_t>(n));
    return Text(text.substr(text.size() - k));
}

Text midBytes(std::string_view text, int start, int n) {
    if (n <= 0 || start < 1 || static_cast<size_t>(start) > text.size()) return {};
    return Text(text.substr(static_cast<size_t>(start) - 1, static_cast<size_t>(n)));
}

Text lowerAscii(std::string_view text) {
    Text out(text);
    for (char& c : out) c = static_cast<char>(foldAscii(static_cast<unsigned char>(c)));
    return out;
}

int compareText(std::string_view a, std::string_view b) {
    int r = a.compare(b);
    return r < 0 ? -1 : (r > 0 ? 1 : 0);
}

int textToInteger(std::string_view text) {
    size_t i = 0;
    while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '-' || text[i] == '+')) negative = text[i++] == '-';
    long long value = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        value = value * 10 + (text[i] - '0');
        if (value > INT_MAX) {
            value = static_cast<long long>(INT_MAX) + (negative ? 1 : 0);
            break;
        }
    }
    return static_cast<int>(negative ? -value : value);
}

Text resolveQuotePlaceholder(std::string_view marker) {
    return replaceText(marker, kQuotePlaceholder, "\"", 1, -1, true);
}

namespace {

// The marker as a view, resolved into `buffer` only when it holds the quote placeholder (parsers
// cut thousands of fields a page; most markers need no copy).
std::string_view resolvedMarker(std::string_view marker, Text* buffer) {
    if (marker.size() < kQuotePlaceholder.size() ||
        marker.find(kQuotePlaceholder) == std::string_view::npos)
        return marker;
    *buffer = resolveQuotePlaceholder(marker);
    return *buffer;
}

// The piece between the first `left` at or after the character start `from` and the next `right`.
std::string_view cutBetween(std::string_view text, const CharScanner& left, size_t leftSize,
                            const CharScanner& right, size_t from) {
    const size_t p = left.find(from);
    if (p == std::string_view::npos) return {};
    const size_t begin = left.advanceTo(p, p + leftSize);
    const size_t q = right.find(begin);
    if (q == std::string_view::npos) return {};
    return text.substr(begin, q - begin);
}

}  // namespace

std::string_view viewBetween(std::string_view text, std::string_view left, std::string_view right,
                             int start, bool ignoreCase) {
    Text leftBuffer, rightBuffer;
    const std::string_view l = resolvedMarker(left, &leftBuffer);
    const std::string_view r = resolvedMarker(right, &rightBuffer);
    if (text.empty()) return {};
    const CharScanner leftScanner(text, l, ignoreCase);
    const size_t from = leftScanner.advanceTo(0, static_cast<size_t>(std::max(start, 1)) - 1);
    return cutBetween(text, leftScanner, l.size(), CharScanner(text, r, ignoreCase), from);
}

std::string_view viewBetween(std::string_view text, const Marker& left, const Marker& right) {
    if (text.empty()) return {};
    return cutBetween(text, CharScanner(text, left), left.text().size(), CharScanner(text, right),
                      0);
}

namespace {

// How often a byte turns up in a page, roughly: tag syntax and Chinese text everywhere, lower-case
// letters in every tag and address (the common ones of English more), digits and line ends less,
// everything else seldom.
constexpr auto kMarkupCommonness = [] {
    std::array<unsigned char, 256> table{};
    constexpr std::string_view kLettersRareFirst = "zqxjkvbpygfwmucldrhsnioate";
    for (size_t k = 0; k < kLettersRareFirst.size(); ++k)
        table[static_cast<unsigned char>(kLettersRareFirst[k])] =
            static_cast<unsigned char>(50 + k);
    for (char c : std::string_view("0123456789\r\n.:")) table[static_cast<unsigned char>(c)] = 40;
    for (char c : std::string_view("<>\"/= ")) table[static_cast<unsigned char>(c)] = 100;
    for (int c = 0x80; c < 0x100; ++c) table[c] = 100;
    return table;
}();

}  // namespace

std::string_view viewBetween(std::string_view text, char left, char right) {
    size_t i = 0;
    while (i < text.size() && text[i] != left) i += charLengthAt(text, i);
    const size_t begin = ++i;
    while (i < text.size() && text[i] != right) i += charLengthAt(text, i);
    return i < text.size() ? text.substr(begin, i - begin) : std::string_view();
}

ScanFilter ScanFilter::of(std::string_view sought, bool ignoreCase) {
    // Both letter cases of a byte when case is ignored, else the byte twice.
    const auto variants = [ignoreCase](unsigned char c) {
        if (ignoreCase && ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z')))
            return std::pair(foldAscii(c), static_cast<unsigned char>(foldAscii(c) - 32));
        return std::pair(c, c);
    };
    ScanFilter f{};
    if (sought.empty()) return f;
    std::tie(f.firstA, f.firstB) = variants(byteAt(sought, 0));
    std::tie(f.lastA, f.lastB) = variants(byteAt(sought, sought.size() - 1));
    if (sought.size() >= 3) {
        // The middle byte tested is the one least common in page markup, so that a marker such
        // as "</tr>" is not stopped at every "</td>".
        f.secondAt = 1;
        for (size_t k = 2; k + 1 < sought.size() && k < 256; ++k)
            if (kMarkupCommonness[byteAt(sought, k)] <
                kMarkupCommonness[byteAt(sought, f.secondAt)])
                f.secondAt = static_cast<unsigned char>(k);
        std::tie(f.secondA, f.secondB) = variants(byteAt(sought, f.secondAt));
    }
    f.oneCase = f.firstA == f.firstB && f.secondA == f.secondB && f.lastA == f.lastB;
    return f;
}

Marker::Marker(std::string_view gbk, bool ignoreCase)
    : text_(resolveQuotePlaceholder(gbk)),
      ignoreCase_(ignoreCase),
      filter_(ScanFilter::of(text_, ignoreCase)) {}

Text textBetween(std::string_view text, std::string_view left, std::string_view right, int start,
                 bool ignoreCase) {
    return Text(viewBetween(text, left, right, start, ignoreCase));
}

Text escapeForPattern(std::string_view marker) {
    static constexpr std::pair<std::string_view, std::string_view> kSteps[] = {
        {"?", "\\?"},    {"*", "\\*"}, {"+", "\\+"}, {"[", "\\["}, {"]", "\\]"},
        {"(", "\\("},    {")", "\\)"}, {"{", "\\{"}, {"}", "\\}"}, {kQuotePlaceholder, "\""},
        {"\r\n", "\\n"},
    };
    Text out(marker);
    for (const auto& [find, replacement] : kSteps)
        out = replaceText(out, find, replacement, 1, -1, true);
    return out;
}

namespace {

// The text a marker stands for when its pattern fragment has no regular-expression meaning left
// (no ".", "^", "$", "|" or "\\" at a character start): the marker itself, its CR LF as the LF
// the pattern would match. Empty when the marker needs the pattern engine.
std::optional<Text> literalMarker(std::string_view marker) {
    Text literal = replaceText(resolveQuotePlaceholder(marker), "\r\n", "\n", 1, -1, true);
    if (literal.empty()) return std::nullopt;
    size_t last = 0;
    for (size_t i = 0; i < literal.size(); i += charLengthAt(literal, i)) {
        if (std::string_view(".^$|\\").find(literal[i]) != std::string_view::npos)
            return std::nullopt;
        last = i;
    }
    // A marker ending in half a character is a character of its own to the engine, which matches
    // no whole character there; leave such markers to it.
    if (last + 1 == literal.size() && isLeadByte(static_cast<unsigned char>(literal[last])))
        return std::nullopt;
    return literal;
}

}  // namespace

void forEachBetween(std::string_view subject, std::string_view left, std::string_view right,
                    const std::function<void(std::string_view piece)>& visit) {
    const std::optional<Text> l = literalMarker(left);
    const std::optional<Text> r = literalMarker(right);
    if (l && r) {
        // Plain markers: a direct scan finds the same pieces as the lazy pattern, without
        // converting the page.
        CharScanner leftScanner(subject, *l, true);
        CharScanner rightScanner(subject, *r, true);
        size_t pos = 0;
        for (;;) {
            size_t p = leftScanner.find(pos);
            if (p == std::string_view::npos) break;
            size_t begin = leftScanner.advanceTo(p, p + l->size());
            size_t q = rightScanner.find(begin);
            if (q == std::string_view::npos) break;
            visit(subject.substr(begin, q - begin));
            pos = rightScanner.advanceTo(q, q + r->size());
        }
        return;
    }
    const Text pattern =
        concatTexts(escapeForPattern(left), "([\\s\\S]*?)", escapeForPattern(right));
    RegexObject regex;
    if (!regex.create(pattern, subject)) return;
    const int matches = regex.matchCount();
    for (int i = 1; i <= matches; ++i) {
        int position = 0;
        Text piece = regex.subMatchText(i, 1, &position);
        // A marker with "|" in it can match without the group taking part: an empty piece.
        visit(position < 0 ? std::string_view()
                           : subject.substr(static_cast<size_t>(position), piece.size()));
    }
}

int allBetween(std::string_view subject, std::string_view left, std::string_view right,
               TextList* items, int maxLength, std::string_view prefix, std::string_view suffix,
               bool withLeft, bool withRight) {
    TextList local;
    TextList& out = items ? *items : local;
    out.clear();

    const Text leftMarker = withLeft ? resolveQuotePlaceholder(left) : Text();
    const Text rightMarker = withRight ? resolveQuotePlaceholder(right) : Text();
    forEachBetween(subject, left, right, [&](std::string_view piece) {
        if (maxLength != 0 && piece.size() > static_cast<size_t>(maxLength)) return;
        out.push_back(concatTexts(leftMarker, prefix, piece, suffix, rightMarker));
    });
    return static_cast<int>(out.size());
}

}  // namespace novel
