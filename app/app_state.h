#pragma once
// Everything that outlives one event handler. The program makes one AppState at start and hands it
// to the windows by reference; the exit clean-up releases it.

#include <QString>
#include <memory>
#include <string>

#include "catalogue/site_config.h"
#include "download/file_downloader.h"
#include "web/text.h"

namespace novel {

// The book last opened from the list or a bookmark: the hand-over from the catalogue to the
// reader, the bookmarks and the download.
// TODO(gui): replace with the catalogue's own CurrentBook once it is on main.
struct CurrentBook {
    Text title;
    Text author;
    Text status;
    Text bookUrl;
    Text bookUrlStem;
    Text tocUrl;
    Text txtPackageUrl;
    Text category;
    Text lastUpdate;
    Text wordCount;
    Text synopsis;
};

class AppState {
  public:
    // The state of the running program: site.ini beside the executable, the demo site started when
    // the configuration asks for it, the html folder chosen as htmlFolderFor says.
    static std::unique_ptr<AppState> forProgram();

    AppState(SiteConfig config, std::string site, QString programFolder, QString htmlFolder);
    ~AppState();
    AppState(const AppState&) = delete;
    AppState& operator=(const AppState&) = delete;

    // Stops a running transfer, then releases the state. Runs once; later calls do nothing.
    void runExitCleanup();
    bool exitCleanupDone() const { return exitCleanupDone_; }

    const SiteConfig config;
    const std::string site;  // base URL of the site, no trailing slash
    const QString programFolder;
    const QString htmlFolder;  // settings, bookmarks and the reader page

    CurrentBook currentBook;
    Text currentListUrl;

    // The reader's texts: the chapter on display and the chapters the reader was opened on.
    Text chapterText;
    Text firstChapterTitle;
    Text latestChapterTitle;

    DownloadRequest downloadRequest;
    std::unique_ptr<FileDownloader> fileDownloader;  // null until a download needs one

  private:
    bool exitCleanupDone_ = false;
};

// programFolder + "/html" when the program's folder is writable, otherwise the same folder under
// the user's data folder, so settings and bookmarks are never silently lost.
QString htmlFolderFor(const QString& programFolder);

}  // namespace novel
