#include "web/regex_object.h"

#define PCRE2_CODE_UNIT_WIDTH 8
#include <pcre2.h>

#include <cstdint>
#include <cstring>
#include <limits>
#include <unordered_map>
#include <vector>

namespace novel {
namespace {

// PCRE2 sees GBK text as UTF-8 in which ASCII stays itself and each two-byte character becomes one
// code point of a private-use plane (four UTF-8 bytes). Such code points have no letter case, so
// ignoring case folds ASCII letters only, a trail byte can never start a match, and any byte soup
// survives the trip.
constexpr char32_t kMappedBase = 0xF0000;
// A non-ASCII byte that is a character of its own (0x80, 0xFF, or a lead byte alone at the very
// end): a private-use code point of the first plane (three UTF-8 bytes), never equal to a pair.
// Every non-ASCII character thus takes two bytes more mapped than it does in GBK.
constexpr char32_t kSingleBase = 0xE000;

// The mapped form of a GBK text, in a buffer that is written once and never zero-filled first.
class MappedText {
  public:
    explicit MappedText(std::string_view gbk)
        // a character of one byte takes at most 3 bytes, one of two bytes 4
        : data_(std::make_unique_for_overwrite<unsigned char[]>(3 * gbk.size() + 4)) {
        const size_t n = gbk.size();
        const auto* in = reinterpret_cast<const unsigned char*>(gbk.data());
        unsigned char* dst = data_.get();
        size_t i = 0;
        while (i < n) {
            if (i + 8 <= n) {  // copy runs of ASCII a word at a time
                uint64_t word;
                std::memcpy(&word, in + i, 8);
                if ((word & 0x8080808080808080ULL) == 0) {
                    std::memcpy(dst, &word, 8);
                    dst += 8;
                    i += 8;
                    continue;
                }
            }
            const unsigned char b = in[i];
            if (b < 0x80) {
                *dst++ = b;
                ++i;
            } else if (isLeadByte(b) && i + 1 < n) {
                const char32_t cp = kMappedBase | (char32_t{b} << 8) | in[i + 1];
                dst[0] = static_cast<unsigned char>(0xF0 | (cp >> 18));
                dst[1] = static_cast<unsigned char>(0x80 | ((cp >> 12) & 0x3F));
                dst[2] = static_cast<unsigned char>(0x80 | ((cp >> 6) & 0x3F));
                dst[3] = static_cast<unsigned char>(0x80 | (cp & 0x3F));
                dst += 4;
                i += 2;
            } else {
                const char32_t cp = kSingleBase | b;
                dst[0] = static_cast<unsigned char>(0xE0 | (cp >> 12));
                dst[1] = static_cast<unsigned char>(0x80 | ((cp >> 6) & 0x3F));
                dst[2] = static_cast<unsigned char>(0x80 | (cp & 0x3F));
                dst += 3;
                ++i;
            }
        }
        size_ = static_cast<size_t>(dst - data_.get());
    }

    const unsigned char* data() const { return data_.get(); }
    size_t size() const { return size_; }

  private:
    std::unique_ptr<unsigned char[]> data_;
    size_t size_ = 0;
};

// Turns offsets in the mapped text back into byte offsets of the GBK text: every non-ASCII mapped
// character is two bytes longer than the GBK character it stands for. Moving costs the distance
// moved, so offsets visited in roughly ascending order cost one pass over the text.
class OffsetMapper {
  public:
    OffsetMapper(const MappedText& text, size_t gbkSize)
        : text_(text.data()), size_(text.size()), gbkSize_(gbkSize) {}

    size_t toGbk(size_t offset) {
        if (offset >= size_) return gbkSize_;
        if (offset >= mappedPos_) {
            gbkPos_ += offset - mappedPos_ - 2 * wideCount(mappedPos_, offset);
        } else {
            gbkPos_ -= mappedPos_ - offset - 2 * wideCount(offset, mappedPos_);
        }
        mappedPos_ = offset;
        return gbkPos_;
    }

  private:
    // Offsets lie on character boundaries, so counting the bytes that open a UTF-8 sequence (the
    // two top bits set) counts the non-ASCII characters.
    size_t wideCount(size_t from, size_t to) const {
        size_t count = 0;
        size_t i = from;
        for (; i + 8 <= to; i += 8) {
            uint64_t word;
            std::memcpy(&word, text_ + i, 8);
            // One bit per byte, summed by the multiplication into the top byte.
            const uint64_t opens = word & (word << 1) & 0x8080808080808080ULL;
            count += ((opens >> 7) * kOnes) >> 56;
        }
        for (; i < to; ++i) count += text_[i] >= 0xC0;
        return count;
    }

    static constexpr uint64_t kOnes = 0x0101010101010101ULL;

