#include "commands/desktop_open.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDesktopServices>
#include <QFileInfo>
#include <utility>

#include "app/program_folders.h"

namespace novel {
namespace {

UrlOpenHook& urlOpenHook() {
    static UrlOpenHook hook;
    return hook;
}

FolderOpenHook& folderOpenHook() {
    static FolderOpenHook hook;
    return hook;
}

// The freedesktop file-manager call that opens a folder with an item selected. Where no file
// manager answers it, the folder itself is opened the ordinary way.
void showItemInFileManager(const QString& path) {
    const QUrl folder = QUrl::fromLocalFile(path);
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) {
        QDesktopServices::openUrl(folder);
        return;
    }
    QDBusMessage call = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.FileManager1"),
        QStringLiteral("/org/freedesktop/FileManager1"),
        QStringLiteral("org.freedesktop.FileManager1"), QStringLiteral("ShowItems"));
    call << QStringList{folder.toString(QUrl::FullyEncoded)} << QString();
    auto* watcher = new QDBusPendingCallWatcher(bus.asyncCall(call, 5000), qApp);
    QObject::connect(watcher, &QDBusPendingCallWatcher::finished, watcher,
                     [folder](QDBusPendingCallWatcher* finished) {
                         if (finished->isError()) QDesktopServices::openUrl(folder);
                         finished->deleteLater();
                     });
}

}  // namespace

QUrl makerPageUrl(const std::string& configured, const QString& programFolder) {
    const QString address = QString::fromStdString(configured).trimmed();
    if (address.isEmpty()) return QUrl::fromLocalFile(helpPageFor(programFolder));
    return QUrl::fromUserInput(address);
}

void openWebPage(const QUrl& url) {
    if (const UrlOpenHook& hook = urlOpenHook()) return hook(url);
    QDesktopServices::openUrl(url);
}

void openMakerPage(const std::string& configured, const QString& programFolder) {
    openWebPage(makerPageUrl(configured, programFolder));
}

void openDownloadFolder(const QString& programFolder) {
    const QString path = downloadBaseFor(programFolder) + QStringLiteral("/下载小说");
    if (!QFileInfo(path).isDir()) return;
    if (const FolderOpenHook& hook = folderOpenHook()) return hook(path);
    showItemInFileManager(path);
}

void setUrlOpenHook(UrlOpenHook hook) {
    urlOpenHook() = std::move(hook);
}

void setFolderOpenHook(FolderOpenHook hook) {
    folderOpenHook() = std::move(hook);
}

}  // namespace novel
