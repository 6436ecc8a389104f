#include "web/gbk.h"

#include <iconv.h>

#include <cerrno>

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

}  // namespace

std::string toUtf8(std::string_view gbk) {
    return convert("UTF-8", "GBK", gbk, "\xEF\xBF\xBD", badGbkLength);
}

std::string toGbk(std::string_view utf8) {
    return convert("GBK", "UTF-8", utf8, "?", badUtf8Length);
}

bool isValidUtf8(std::string_view text) {
    // Whatever the converter refuses comes back replaced, so the text comes back changed.
    return convert("UTF-8", "UTF-8", text, "\xEF\xBF\xBD", badUtf8Length) == text;
}

}  // namespace novel
