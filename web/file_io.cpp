#include "web/file_io.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <random>

namespace novel {
namespace fs = std::filesystem;

namespace {

std::error_code lastError() {
    return std::error_code(errno, std::generic_category());
}

std::error_code writeAll(int fd, std::string_view bytes) {
    while (!bytes.empty()) {
        ssize_t n = ::write(fd, bytes.data(), bytes.size());
        if (n < 0) {
            if (errno == EINTR) continue;
            return lastError();
        }
        bytes.remove_prefix(static_cast<size_t>(n));
    }
    return {};
}

std::string randomSuffix() {
    static thread_local std::mt19937_64 rng{std::random_device{}()};
    static const char digits[] = "0123456789abcdef";
    std::string s;
    for (uint64_t v = rng(), i = 0; i < 12; ++i, v >>= 4) s += digits[v & 15];
    return s;
}

}  // namespace

Bytes readFileBytes(const fs::path& path) {
    // Plain reads into one buffer: a 50 MB book is read back in a few milliseconds.
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return {};
    // One byte more than the file's size, so the read that finds its end needs no larger buffer.
    struct stat info {};
    const size_t size = ::fstat(fd, &info) == 0 && info.st_size > 0 ? info.st_size : 0;
    Bytes bytes(size + (size ? 1 : 65536), '\0');
    size_t used = 0;
    for (;;) {
        if (used == bytes.size()) bytes.resize(bytes.size() * 2);
        ssize_t n = ::read(fd, bytes.data() + used, bytes.size() - used);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            ::close(fd);
            return {};
        }
        if (n == 0) break;
        used += static_cast<size_t>(n);
    }
    ::close(fd);
    bytes.resize(used);
    return bytes;
}

Text readTextFile(const fs::path& path) {
    Bytes bytes = readFileBytes(path);
    bytes.resize(textOf(bytes).size());
    return bytes;
}

std::error_code writeFileAtomically(const fs::path& path, std::string_view bytes, bool flush) {
    std::error_code ec;
    if (path.has_parent_path()) {
        fs::create_directories(path.parent_path(), ec);
        if (ec) return ec;
    }
    const fs::path temporary = path.string() + ".tmp-" + randomSuffix();
    int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (fd < 0) return lastError();
    ec = writeAll(fd, bytes);
    if (!ec && flush && ::fsync(fd) != 0) ec = lastError();
    if (::close(fd) != 0 && !ec) ec = lastError();
    if (!ec) fs::rename(temporary, path, ec);
    if (ec) {
        std::error_code ignored;
        fs::remove(temporary, ignored);
    }
    return ec;
}

std::error_code createEmptyFile(const fs::path& path, std::uintmax_t length) {
    std::error_code ec;
    if (path.has_parent_path()) {
        fs::create_directories(path.parent_path(), ec);
        if (ec) return ec;
    }
    // Made here or found: only a file this call made is removed again when its length fails.
    bool made = true;
    int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (fd < 0 && errno == EEXIST) {
        made = false;
        fd = ::open(path.c_str(), O_WRONLY | O_CLOEXEC);
    }
    if (fd < 0) return lastError();
    if (::ftruncate(fd, static_cast<off_t>(length)) != 0) {
        ec = lastError();
        ::close(fd);
        std::error_code ignored;
        if (made) fs::remove(path, ignored);
        return ec;
    }
    if (::close(fd) != 0) return lastError();
    return {};
}

bool folderIsWritable(const fs::path& folder) {
    std::error_code ec;
    fs::create_directories(folder, ec);
    if (ec) return false;
    const fs::path probe = folder / (".write-test-" + randomSuffix());
    int fd = ::open(probe.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (fd < 0) return false;
    ::close(fd);
    fs::remove(probe, ec);
    return true;
}

}  // namespace novel
