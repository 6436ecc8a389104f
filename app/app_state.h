#pragma once
// Everything that outlives one event handler. The program makes one AppState at start and hands it
// to the windows by reference; the exit clean-up releases it.

#include <QString>
#include <memory>
#include <string>

#include "catalogue/book_page.h"
#include "catalogue/site_config.h"
#include "demo/demo_site.h"
#include "download/file_downloader.h"
#include "web/text.h"

namespace novel {

class Windows;

class AppState {
  public:
    // The state of the running program: site.ini as siteIniFor finds it, the demo site started when
    // the configuration asks for it, the html folder chosen as htmlFolderFor says.
    static std::unique_ptr<AppState> forProgram();

    // `demoSite`, when given, is the running site that `site` points at; it stops with the state.
    AppState(SiteConfig config, std::string site, QString programFolder, QString htmlFolder,
             std::unique_ptr<DemoSite> demoSite = nullptr);
    ~AppState();
    AppState(const AppState&) = delete;
    AppState& operator=(const AppState&) = delete;

    // Stops a running transfer, then releases the state and stops the demo site. Runs once; later
    // calls do nothing.
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

    // The windows opened on demand; set by the main window, which owns them.
    Windows* windows = nullptr;

    DownloadRequest downloadRequest;
    std::unique_ptr<FileDownloader> fileDownloader;  // no transfer at start; null after clean-up

  private:
    std::unique_ptr<DemoSite> demoSite_;
    bool exitCleanupDone_ = false;
};

// programFolder + "/html" when files can be made there, otherwise the same folder under the user's
// data folder, so settings and bookmarks are never silently lost. An installed program always
// uses the data folder.
QString htmlFolderFor(const QString& programFolder);

}  // namespace novel
