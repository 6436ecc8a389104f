#pragma once
// The pure steps of a whole-book download around the transfer itself: where the files go, the
// progress figures, the cleaning of the text and the final replace of the book's file.

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>

#include "catalogue/site_config.h"
#include "download/file_downloader.h"
#include "web/text.h"

namespace novel {

inline constexpr std::string_view kDownloadFolderName = "下载小说";
inline constexpr std::string_view kTemporaryFileName = "VOREDI5.exe.tmp";

struct BookDownloadPaths {
    std::filesystem::path root;        // <base>/下载小说
    std::filesystem::path bookFolder;  // root/<name>
    std::filesystem::path temporaryFile;
    std::filesystem::path finalFile;  // bookFolder/<name>.txt
};

// A file-system name (UTF-8) for a book title (GBK): blanks trimmed, path separators and control
// characters replaced, no leading dot, not too long, never empty, so the book stays inside its
// download folder whatever the site calls it.
std::string safeBookFileName(std::string_view title);

BookDownloadPaths bookDownloadPaths(const std::filesystem::path& base, std::string_view title);

// Makes the book's folder and clears a temporary file left by an interrupted run. An older copy of
// the book is kept: it is replaced only once the new one is complete and cleaned.
std::error_code prepareBookFolder(const BookDownloadPaths& paths);

// Sets the members of the process's download request that a book download uses (source, target,
// time-outs, mode); the others keep what they hold.
void prepareDownloadRequest(DownloadRequest* request, std::string_view txtPackageUrl,
                            const BookDownloadPaths& paths);

struct DownloadProgress {
    Text sizeText;      // e.g. "1500K"
    Text receivedText;  // e.g. "750K"
    int percent = -1;   // -1 while the total size is unknown
};
DownloadProgress downloadProgress(int64_t totalSize, int64_t received);

// Removes the site's advertising sentences from a downloaded book, then its words: "Www.", the
// Latin brand word, ".com" and the Chinese brand word, letter case ignored, one pass each.
void cleanBookText(Text* text, const BrandWords& brand);

struct FinishResult {
    bool ok = false;
    std::string error;  // UTF-8, for the user
};

// The cleaning of cleanBookText done while the book arrives (hand it to FileDownloader::start), so
// the file is written once and never read back.
std::unique_ptr<BodyFilter> bookTextFilter(const BrandWords& brand);

// Puts the cleaned temporary file in place of the book's file in one rename, so an older copy of
// the book survives anything that goes wrong before that (a missing or empty download included).
FinishResult finishCleanedBookFile(const BookDownloadPaths& paths);

// The transfer of a whole-book download without a window: prepares the folder, transfers the
// package into the temporary file, cleaning it on the way, and checks that it arrived whole and
// not empty. On failure the temporary file is removed. `whileWaiting` (may be empty) runs on the
// calling thread about five times a second during the transfer; returning false stops it.
FinishResult transferCleanedBook(std::string_view txtPackageUrl, const BookDownloadPaths& paths,
                                 const BrandWords& brand, FileDownloader& downloader,
                                 const std::function<bool()>& whileWaiting = {});

// A whole-book download without a window, for the command-line tool and the benchmark: prepares
// the folder, transfers and cleans the book, and puts it in place; on failure the temporary file
// is removed and any older copy kept. `whileWaiting` (may be empty) runs on the calling thread
// about five times a second during the transfer; returning false stops it.
FinishResult downloadBookFile(std::string_view txtPackageUrl, const BookDownloadPaths& paths,
                              const BrandWords& brand, FileDownloader& downloader,
                              const std::function<bool()>& whileWaiting = {});

}  // namespace novel
