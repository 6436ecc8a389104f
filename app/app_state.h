#pragma once
// What the whole program shares: the configuration, the site, the folders, the request engine and
// the background transfer. The windows hold their own data (the reader its book); the program makes
// one AppState at start and hands it to the windows by reference; the exit clean-up releases it.

#include <QString>
#include <memory>
#include <string>

#include "catalogue/book_page.h"
#include "catalogue/site_config.h"
#include "demo/demo_site.h"
#include "download/file_downloader.h"
#include "library/library.h"
#include "speech/speaker.h"
#include "web/request_engine.h"
#include "web/text.h"

namespace novel {

class AppState {
  public:
    // The state of the running program: site.ini as siteIniFor finds it, the demo site started when
    // the configuration asks for it, the html folder chosen as htmlFolderFor says.
    static std::unique_ptr<AppState> forProgram();

    // `demoSite`, when given, is the running site that `site` points at; it stops with the state.
    // The library file is "library.db" in the html folder unless libraryFile is set before first
    // use.
    AppState(SiteConfig config, std::string site, QString programFolder, QString htmlFolder,
             std::unique_ptr<DemoSite> demoSite = nullptr);
    ~AppState();
    AppState(const AppState&) = delete;
    AppState& operator=(const AppState&) = delete;

    // Stops a running transfer, then stops the demo site. Runs once; later calls do nothing.
    void runExitCleanup();
    bool exitCleanupDone() const { return exitCleanupDone_; }

    const SiteConfig config;
    const std::string site;  // base URL of the site, no trailing slash
    const QString programFolder;
    const QString htmlFolder;  // settings, bookmarks and the reader page

    // The program's one request engine: every window's requests run there, off the GUI thread.
    RequestEngine& engine() { return *engine_; }

    // The library (shelf, chapter cache, positions), opened on first use. It may be read-only or
    // unavailable (see Library::state and openProblem); the program reads on without it then.
    Library& library();
    // How chapter pages are cleaned, as the configuration says.
    const ChapterCleaning& cleaning() const { return cleaning_; }
    // Where library() lives: the user's data folder for the program; tests choose their own.
    std::filesystem::path libraryFile;

    // The speech engine each reader window makes for reading aloud; empty: none (tests that do
    // not read aloud never start the system's speech service).
    SpeakerFactory speakerFactory;
    // The library's open problem has been shown to the user (once a run).
    bool libraryProblemShown = false;

    DownloadRequest downloadRequest;
    std::unique_ptr<FileDownloader> fileDownloader;  // no transfer at start; null after clean-up

  private:
    // Declared so that the engine goes first: its last callbacks may still use the library, and
    // its requests talk to the demo site.
    std::unique_ptr<DemoSite> demoSite_;
    std::unique_ptr<Library> library_;
    ChapterCleaning cleaning_;
    std::unique_ptr<RequestEngine> engine_;
    bool exitCleanupDone_ = false;
};

// programFolder + "/html" when files can be made there, otherwise the same folder under the user's
// data folder, so settings and bookmarks are never silently lost. An installed program always
// uses the data folder.
QString htmlFolderFor(const QString& programFolder);

}  // namespace novel
