#include "app/app_state.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QStandardPaths>
#include <utility>

namespace novel {
namespace {

// TODO(gui): read the file with loadSiteConfig once the configuration reader is on main.
SiteConfig readSiteConfig(const QString& /*path*/) {
    return SiteConfig{};
}

// Starts the embedded demo site on loopback and returns its base URL.
// TODO(gui): start DemoSite here (and keep it in AppState) once it is on main.
std::string startDemoSite() {
    return {};
}

}  // namespace

std::unique_ptr<AppState> AppState::forProgram() {
    const QString programFolder = QCoreApplication::applicationDirPath();
    SiteConfig config = readSiteConfig(programFolder + QStringLiteral("/site.ini"));
    std::string site = config.usesDemoSite() ? startDemoSite() : config.site;
    return std::make_unique<AppState>(std::move(config), std::move(site), programFolder,
                                      htmlFolderFor(programFolder));
}

AppState::AppState(SiteConfig config, std::string site, QString programFolder, QString htmlFolder)
    : config(std::move(config)),
      site(std::move(site)),
      programFolder(std::move(programFolder)),
      htmlFolder(std::move(htmlFolder)) {}

AppState::~AppState() {
    runExitCleanup();
}

void AppState::runExitCleanup() {
    if (exitCleanupDone_) return;
    exitCleanupDone_ = true;
    if (fileDownloader && fileDownloader->running()) fileDownloader->stop();
    fileDownloader.reset();
    currentBook = {};
    currentListUrl.clear();
    chapterText.clear();
    firstChapterTitle.clear();
    latestChapterTitle.clear();
    downloadRequest = {};
}

QString htmlFolderFor(const QString& programFolder) {
    if (QFileInfo(programFolder).isWritable()) return programFolder + QStringLiteral("/html");
    return QStandardPaths::writableLocation(QStandardPaths::AppDataLocation) +
           QStringLiteral("/html");
}

}  // namespace novel
