#pragma once
// The windows that handlers open on demand. The reader window exists at most once and is reused;
// the download and bookmark windows are made afresh each time they are shown (their creation does
// their work); the detail and about windows are modal. All are children of the main window, so
// they close with it.

#include <QPointer>

#include "bookmarks/bookmark_window.h"
#include "download/download_window.h"
#include "reader/reader_window.h"

namespace novel {

class AppState;

class Windows {
  public:
    Windows(AppState& state, QWidget* mainWindow);

    // The reader window, made on first use; not shown.
    ReaderWindow* reader();
    // Shows the reader window modeless (made on first use) and brings it to the front.
    ReaderWindow* showReader();
    // A reader window only when one exists.
    ReaderWindow* existingReader() const { return reader_; }

    // A new download window for CurrentBook; while one is still open, that one is raised instead
    // (one book downloads at a time).
    DownloadWindow* showDownload();
    // A new bookmark window listing the slots as they are now.
    BookmarkWindow* showBookmarks();

    // Modal windows; they return when the window is closed.
    void showBookDetail(QWidget* parent);
    void showAbout(QWidget* parent);

  private:
    AppState& state_;
    QWidget* mainWindow_;
    QPointer<ReaderWindow> reader_;
    QPointer<DownloadWindow> download_;
    QPointer<BookmarkWindow> bookmarks_;
};

}  // namespace novel
