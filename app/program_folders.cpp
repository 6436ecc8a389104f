#include "app/program_folders.h"

#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

// The prefix's data folder of the program, relative to its bin folder ("../share/novelreader");
// the build works it out from the same install folders the install rules use.
#ifndef NOVEL_INSTALLED_DATA_FROM_BIN
#define NOVEL_INSTALLED_DATA_FROM_BIN "../share/novelreader"
#endif

namespace novel {
namespace {

QString installedDataFolder(const QString& programFolder) {
    return QDir::cleanPath(programFolder + QLatin1Char('/') +
                           QStringLiteral(NOVEL_INSTALLED_DATA_FROM_BIN));
}

}  // namespace

bool isInstalledProgram(const QString& programFolder) {
    // Decided by layout, not by whether the folder is writable: root can write /usr/bin, and the
    // same program installed under ~/.local must still keep its files in the user's folders.
    return !programFolder.isEmpty() && QFileInfo(installedDataFolder(programFolder)).isDir();
}

QString siteIniFor(const QString& programFolder) {
    const QString beside = programFolder + QStringLiteral("/site.ini");
    if (QFileInfo::exists(beside)) return beside;
    return QStandardPaths::writableLocation(QStandardPaths::AppConfigLocation) +
           QStringLiteral("/site.ini");
}

QString helpPageFor(const QString& programFolder) {
    const QString beside = programFolder + QStringLiteral("/help.html");
    if (!QFileInfo::exists(beside) && isInstalledProgram(programFolder))
        return installedDataFolder(programFolder) + QStringLiteral("/help.html");
    return beside;
}

QString downloadBaseFor(const QString& programFolder) {
    return isInstalledProgram(programFolder) ? QDir::currentPath() : programFolder;
}

}  // namespace novel
