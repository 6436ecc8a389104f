#include "download/book_download.h"

#include <algorithm>
#include <cmath>
#include <system_error>

#include "web/file_io.h"

namespace novel {
namespace fs = std::filesystem;

namespace {

// Keeps the name well inside the 255-byte limit of most file systems, with room for ".txt".
constexpr size_t kMaxNameBytes = 180;

size_t utf8Length(unsigned char lead) {
    if (lead < 0x80) return 1;
    if (lead >= 0xF0) return 4;
    if (lead >= 0xE0) return 3;
    return 2;
}

Text roundedKilobytes(int64_t bytes) {
    return std::to_string(std::llround(static_cast<double>(bytes) / 1024.0)) + "K";
}

}  // namespace

std::string safeBookFileName(std::string_view title) {
    const std::string utf8 = toUtf8(trimBlanks(title));
    std::string name;
    for (size_t i = 0; i < utf8.size();) {
        size_t len = std::min(utf8Length(static_cast<unsigned char>(utf8[i])), utf8.size() - i);
        if (name.size() + len > kMaxNameBytes) break;
        unsigned char c = static_cast<unsigned char>(utf8[i]);
        if (len == 1 && (c == '/' || c == '\\' || c < 0x20 || c == 0x7F))
            name += '_';
        else
            name.append(utf8, i, len);
        i += len;
    }
    // A leading dot would hide the folder, and "." or ".." would leave the download folder.
    for (char& c : name) {
        if (c != '.') break;
        c = '_';
    }
    return name.empty() ? std::string("未命名") : name;
}

BookDownloadPaths bookDownloadPaths(const fs::path& base, std::string_view title) {
    const std::string name = safeBookFileName(title);
    BookDownloadPaths paths;
    paths.root = base / std::string(kDownloadFolderName);
    paths.bookFolder = paths.root / name;
    paths.temporaryFile = paths.bookFolder / std::string(kTemporaryFileName);
    paths.finalFile = paths.bookFolder / (name + ".txt");
    return paths;
}

std::error_code prepareBookFolder(const BookDownloadPaths& paths) {
    std::error_code ec;
    fs::create_directories(paths.bookFolder, ec);
    if (ec) return ec;
    if (fs::exists(paths.temporaryFile, ec)) fs::remove(paths.temporaryFile, ec);
    return ec;
}

void prepareDownloadRequest(DownloadRequest* request, std::string_view txtPackageUrl,
                            const BookDownloadPaths& paths) {
    request->transferMode = 4096;
    request->sourceUrl = trimBlanks(txtPackageUrl);
    request->targetFile = paths.temporaryFile.string();
    request->sixth = 1;
    request->connectTimeoutMs = 5000;
    request->sendTimeoutMs = 5000;
    request->receiveTimeoutMs = 10000;
    request->windDownMs = 1000;
    request->twelfth = 10240;
}

DownloadProgress downloadProgress(int64_t totalSize, int64_t received) {
    DownloadProgress p;
    p.sizeText = roundedKilobytes(totalSize);
    p.receivedText = roundedKilobytes(received);
    if (totalSize > 0) {
        p.percent = static_cast<int>(
            std::llround(static_cast<double>(received) / static_cast<double>(totalSize) * 100.0));
        p.percent = std::clamp(p.percent, 0, 100);
    }
    return p;
}

void cleanBookText(Text* text, const BrandWords& brand) {
    for (std::string_view word : {std::string_view("Www."), std::string_view(brand.latin),
                                  std::string_view(".com"), std::string_view(brand.chinese)}) {
        if (!word.empty()) replaceTextInPlace(text, word);
    }
}

FinishResult finishBookFile(const BookDownloadPaths& paths, const BrandWords& brand) {
    FinishResult result;
    std::error_code ec;
    if (!fs::exists(paths.temporaryFile, ec)) {
        result.error = "下载的文件不见了";
        return result;
    }
    Text text = readTextFile(paths.temporaryFile);
    if (text.empty()) {
        result.error = "下载的文件是空的";
        return result;
    }
    cleanBookText(&text, brand);
    ec = writeFileAtomically(paths.temporaryFile, text);
    if (!ec) fs::rename(paths.temporaryFile, paths.finalFile, ec);
    if (ec) {
        result.error = "无法保存小说文件（" + ec.message() + "）";
        return result;
    }
    result.ok = true;
    return result;
}

}  // namespace novel
