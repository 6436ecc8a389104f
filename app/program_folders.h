#pragma once
// Where the program's files are when it runs from the build tree or a copied folder (beside the
// program) and when it is installed (cmake --install, the Debian package): then the program's
// folder is a shared bin folder, so settings live in the user's folders.

#include <QString>

namespace novel {

// Whether the program in `programFolder` is an installed one: its folder is the bin folder of an
// install prefix whose share folder holds the program's data.
bool isInstalledProgram(const QString& programFolder);

// site.ini beside the program; when there is none, the one in the user's configuration folder
// (QStandardPaths::AppConfigLocation, ~/.config/novelreader on Linux).
QString siteIniFor(const QString& programFolder);

// help.html beside the program, or in the install prefix's data folder.
QString helpPageFor(const QString& programFolder);

// The folder "打开下载目录" shows. Downloads go below the current directory; the program's own
// folder is the same one when run from where it was built, but never when it is installed.
QString downloadBaseFor(const QString& programFolder);

}  // namespace novel