    const unsigned char* text_;
    size_t size_;
    size_t gbkSize_;
    size_t mappedPos_ = 0;
    size_t gbkPos_ = 0;
};

size_t charLengthUtf8(unsigned char lead) {
    if (lead < 0x80) return 1;
    if (lead >= 0xF0) return 4;
    if (lead >= 0xE0) return 3;
    return 2;
}

template <typename T, void (*Free)(T*)>
struct Deleter {
    void operator()(T* p) const { Free(p); }
};
template <typename T, void (*Free)(T*)>
using Owned = std::unique_ptr<T, Deleter<T, Free>>;

using Code = Owned<pcre2_code, pcre2_code_free>;
using CompileContext = Owned<pcre2_compile_context, pcre2_compile_context_free>;
using MatchContext = Owned<pcre2_match_context, pcre2_match_context_free>;
using MatchData = Owned<pcre2_match_data, pcre2_match_data_free>;
using JitStack = Owned<pcre2_jit_stack, pcre2_jit_stack_free>;

// Parsers run the same few patterns over page after page, so compiled patterns are kept per
// thread (a compiled pattern and a JIT stack must not be shared by threads matching at once).
// The JIT stack is reserved once per thread instead of once per call.
struct PatternCache {
    static constexpr size_t kLimit = 64;
    std::unordered_map<std::string, std::shared_ptr<pcre2_code>> compiled;
    JitStack jitStack{pcre2_jit_stack_create(32 * 1024, 8 * 1024 * 1024, nullptr)};
};

PatternCache& patternCache() {
    static thread_local PatternCache cache;
    return cache;
}

std::shared_ptr<pcre2_code> compilePattern(const Text& pattern, uint32_t options) {
    std::string key(reinterpret_cast<const char*>(&options), sizeof options);
    key += pattern;
    PatternCache& cache = patternCache();
    if (auto hit = cache.compiled.find(key); hit != cache.compiled.end()) return hit->second;

    CompileContext compileContext(pcre2_compile_context_create(nullptr));
    if (!compileContext) return nullptr;
    pcre2_set_newline(compileContext.get(), PCRE2_NEWLINE_LF);
    const MappedText mappedPattern(pattern);
    int errorCode = 0;
    PCRE2_SIZE errorOffset = 0;
    std::shared_ptr<pcre2_code> code(
        pcre2_compile(mappedPattern.data(), mappedPattern.size(), options, &errorCode, &errorOffset,
                      compileContext.get()),
        pcre2_code_free);
    if (!code) return nullptr;
    pcre2_jit_compile(code.get(), PCRE2_JIT_COMPLETE);  // without JIT the interpreter runs
    if (cache.compiled.size() >= PatternCache::kLimit) cache.compiled.clear();
    cache.compiled.emplace(std::move(key), code);
    return code;
}

}  // namespace

struct RegexObject::State {
    static constexpr uint32_t kUnset = std::numeric_limits<uint32_t>::max();

    Text pattern;
    bool compiled = false;
    int groups = 0;
    // For each match, start and end of the whole match and then of each group, as GBK byte
    // offsets; kUnset for a group that took no part.
    std::vector<uint32_t> offsets;

    size_t stride() const { return 2 * (static_cast<size_t>(groups) + 1); }
    int matchCount() const { return static_cast<int>(offsets.size() / stride()); }

