#pragma once
// How a chapter page is kept in the library: zlib-compressed, with its size and a CRC-32 of the
// page, so a damaged copy is recognised instead of served.

#include <cstdint>
#include <optional>
#include <string_view>

#include "web/text.h"

namespace novel {

// Pages larger than this are never kept (nor accepted back).
inline constexpr size_t kLargestKeptPage = 64u * 1024 * 1024;

std::uint32_t pageHash(std::string_view page);
// The compressed page; empty when the page is too large or zlib fails.
Bytes compressPage(std::string_view page);
// The page back: nullopt unless `stored` inflates to exactly `size` bytes whose hash is `hash`.
std::optional<Bytes> decompressPage(std::string_view stored, size_t size, std::uint32_t hash);

}  // namespace novel
