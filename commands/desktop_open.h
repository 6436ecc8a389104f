#pragma once
// The small commands that hand something to the desktop: a web page to the user's browser, the
// download folder to the file manager. Tests set hooks to see what would be opened instead.

#include <QString>
#include <QUrl>
#include <functional>
#include <string>

namespace novel {

// The page one of the maker's links opens: the address configured for it, or, where none is
// configured, the help page shipped with the program (helpPageFor).
QUrl makerPageUrl(const std::string& configured, const QString& programFolder);

// Hands the page to the desktop's default browser; failures are not reported.
void openWebPage(const QUrl& url);
void openMakerPage(const std::string& configured, const QString& programFolder);

// Opens "下载小说" in the program's folder (the current directory for an installed program,
// downloadBaseFor): the file manager shows that folder with it selected. Nothing happens while the
// folder does not exist.
void openDownloadFolder(const QString& programFolder);

// While a hook is set, it receives what would be opened and nothing is launched. An empty hook
// restores the desktop.
using UrlOpenHook = std::function<void(const QUrl& url)>;
void setUrlOpenHook(UrlOpenHook hook);
using FolderOpenHook = std::function<void(const QString& selectedPath)>;
void setFolderOpenHook(FolderOpenHook hook);

}  // namespace novel
