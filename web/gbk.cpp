#include "web/gbk.h"

#include <iconv.h>

#include <array>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <vector>

namespace novel {
namespace {

// Runs iconv over the whole input; each sequence it refuses is skipped (`badLength` bytes, or one
// character's worth) and `replacement` is written in its place.
std::string convert(const char* to, const char* from, std::string_view in,
                    std::string_view replacement, size_t (*badLength)(std::string_view rest)) {
    std::string out;
    if (in.empty()) return out;
    iconv_t cd = iconv_open(to, from);
    if (cd == reinterpret_cast<iconv_t>(-1)) return out;

    out.resize(in.size() * 2 + 16);
    char* src = const_cast<char*>(in.data());
    size_t srcLeft = in.size();
    size_t used = 0;
    while (srcLeft > 0) {
        char* dst = out.data() + used;
        size_t dstLeft = out.size() - used;
        size_t r = iconv(cd, &src, &srcLeft, &dst, &dstLeft);
        used = out.size() - dstLeft;
        if (r != static_cast<size_t>(-1)) break;
        if (errno == E2BIG) {
            out.resize(out.size() * 2);
        } else {  // EILSEQ or EINVAL: an invalid or cut-off sequence
            size_t skip = badLength(std::string_view(src, srcLeft));
            src += skip;
            srcLeft -= skip;
            if (out.size() - used < replacement.size())
                out.resize(out.size() * 2 + replacement.size());
            out.replace(used, replacement.size(), replacement);
            used += replacement.size();
        }
    }
    iconv(cd, nullptr, nullptr, nullptr, nullptr);
    iconv_close(cd);
    out.resize(used);
    return out;
}

size_t badGbkLength(std::string_view rest) {
    return charLengthAt(rest, 0);
}

size_t badUtf8Length(std::string_view rest) {
    // Skip the lead byte and any continuation bytes after it.
    size_t n = 1;
    while (n < rest.size() && (static_cast<unsigned char>(rest[n]) & 0xC0) == 0x80) ++n;
    return n;
}

constexpr std::string_view kReplacement = "\xEF\xBF\xBD";

// GBK -> UTF-8 by a table of every character, made from iconv once: iconv converts about
// 200 MB/s, and chapters go through here by the thousand (the full-text index, its snippets).
// Each entry is what iconv makes of one step of the text: a byte below 0x80, a lead byte with the
// byte after it, or a lone byte (0x80, 0xFF, a lead byte at the end).
class Utf8Table {
  public:
    static const Utf8Table& instance() {
        static const Utf8Table table;
        return table;
    }

    // False when iconv did not answer as a table can hold it: toUtf8 then asks iconv itself.
    bool usable() const { return usable_; }

    std::string convert(std::string_view gbk) const {
        std::string out;
        out.resize(gbk.size() * 3 / 2 + 16);  // a two-byte character takes at most 3 bytes
        size_t used = 0;
        const auto* in = reinterpret_cast<const unsigned char*>(gbk.data());
        const size_t n = gbk.size();
        for (size_t i = 0; i < n;) {
            const Entry* e;
            if (isLeadByte(in[i]) && i + 1 < n) {
                e = &pairs_[(in[i] - 0x81) * 256 + in[i + 1]];
                i += 2;
            } else {
                e = &single_[in[i]];
                ++i;
            }
            // Lone bytes that become U+FFFD grow the text threefold.
            if (out.size() - used < 3) out.resize(out.size() * 2);
            std::memcpy(out.data() + used, e->bytes, 3);
            used += e->length;
        }
        out.resize(used);
        return out;
    }

  private:
    struct Entry {
        char bytes[3];
        std::uint8_t length;
    };

    Utf8Table() : pairs_(126 * 256) {
        iconv_t cd = iconv_open("UTF-8", "GBK");
        if (cd == reinterpret_cast<iconv_t>(-1)) {
            usable_ = false;
            return;
        }
        for (int b = 0; b < 256; ++b) {
            const char step[1] = {static_cast<char>(b)};
            usable_ &= fill(cd, std::string_view(step, 1), &single_[b]);
        }
        for (int lead = 0x81; lead <= 0xFE; ++lead) {
            for (int trail = 0; trail < 256; ++trail) {
                const char step[2] = {static_cast<char>(lead), static_cast<char>(trail)};
                usable_ &=
                    fill(cd, std::string_view(step, 2), &pairs_[(lead - 0x81) * 256 + trail]);
            }
        }
        iconv_close(cd);
    }

    // What iconv makes of `step` taken whole: one character, or nothing (then U+FFFD, as toUtf8
    // writes for a sequence iconv refuses). False when it answers otherwise.
    static bool fill(iconv_t cd, std::string_view step, Entry* entry) {
        char out[8];
        char* src = const_cast<char*>(step.data());
        size_t srcLeft = step.size();
        char* dst = out;
        size_t dstLeft = sizeof out;
        iconv(cd, nullptr, nullptr, nullptr, nullptr);
        const size_t r = iconv(cd, &src, &srcLeft, &dst, &dstLeft);
        const size_t made = sizeof out - dstLeft;
        if (r != static_cast<size_t>(-1) && srcLeft == 0 && made >= 1 && made <= 3) {
            std::memcpy(entry->bytes, out, made);
            entry->length = static_cast<std::uint8_t>(made);
            return true;
        }
        std::memcpy(entry->bytes, kReplacement.data(), 3);
        entry->length = 3;
        // Refused before anything was made: the step is one bad sequence. Anything else (half a
        // step taken) the table cannot say.
        return r == static_cast<size_t>(-1) && made == 0 && srcLeft == step.size();
    }

    std::array<Entry, 256> single_{};
    std::vector<Entry> pairs_;
    bool usable_ = true;
};

}  // namespace

std::string toUtf8(std::string_view gbk) {
    const Utf8Table& table = Utf8Table::instance();
    return table.usable() ? table.convert(gbk) : detail::toUtf8WithIconv(gbk);
}

std::string detail::toUtf8WithIconv(std::string_view gbk) {
    return convert("UTF-8", "GBK", gbk, kReplacement, badGbkLength);
}

std::string toGbk(std::string_view utf8) {
    return convert("GBK", "UTF-8", utf8, "?", badUtf8Length);
}

bool isValidUtf8(std::string_view text) {
    // Whatever the converter refuses comes back replaced, so the text comes back changed.
    return convert("UTF-8", "UTF-8", text, "\xEF\xBF\xBD", badUtf8Length) == text;
}

}  // namespace novel
