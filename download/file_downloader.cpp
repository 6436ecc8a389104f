#include "download/file_downloader.h"

#include <curl/curl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>

namespace novel {
namespace {

struct Transfer {
    FILE* file = nullptr;
    std::atomic<int64_t>* received = nullptr;
    std::atomic<int64_t>* totalSize = nullptr;
    const std::atomic<bool>* stopRequested = nullptr;
    const DownloadRequest* request = nullptr;
    BodyFilter* filter = nullptr;
    std::string filtered;  // the filter's output for one piece, reused
    bool sizeReported = false;
    int writeErrno = 0;
};

size_t writeBody(char* data, size_t size, size_t count, void* user) {
    auto* t = static_cast<Transfer*>(user);
    size_t n = size * count;
    std::string_view out(data, n);
    if (t->filter) {
        t->filtered.clear();
        t->filter->feed(out, &t->filtered);
        out = t->filtered;
    }
    if (std::fwrite(out.data(), 1, out.size(), t->file) != out.size()) {
        t->writeErrno = errno ? errno : EIO;
        return 0;  // makes curl give up with a write error
    }
    t->received->fetch_add(static_cast<int64_t>(n));
    return n;
}

int onProgress(void* user, curl_off_t total, curl_off_t, curl_off_t, curl_off_t) {
    auto* t = static_cast<Transfer*>(user);
    if (!t->sizeReported && total > 0) {
        t->sizeReported = true;
        t->totalSize->store(total);
        if (t->request->eventCallback)
            t->request->eventCallback(kDownloadEventTotalSize, 0, total, 0, 0);
    }
    return t->stopRequested->load() ? 1 : 0;
}

std::string describe(CURLcode code) {
    switch (code) {
        case CURLE_COULDNT_RESOLVE_HOST:
            return "找不到服务器";
        case CURLE_COULDNT_CONNECT:
            return "无法连接服务器";
        case CURLE_OPERATION_TIMEDOUT:
            return "网络超时，服务器长时间没有响应";
        case CURLE_PARTIAL_FILE:
        case CURLE_RECV_ERROR:
        case CURLE_GOT_NOTHING:
            return "连接中断，文件没有下载完整";
        case CURLE_TOO_MANY_REDIRECTS:
            return "下载地址跳转次数过多";
        case CURLE_URL_MALFORMAT:
        case CURLE_UNSUPPORTED_PROTOCOL:
            return "下载地址无效";
        default:
            return std::string("网络错误（") + curl_easy_strerror(code) + "）";
    }
}

}  // namespace

FileDownloader::~FileDownloader() {
    stop();
}

bool FileDownloader::start(const DownloadRequest& request, std::shared_ptr<BodyFilter> filter) {
    if (running_.load()) return false;
    if (worker_.joinable()) {
        // Started again from the end event: the old thread is about to return on its own.
        if (worker_.get_id() == std::this_thread::get_id())
            worker_.detach();
        else
            worker_.join();
    }
    stopRequested_ = false;
    received_ = 0;
    totalSize_ = 0;
    {
        std::lock_guard lock(outcomeMutex_);
        outcome_ = {};
    }
    running_ = true;
    worker_ = std::thread(&FileDownloader::run, this, request, std::move(filter));
    return true;
}

void FileDownloader::stop() {
    stopRequested_ = true;
    // The end event may itself call stop(); a thread cannot wait for itself.
    if (worker_.joinable() && worker_.get_id() != std::this_thread::get_id()) worker_.join();
}

DownloadOutcome FileDownloader::outcome() const {
    std::lock_guard lock(outcomeMutex_);
    return outcome_;
}

void FileDownloader::run(DownloadRequest request, std::shared_ptr<BodyFilter> filter) {
    DownloadOutcome result;
    Transfer transfer;
    transfer.received = &received_;
    transfer.totalSize = &totalSize_;
    transfer.stopRequested = &stopRequested_;
    transfer.request = &request;
    transfer.filter = filter.get();

    std::unique_ptr<FILE, int (*)(FILE*)> file(std::fopen(request.targetFile.c_str(), "wb"),
                                               &std::fclose);
    std::unique_ptr<CURL, void (*)(CURL*)> curl(curl_easy_init(), &curl_easy_cleanup);
    if (!file) {
        result.error = std::string("无法创建下载文件（") + std::strerror(errno) + "）";
    } else if (!curl) {
        result.error = "无法开始下载";
    } else {
        transfer.file = file.get();
        CURL* h = curl.get();
        curl_easy_setopt(h, CURLOPT_URL, request.sourceUrl.c_str());
        curl_easy_setopt(h, CURLOPT_NOSIGNAL, 1L);
        curl_easy_setopt(h, CURLOPT_FOLLOWLOCATION, 1L);
        curl_easy_setopt(h, CURLOPT_MAXREDIRS, 20L);
        curl_easy_setopt(h, CURLOPT_FAILONERROR, 1L);
        curl_easy_setopt(h, CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(request.connectTimeoutMs));
        // The receive time-out: give up when no byte has arrived for that long.
        curl_easy_setopt(h, CURLOPT_LOW_SPEED_LIMIT, 1L);
        curl_easy_setopt(h, CURLOPT_LOW_SPEED_TIME,
                         std::max(1L, static_cast<long>(request.receiveTimeoutMs / 1000)));
        // Larger pieces than the default 16 KB: fewer calls and writes for a large book.
        curl_easy_setopt(h, CURLOPT_BUFFERSIZE, 128L * 1024);
        curl_easy_setopt(h, CURLOPT_WRITEFUNCTION, &writeBody);
        curl_easy_setopt(h, CURLOPT_WRITEDATA, &transfer);
        curl_easy_setopt(h, CURLOPT_NOPROGRESS, 0L);
        curl_easy_setopt(h, CURLOPT_XFERINFOFUNCTION, &onProgress);
        curl_easy_setopt(h, CURLOPT_XFERINFODATA, &transfer);

        CURLcode code = curl_easy_perform(h);
        curl_easy_getinfo(h, CURLINFO_RESPONSE_CODE, &result.httpStatus);
        if (code == CURLE_OK && filter && !stopRequested_.load()) {
            transfer.filtered.clear();
            filter->finish(&transfer.filtered);
            const std::string& rest = transfer.filtered;
            if (std::fwrite(rest.data(), 1, rest.size(), file.get()) != rest.size())
                transfer.writeErrno = errno ? errno : EIO;
        }
        if (code == CURLE_OK && !stopRequested_.load() && !transfer.writeErrno) {
            // The file goes in place of an older copy by a rename: its bytes reach the disk first.
            if (std::fflush(file.get()) != 0 || ::fsync(::fileno(file.get())) != 0)
                transfer.writeErrno = errno ? errno : EIO;
        }
        int closeError = std::fclose(file.release()) == 0 ? 0 : errno;

        if (stopRequested_.load()) {
            result.stopped = true;
            result.error = "下载已取消";
        } else if (code == CURLE_HTTP_RETURNED_ERROR) {
            result.error = "服务器返回错误 " + std::to_string(result.httpStatus);
        } else if (code == CURLE_WRITE_ERROR || transfer.writeErrno || closeError) {
            int e = transfer.writeErrno ? transfer.writeErrno : closeError;
            result.error = std::string("无法写入下载文件（") + std::strerror(e ? e : EIO) + "）";
        } else if (code != CURLE_OK) {
            result.error = describe(code);
        } else if (received_.load() == 0) {
            result.error = "服务器返回了空文件";
        } else {
            result.ok = true;
        }
    }

    {
        std::lock_guard lock(outcomeMutex_);
        outcome_ = result;
    }
    running_ = false;
    if (request.eventCallback) request.eventCallback(kDownloadEventEnded, 0, 0, 0, 0);
}

}  // namespace novel
