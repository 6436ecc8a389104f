#include "download/book_download.h"

#include <algorithm>
#include <cmath>
#include <condition_variable>
#include <mutex>
#include <system_error>

#include "reader/ad_sentences.h"
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

namespace {

void cleanBookTextWith(Text* text, const BrandWords& brand, const AdSentenceRemover& ads) {
    // The sentences first, while their addresses can still be told from ordinary words.
    ads.removeIn(text);
    for (std::string_view word : {std::string_view("Www."), std::string_view(brand.latin),
                                  std::string_view(".com"), std::string_view(brand.chinese)}) {
        if (!word.empty()) replaceTextInPlace(text, word);
    }
}

}  // namespace

void cleanBookText(Text* text, const BrandWords& brand) {
    cleanBookTextWith(text, brand, AdSentenceRemover(brand));
}

namespace {

// The cleaning pass applied to the body while it arrives. A line break is never part of a removed
// word or advertising sentence, and none can join across it, so the text is cleaned a block of
// whole lines at a time with the same result as cleaning it whole. The text ends at its first zero
// byte.
class BookTextFilter : public BodyFilter {
  public:
    explicit BookTextFilter(const BrandWords& brand) : brand_(brand), ads_(brand) {}

    void feed(std::string_view piece, std::string* out) override {
        if (ended_) return;
        if (size_t zero = piece.find('\0'); zero != std::string_view::npos) {
            piece = piece.substr(0, zero);
            ended_ = true;
        }
        const size_t lineEnd = piece.rfind('\n');
        if (lineEnd == std::string_view::npos) {
            pending_.append(piece);
            return;
        }
        pending_.append(piece.substr(0, lineEnd + 1));
        cleanBookTextWith(&pending_, brand_, ads_);
        out->append(pending_);
        pending_.assign(piece.substr(lineEnd + 1));
    }

    void finish(std::string* out) override {
        cleanBookTextWith(&pending_, brand_, ads_);
        out->append(pending_);
        pending_.clear();
    }

  private:
    BrandWords brand_;
    AdSentenceRemover ads_;
    Text pending_;  // the start of a line that has not ended yet
    bool ended_ = false;
};

FinishResult placeBookFile(const BookDownloadPaths& paths) {
    FinishResult result;
    std::error_code ec;
    fs::rename(paths.temporaryFile, paths.finalFile, ec);
    if (ec) result.error = "无法保存小说文件（" + ec.message() + "）";
    result.ok = !ec;
    return result;
}

bool hasText(const fs::path& file) {
    std::error_code ec;
    const auto size = fs::file_size(file, ec);
    return !ec && size > 0;
}

}  // namespace

std::unique_ptr<BodyFilter> bookTextFilter(const BrandWords& brand) {
    return std::make_unique<BookTextFilter>(brand);
}

FinishResult finishCleanedBookFile(const BookDownloadPaths& paths) {
    if (!hasText(paths.temporaryFile)) {
        std::error_code ec;
        return {false,
                fs::exists(paths.temporaryFile, ec) ? "下载的文件是空的" : "下载的文件不见了"};
    }
    return placeBookFile(paths);
}

FinishResult transferCleanedBook(std::string_view txtPackageUrl, const BookDownloadPaths& paths,
                                 const BrandWords& brand, FileDownloader& downloader,
                                 const std::function<bool()>& whileWaiting) {
    if (std::error_code ec = prepareBookFolder(paths))
        return {false, "无法创建文件夹 " + paths.bookFolder.string() + "（" + ec.message() + "）"};

    std::mutex mutex;
    std::condition_variable ended;
    bool done = false;
    DownloadRequest request;
    prepareDownloadRequest(&request, txtPackageUrl, paths);
    request.eventCallback = [&](int event, int64_t, int64_t, int64_t, int64_t) {
        if (event != kDownloadEventEnded) return;
        std::lock_guard lock(mutex);
        done = true;
        ended.notify_all();
    };
    if (!downloader.start(request, bookTextFilter(brand))) return {false, "已有下载正在进行"};
    {
        std::unique_lock lock(mutex);
        while (!done) {
            ended.wait_for(lock, std::chrono::milliseconds(200));
            if (whileWaiting && !whileWaiting()) downloader.stop();
        }
    }
    downloader.stop();

    const DownloadOutcome outcome = downloader.outcome();
    FinishResult result{true, {}};
    if (!outcome.ok) {
        result = {false, outcome.error};
    } else if (!hasText(paths.temporaryFile)) {
        std::error_code ec;
        result = {false,
                  fs::exists(paths.temporaryFile, ec) ? "下载的文件是空的" : "下载的文件不见了"};
    }
    if (!result.ok) {
        std::error_code ignored;
        fs::remove(paths.temporaryFile, ignored);
    }
    return result;
}

FinishResult downloadBookFile(std::string_view txtPackageUrl, const BookDownloadPaths& paths,
                              const BrandWords& brand, FileDownloader& downloader,
                              const std::function<bool()>& whileWaiting) {
    FinishResult result =
        transferCleanedBook(txtPackageUrl, paths, brand, downloader, whileWaiting);
    if (result.ok) result = placeBookFile(paths);
    if (!result.ok) {
        std::error_code ignored;
        fs::remove(paths.temporaryFile, ignored);
    }
    return result;
}

}  // namespace novel
