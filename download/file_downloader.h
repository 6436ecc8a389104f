#pragma once
// The background file transfer behind the whole-book download: one libcurl transfer on a worker
// thread, started from a download request, reporting its total size and its end through the
// request's event callback (on the worker thread), with a received-bytes count that any thread may
// read and a stop that winds the transfer down.

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>

#include "web/text.h"

namespace novel {

// Event numbers the callback receives.
inline constexpr int kDownloadEventTotalSize = 3;  // third argument: the total size in bytes
inline constexpr int kDownloadEventEnded = 4;

// The download request: twenty members in their fixed order, with the start values the program
// creates it with. The downloader reads the source URL, the target file, the time-outs and the
// callback; the other members are carried as they are.
struct DownloadRequest {
    int transferMode = 1;
    Text sourceUrl;
    Text targetFile;  // a UTF-8 file-system path
    Text fourth = "anonymous";
    Text fifth = "reader@example.invalid";
    int sixth = 1;
    int seventh = 0;
    int connectTimeoutMs = 20000;
    int sendTimeoutMs = 20000;
    int receiveTimeoutMs = 20000;
    int windDownMs = 1000;
    int twelfth = 20480;
    int thirteenth = 1024;
    int fourteenth = 0;
    std::function<void(int event, int64_t a, int64_t b, int64_t c, int64_t d)> eventCallback;
    Text sixteenth;
    int seventeenth = 1;
    Text fileTypes = ".exe|.rar|.zip|.gif|.jpg|.mp3|.rm";
    Text nineteenth;
    Text twentieth;
};

// How a finished transfer went. `ok` only when the server answered 2xx, the body arrived whole
// (as long as its Content-Length said) and it was not empty.
struct DownloadOutcome {
    bool ok = false;
    bool stopped = false;  // ended by stop(), not by the transfer
    long httpStatus = 0;
    std::string error;  // UTF-8, for the user: why it failed
};

// Changes the body on its way to the target file (the whole-book download cleans the text there).
// Runs on the transfer's thread.
class BodyFilter {
  public:
    virtual ~BodyFilter() = default;
    // Appends to *out what is to be written for this piece of the body; may hold some back.
    virtual void feed(std::string_view piece, std::string* out) = 0;
    // Appends what was held back, once the whole body has arrived.
    virtual void finish(std::string* out) = 0;
};

class FileDownloader {
  public:
    FileDownloader() = default;
    ~FileDownloader();  // stops a running transfer
    FileDownloader(const FileDownloader&) = delete;
    FileDownloader& operator=(const FileDownloader&) = delete;

    // Begins the transfer in the background and returns at once; false while one is running.
    // With a filter, the file receives the filter's output instead of the body as it came.
    bool start(const DownloadRequest& request, std::shared_ptr<BodyFilter> filter = nullptr);
    // Ends a running transfer and waits for its thread; the end event still arrives.
    void stop();

    bool running() const { return running_.load(); }
    int64_t received() const { return received_.load(); }
    int64_t totalSize() const { return totalSize_.load(); }  // 0 until known
    DownloadOutcome outcome() const;

  private:
    void run(DownloadRequest request, std::shared_ptr<BodyFilter> filter);

    std::thread worker_;
    std::atomic<bool> running_{false};
    std::atomic<bool> stopRequested_{false};
    std::atomic<int64_t> received_{0};
    std::atomic<int64_t> totalSize_{0};
    mutable std::mutex outcomeMutex_;
    DownloadOutcome outcome_;
};

}  // namespace novel
