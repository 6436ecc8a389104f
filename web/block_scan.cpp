#include "web/block_scan.h"

#include <array>
#include <atomic>
#include <tuple>
#include <type_traits>
#include <utility>
#ifdef __SSE2__
#include <emmintrin.h>
#endif
#if defined(__x86_64__) && defined(__GNUC__)
#include <immintrin.h>
#define NOVEL_AVX2_SCAN 1
#endif

#include "web/block_scan_testing.h"

#include "web/gbk.h"

namespace novel {
namespace {

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
// second byte of a two-byte character may look like a letter, but "\xB0a" and "\xB0A" are two
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

// The widest blocks the processor can test at once, in bytes.
int widestOffered() {
    static const int widest = [] {
#ifdef NOVEL_AVX2_SCAN
        __builtin_cpu_init();  // a marker made by a start-up constructor may search before main
        if (__builtin_cpu_supports("avx512bw")) return 64;
        if (__builtin_cpu_supports("avx2")) return 32;
#endif
        return 16;
    }();
    return widest;
}

// The width searches use; 0 until the first search looks at the processor. Constant-initialised,
// so a search from a start-up constructor finds it ready.
std::atomic<int> widthInUse{0};

int blockWidth() {
    int width = widthInUse.load(std::memory_order_relaxed);
    if (width == 0) {
        width = widestOffered();
        widthInUse.store(width, std::memory_order_relaxed);
    }
    return width;
}

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

// One search of a CharScanner, with the block scan for each width compiled apart.
class BlockSearch {
  public:
    // How many positions a scan tests at once.
    enum class Blocks { k16, k32, k64 };

    explicit BlockSearch(const CharScanner& scanner)
        : text_(scanner.text_),
          sought_(scanner.sought_),
          ignoreCase_(scanner.ignoreCase_),
          f_(scanner.f_) {}

    size_t find(size_t from, int width) const {
#ifdef NOVEL_AVX2_SCAN
        if (width == 64) return findAvx512(from);
        if (width == 32) return findAvx2(from);
#endif
        return findWith<Blocks::k16>(from);
    }

  private:
    bool isCharStart(size_t from, size_t at) const {
        return isCharStartAt(reinterpret_cast<const unsigned char*>(text_.data()), from, at);
    }

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

size_t CharScanner::find(size_t from) const {
    return BlockSearch(*this).find(from, blockWidth());
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

int setBlockScanWidthForTesting(int bytes) {
    const int offered = widestOffered();
    int width = bytes >= 64 ? 64 : bytes >= 32 ? 32 : 16;
    if (bytes <= 0 || width > offered) width = offered;
    widthInUse.store(width, std::memory_order_relaxed);
    return width;
}

}  // namespace novel
