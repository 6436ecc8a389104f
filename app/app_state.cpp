#include "app/app_state.h"

#include <QCoreApplication>
#include <QStandardPaths>
#include <utility>

#include "app/program_folders.h"
#include "web/file_io.h"

namespace novel {

std::unique_ptr<AppState> AppState::forProgram() {
    const QString programFolder = QCoreApplication::applicationDirPath();
    SiteConfig config = loadSiteConfig(siteIniFor(programFolder).toStdString());
    std::string site = config.site;
    std::unique_ptr<DemoSite> demoSite;
    if (config.usesDemoSite()) {
        // Without a site the catalogue simply finds nothing; start-up itself never fails.
        demoSite = std::make_unique<DemoSite>(DemoSite::Options::fromConfig(config));
        site = demoSite->startPreferring(config.demoPort.value_or(kDefaultDemoPort))
                   ? demoSite->url()
                   : std::string();
    }
    auto state = std::make_unique<AppState>(std::move(config), std::move(site), programFolder,
                                            htmlFolderFor(programFolder), std::move(demoSite));
    // The library is the user's, shared with the command-line tool, wherever the program lives.
    const QString data = QStandardPaths::writableLocation(QStandardPaths::AppDataLocation);
    if (!data.isEmpty())
        state->libraryFile = std::filesystem::path(data.toStdString()) / "library.db";
    return state;
}

Library& AppState::library() {
    if (!library_) {
        const std::filesystem::path file =
            libraryFile.empty() ? std::filesystem::path(htmlFolder.toStdString()) / "library.db"
                                : libraryFile;
        library_ = std::make_unique<Library>(file, site);
    }
    return *library_;
}

AppState::AppState(SiteConfig config, std::string site, QString programFolder, QString htmlFolder,
                   std::unique_ptr<DemoSite> demoSite)
    : config(std::move(config)),
      site(std::move(site)),
      programFolder(std::move(programFolder)),
      htmlFolder(std::move(htmlFolder)),
      fileDownloader(std::make_unique<FileDownloader>()),
      demoSite_(std::move(demoSite)),
      cleaning_(ChapterCleaning::fromConfig(this->config)),
      engine_(std::make_unique<RequestEngine>(
          EngineOptions{.pageTimeLimitSeconds = this->config.pageTimeLimitSeconds})) {}

AppState::~AppState() {
    runExitCleanup();
}

void AppState::runExitCleanup() {
    if (exitCleanupDone_) return;
    exitCleanupDone_ = true;
    if (fileDownloader && fileDownloader->running()) fileDownloader->stop();
    fileDownloader.reset();
    downloadRequest = {};
    // The engine stays until the state goes (windows still hold their requests in it); a request
    // that meets the stopped demo site only fails, and its window's loop has ended by then.
    demoSite_.reset();
}

QString htmlFolderFor(const QString& programFolder) {
    const QString beside = programFolder + QStringLiteral("/html");
    if (!isInstalledProgram(programFolder) && folderIsWritable(beside.toStdString())) return beside;
    return QStandardPaths::writableLocation(QStandardPaths::AppDataLocation) +
           QStringLiteral("/html");
}

}  // namespace novel
