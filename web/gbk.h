#pragma once
// GBK (code page 936) is the encoding of the site's pages and of every file the program keeps.
// The core holds GBK bytes in std::string; these are the only places where text changes encoding.

#include <string>
#include <string_view>

namespace novel {

// The byte at i, as the unsigned value the GBK rules are written in.
inline unsigned char byteAt(std::string_view s, size_t i) {
    return static_cast<unsigned char>(s[i]);
}

// An ASCII capital lowered; every other byte (trail bytes included) as it is.
inline unsigned char foldAscii(unsigned char c) {
    return (c >= 'A' && c <= 'Z') ? c + 32 : c;
}

// A byte from 0x81 to 0xFE opens a two-byte character; the byte after it is its trail byte. Any
// other byte at a character start, 0x80 and 0xFF included (a euro sign, a broken character), is a
// character of one byte, so one stray byte never shifts the rest of a page.
inline bool isLeadByte(unsigned char b) {
    return b >= 0x81 && b <= 0xFE;
}

// Length in bytes of the character that starts at text[i] (1 or 2; 1 for a lead byte at the end).
inline size_t charLengthAt(std::string_view text, size_t i) {
    return isLeadByte(static_cast<unsigned char>(text[i])) && i + 1 < text.size() ? 2 : 1;
}

// GBK -> UTF-8. A byte sequence that is no GBK character becomes U+FFFD; nothing is dropped
// silently.
std::string toUtf8(std::string_view gbk);

namespace detail {
// The same conversion by iconv alone: what toUtf8's table is made from, for the tests to hold it
// to.
std::string toUtf8WithIconv(std::string_view gbk);
}  // namespace detail

// UTF-8 -> GBK. A character GBK cannot hold (or broken UTF-8) becomes "?".
std::string toGbk(std::string_view utf8);

// Whether `text` is well-formed UTF-8.
bool isValidUtf8(std::string_view text);

// Bytes become text by taking everything before the first zero byte.
inline std::string_view textOf(std::string_view bytes) {
    return bytes.substr(0, bytes.find('\0'));
}

}  // namespace novel
