// novel download: the whole-book download without a window.

#include <unistd.h>

#include <condition_variable>
#include <csignal>
#include <filesystem>
#include <mutex>

#include "cli/command_handlers.h"
#include "download/book_download.h"

namespace novel::cli {
namespace {

volatile std::sig_atomic_t interrupted = 0;
void onInterrupt(int) {
    interrupted = 1;
}

void drawProgress(std::FILE* to, const FileDownloader& downloader) {
    const DownloadProgress p = downloadProgress(downloader.totalSize(), downloader.received());
    if (p.percent < 0) {
        std::fprintf(to, "\r%s", p.receivedText.c_str());
    } else {
        const int filled = p.percent / 4;
        std::fprintf(to, "\r[%s%s] %3d%% %s / %s", std::string(filled, '#').c_str(),
                     std::string(25 - filled, ' ').c_str(), p.percent, p.receivedText.c_str(),
                     p.sizeText.c_str());
    }
    std::fflush(to);
}

}  // namespace

int downloadCommand(Context& context, const Arguments& arguments) {
    std::string url, title, dir;
    for (size_t i = 0; i < arguments.size(); ++i) {
        const std::string& a = arguments[i];
        if ((a == "--title" || a == "--dir") && i + 1 < arguments.size()) {
            (a == "--title" ? title : dir) = arguments[++i];
        } else if (a.starts_with("-") || !url.empty()) {
            return kExitUsage;
        } else {
            url = a;
        }
    }
    const Text gbkTitle = trimBlanks(toGbk(title));
    if (url.empty() || gbkTitle.empty()) return kExitUsage;

    std::error_code ec;
    const std::filesystem::path base =
        dir.empty() ? std::filesystem::current_path(ec) : std::filesystem::path(dir);
    const BookDownloadPaths paths = bookDownloadPaths(base, gbkTitle);
    if (ec || (ec = prepareBookFolder(paths))) {
        std::fprintf(context.err, "novel: download: %s: cannot make the folder %s (%s)\n",
                     title.c_str(), paths.bookFolder.c_str(), ec.message().c_str());
        return kExitFailure;
    }

    std::mutex mutex;
    std::condition_variable ended;
    bool done = false;
    DownloadRequest request;
    prepareDownloadRequest(&request, url, paths);
    request.eventCallback = [&](int event, int64_t, int64_t, int64_t, int64_t) {
        if (event != kDownloadEventEnded) return;
        std::lock_guard lock(mutex);
        done = true;
        ended.notify_all();
    };

    FileDownloader downloader;
    const bool terminal = ::isatty(::fileno(context.err));
    std::signal(SIGINT, onInterrupt);
    std::signal(SIGTERM, onInterrupt);
    downloader.start(request, bookTextFilter(context.siteConfig().brandWords()));
    {
        std::unique_lock lock(mutex);
        while (!done) {
            ended.wait_for(lock, std::chrono::milliseconds(200));
            if (interrupted) downloader.stop();
            if (terminal) drawProgress(context.err, downloader);
        }
    }
    downloader.stop();
    if (terminal) std::fprintf(context.err, "\n");

    const DownloadOutcome outcome = downloader.outcome();
    FinishResult finish;
    if (outcome.ok) finish = finishCleanedBookFile(paths);
    if (!outcome.ok || !finish.ok) {
        std::filesystem::remove(paths.temporaryFile, ec);
        std::fprintf(context.err, "novel: download: %s: %s\n", title.c_str(),
                     (outcome.ok ? finish.error : outcome.error).c_str());
        return kExitFailure;
    }
    std::fprintf(context.out, "%s\n", paths.finalFile.c_str());
    return kExitOk;
}

}  // namespace novel::cli