    // The span of group j (0 = whole match) of match i (0-based); false when it does not exist.
    bool span(int i, int j, size_t* begin, size_t* end) const {
        if (i < 0 || i >= matchCount() || j < 0 || j > groups) return false;
        const size_t at = static_cast<size_t>(i) * stride() + 2 * static_cast<size_t>(j);
        if (offsets[at] == kUnset) return false;
        *begin = offsets[at];
        *end = offsets[at + 1];
        return true;
    }
};

RegexObject::RegexObject() = default;
RegexObject::~RegexObject() = default;
RegexObject::RegexObject(const RegexObject& other) = default;
RegexObject& RegexObject::operator=(const RegexObject& other) = default;
RegexObject::RegexObject(RegexObject&& other) noexcept = default;
RegexObject& RegexObject::operator=(RegexObject&& other) noexcept = default;

bool RegexObject::create(std::string_view pattern, std::string_view subject, bool caseSensitive,
                         bool multiline, bool global, bool quotePlaceholder) {
    auto state = std::make_shared<State>();
    state->pattern = quotePlaceholder ? resolveQuotePlaceholder(pattern) : Text(pattern);
    state_ = state;
    subject_.assign(subject);
    // Offsets are kept in 32 bits; a larger subject is refused rather than mis-positioned.
    if (subject.size() >= State::kUnset) return false;

    // ECMAScript habits: \uhhhh and \xhh escapes, "[^]" as any character, a reference to a group
    // that took no part matches empty, "$" only at the very end unless multi-line, and in
    // multi-line mode "^" also after a line break that ends the text.
    uint32_t options = PCRE2_UTF | PCRE2_NO_UTF_CHECK | PCRE2_ALT_BSUX | PCRE2_ALLOW_EMPTY_CLASS |
                       PCRE2_MATCH_UNSET_BACKREF | PCRE2_DOLLAR_ENDONLY | PCRE2_ALT_CIRCUMFLEX;
    if (multiline) options |= PCRE2_MULTILINE;
    if (!caseSensitive) options |= PCRE2_CASELESS;

    const std::shared_ptr<pcre2_code> code = compilePattern(state->pattern, options);
    if (!code) return false;

    uint32_t captures = 0;
    pcre2_pattern_info(code.get(), PCRE2_INFO_CAPTURECOUNT, &captures);
    state->groups = static_cast<int>(captures);
    state->compiled = true;

    MatchData matchData(pcre2_match_data_create_from_pattern(code.get(), nullptr));
    MatchContext matchContext(pcre2_match_context_create(nullptr));
    if (!matchData || !matchContext) return false;
    if (JitStack& jitStack = patternCache().jitStack)
        pcre2_jit_stack_assign(matchContext.get(), nullptr, jitStack.get());

    const MappedText text(subject);
    OffsetMapper mapper(text, subject.size());
    const size_t stride = state->stride();
    const PCRE2_SIZE* ovector = pcre2_get_ovector_pointer(matchData.get());

    size_t start = 0;
    while (start <= text.size()) {
        const int rc = pcre2_match(code.get(), text.data(), text.size(), start, PCRE2_NO_UTF_CHECK,
                                   matchData.get(), matchContext.get());
        if (rc == PCRE2_ERROR_NOMATCH) break;
        if (rc < 0) {  // a resource limit hit mid-way: no half answer
            state->offsets.clear();
            return false;
        }
        // Visiting the whole match's start, the groups, then its end keeps the mapper moving
        // forward for ordinary patterns.
        const size_t at = state->offsets.size();
        state->offsets.resize(at + stride);
        uint32_t* out = state->offsets.data() + at;
        out[0] = static_cast<uint32_t>(mapper.toGbk(ovector[0]));
        for (size_t k = 2; k < stride; ++k) {
            out[k] = ovector[k] == PCRE2_UNSET ? State::kUnset
                                               : static_cast<uint32_t>(mapper.toGbk(ovector[k]));
        }
        out[1] = static_cast<uint32_t>(mapper.toGbk(ovector[1]));

        if (!global) break;
        // Like ECMAScript: after an empty match the next search starts one character later.
        if (ovector[1] > ovector[0]) {
            start = ovector[1];
        } else if (ovector[1] < text.size()) {
            start = ovector[1] + charLengthUtf8(text.data()[ovector[1]]);
        } else {
            break;
        }
    }
    return true;
}

int RegexObject::matchCount() const {
    return state_ ? state_->matchCount() : 0;
}

Text RegexObject::matchText(int i, int* position) const {
    return subMatchText(i, 0, position);
}

Text RegexObject::subMatchText(int i, int j, int* position) const {
    size_t begin = 0;
    size_t end = 0;
    if (!state_ || !state_->span(i - 1, j, &begin, &end)) {
        if (position) *position = -1;
        return {};
    }
    if (position) *position = static_cast<int>(begin);
    return subject_.substr(begin, end - begin);
}

int RegexObject::subMatchCount() const {
    return matchCount() > 0 ? state_->groups : 0;
}

Text RegexObject::pattern() const {
    return state_ ? state_->pattern : Text();
}

Text RegexObject::replace(std::string_view replacement) const {
    if (!state_ || !state_->compiled) return {};
    const State& s = *state_;
    Text out;
    out.reserve(subject_.size());
    size_t copied = 0;
    for (int i = 0; i < s.matchCount(); ++i) {
        size_t begin = 0;
        size_t end = 0;
        s.span(i, 0, &begin, &end);
        out.append(subject_, copied, begin - copied);
        copied = end;
        size_t k = 0;
        while (k < replacement.size()) {
            if (replacement[k] == '$' && k + 1 < replacement.size()) {
                const char next = replacement[k + 1];
                if (next == '&' || next == '$') {
                    if (next == '&')
                        out.append(subject_, begin, end - begin);
                    else
                        out += '$';
                    k += 2;
                    continue;
                }
                // A reference to a group the pattern lacks stays as written.
                if (next >= '1' && next <= '9' && next - '0' <= s.groups) {
                    size_t groupBegin = 0;
                    size_t groupEnd = 0;
                    if (s.span(i, next - '0', &groupBegin, &groupEnd)) {
                        out.append(subject_, groupBegin, groupEnd - groupBegin);
                    }
                    k += 2;
                    continue;
                }
            }
            const size_t len = charLengthAt(replacement, k);
            out.append(replacement, k, len);
            k += len;
        }
    }
    out.append(subject_, copied);
    return out;
}

}  // namespace novel
