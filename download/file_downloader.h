#pragma once
// The background file transfer behind a whole-book download, and the one process-wide request it is
// handed. The downloader alone interprets the members; the program sets the ones a download needs
// and leaves the others at their start values.

#include <cstdint>
#include <functional>

#include "web/text.h"

namespace novel {

// Events reach the callback as (event, a, b, c, d); the result is ignored by the downloader.
using DownloadEventCallback = std::function<int(int event, int a, int b, int c, int d)>;

struct DownloadRequest {
    int transferMode = 1;
    Text sourceUrl;
    Text targetFile;
    Text loginName = "anonymous";
    Text loginPassword = "reader@example.invalid";
    int sixthMember = 1;
    int seventhMember = 0;
    int connectTimeoutMs = 20000;
    int sendTimeoutMs = 20000;
    int receiveTimeoutMs = 20000;
    int stopWaitMs = 1000;  // longest wait for a stopped transfer to wind down
    int twelfthMember = 20480;
    int thirteenthMember = 1024;
    int fourteenthMember = 0;
    DownloadEventCallback eventCallback;
    Text sixteenthMember;
    int seventeenthMember = 1;
    Text fileTypes = ".exe|.rar|.zip|.gif|.jpg|.mp3|.rm";
    Text nineteenthMember;
    Text twentiethMember;
};

class FileDownloader {
  public:
    virtual ~FileDownloader() = default;

    // Begins the transfer in the background and returns at once.
    virtual void start(const DownloadRequest& request) = 0;
    // Bytes written to the target file so far.
    virtual std::int64_t received() const = 0;
    virtual bool running() const = 0;
    // Ends a running transfer, waiting at most the request's stopWaitMs for it to wind down.
    virtual void stop() = 0;
};

}  // namespace novel
