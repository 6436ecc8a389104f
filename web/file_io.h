#pragma once
// Whole-file reads and writes. Every file the program keeps is written through writeFileAtomically:
// the bytes go to a temporary file beside the target, which then replaces the target in one
// rename, so a crash or a full disk never leaves half a file behind.

#include <cstdint>
#include <filesystem>
#include <string_view>
#include <system_error>

#include "web/text.h"

namespace novel {

// The whole file; empty when it is missing or unreadable.
Bytes readFileBytes(const std::filesystem::path& path);

// The file as text: its bytes up to the first zero byte.
Text readTextFile(const std::filesystem::path& path);

// Creates the folders on the way, writes `bytes` to a temporary file in the target's folder,
// flushes it to disk and renames it over the target. Returns the error that stopped it (the target
// is then untouched and no temporary file is left).
// `flush` false skips the wait for the disk, for files made again each time they are shown (the
// reader's page): the rename still never shows half a file.
std::error_code writeFileAtomically(const std::filesystem::path& path, std::string_view bytes,
                                    bool flush = true);

// Creates the folders on the way and makes `path` exist with `length` bytes (zeros when it grows).
// It changes the file in place: a file whose content matters is written with writeFileAtomically.
std::error_code createEmptyFile(const std::filesystem::path& path, std::uintmax_t length = 0);

// Whether files can be made in `folder`, found by making it (with the folders on the way) and a
// file in it, which is removed again. Permission bits alone mislead: root passes them on a
// read-only mount, and a folder may be missing or stand where a file is.
bool folderIsWritable(const std::filesystem::path& folder);

// A UTF-8 path for a GBK name, as file names are kept on this system.
inline std::filesystem::path pathFromGbk(std::string_view gbk) {
    return std::filesystem::path(toUtf8(gbk));
}

}  // namespace novel
