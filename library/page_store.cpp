#include "library/page_store.h"

#include <zlib.h>

#include <algorithm>
#include <cstdint>

namespace novel {

std::uint32_t pageHash(std::string_view page) {
    uLong crc = crc32(0L, Z_NULL, 0);
    // crc32 takes at most a uInt at a time.
    while (!page.empty()) {
        const uInt n = static_cast<uInt>(std::min<size_t>(page.size(), 1u << 30));
        crc = crc32(crc, reinterpret_cast<const Bytef*>(page.data()), n);
        page.remove_prefix(n);
    }
    return static_cast<std::uint32_t>(crc);
}

Bytes compressPage(std::string_view page) {
    if (page.size() > kLargestKeptPage) return {};
    uLongf length = compressBound(static_cast<uLong>(page.size()));
    Bytes out(length, '\0');
    if (compress2(reinterpret_cast<Bytef*>(out.data()), &length,
                  reinterpret_cast<const Bytef*>(page.data()), static_cast<uLong>(page.size()),
                  Z_BEST_SPEED) != Z_OK)
        return {};
    out.resize(length);
    return out;
}

std::optional<Bytes> decompressPage(std::string_view stored, size_t size, std::uint32_t hash) {
    // The stated size bounds the output, so a forged size cannot make us allocate without limit.
    if (size > kLargestKeptPage || stored.empty()) return std::nullopt;
    Bytes out(size + 1, '\0');  // one spare byte: a longer stream shows as Z_OK, not Z_STREAM_END
    z_stream z{};
    if (inflateInit(&z) != Z_OK) return std::nullopt;
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(stored.data()));
    z.avail_in = static_cast<uInt>(std::min<size_t>(stored.size(), UINT32_MAX));
    z.next_out = reinterpret_cast<Bytef*>(out.data());
    z.avail_out = static_cast<uInt>(out.size());
    const int rc = inflate(&z, Z_FINISH);
    const size_t produced = out.size() - z.avail_out;
    inflateEnd(&z);
    if (rc != Z_STREAM_END || produced != size) return std::nullopt;
    out.resize(size);
    if (pageHash(out) != hash) return std::nullopt;
    return out;
}

}  // namespace novel
