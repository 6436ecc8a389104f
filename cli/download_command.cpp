// novel download: the whole-book download without a window.

#include <unistd.h>

#include <csignal>
#include <filesystem>

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
    if (ec) {
        std::fprintf(context.err, "novel: download: %s: no current folder (%s)\n", title.c_str(),
                     ec.message().c_str());
        return kExitFailure;
    }

    FileDownloader downloader;
    const bool terminal = ::isatty(::fileno(context.err));
    std::signal(SIGINT, onInterrupt);
    std::signal(SIGTERM, onInterrupt);
    const FinishResult result =
        downloadBookFile(url, paths, context.siteConfig().brandWords(), downloader, [&] {
            if (terminal) drawProgress(context.err, downloader);
            return !interrupted;
        });
    if (terminal) std::fprintf(context.err, "\n");
    if (!result.ok) {
        std::fprintf(context.err, "novel: download: %s: %s\n", title.c_str(), result.error.c_str());
        return kExitFailure;
    }
    std::fprintf(context.out, "%s\n", paths.finalFile.c_str());
    return kExitOk;
}

}  // namespace novel::cli
