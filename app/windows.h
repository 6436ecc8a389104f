#pragma once
// The windows the program opens on demand, and the one place where they are wired together: each
// window says what happened through its signals (a book's details arrived, a read button, a
// bookmark opened, the reader asking for the download), and this class connects those to the
// window that acts on them. The reader window exists at most once and is reused; the download and
// bookmark windows are made afresh each time they are shown; the detail and about windows are
// modal. All are children of the main window, so they close with it.

#include <QObject>
#include <QPointer>

#include "app/search_window.h"
#include "bookmarks/bookmark_window.h"
#include "catalogue/book_page.h"
#include "download/download_window.h"
#include "library/bookshelf.h"
#include "library/shelf_window.h"
#include "reader/reader_window.h"

namespace novel {

class AppState;
class MainWindow;

class Windows : public QObject {
    Q_OBJECT
  public:
    Windows(AppState& state, QWidget* mainWindow);

    // Connects the main window's signals (book details arrived, "阅读器", "书架"); once the
    // message loop runs, the library is opened (a problem with it told once) and the start-up
    // update check of the shelf begins when one is due.
    void attach(MainWindow* mainWindow);

    // The reader window, made on first use; not shown.
    ReaderWindow* reader();
    // Shows the reader window modeless (made on first use) and brings it to the front.
    ReaderWindow* showReader();
    // "阅读器": the reader window; after a restart it goes on with the book read last, at its
    // chapter and paragraph.
    ReaderWindow* continueReading();
    // The shelf window, made on first use and raised.
    ShelfWindow* showShelf();
    Bookshelf& bookshelf() { return *bookshelf_; }
    // A reader window only when one exists.
    ReaderWindow* existingReader() const { return reader_; }

    // A new download window for `book`; while one is still open, that one is raised instead
    // (one book downloads at a time).
    DownloadWindow* showDownload(const CurrentBook& book);
    // A new bookmark window listing the slots as they are now.
    BookmarkWindow* showBookmarks();

    // The full-text search window (made on first use), its scope "本书" set to the reader's book.
    SearchWindow* showSearch();

    // Modal windows; they return when the window is closed.
    void showBookDetail(const CurrentBook& book, QWidget* parent = nullptr);
    void showAbout(QWidget* parent = nullptr);

  private:
    AppState& state_;
    QWidget* mainWindow_;
    QPointer<ReaderWindow> reader_;
    QPointer<DownloadWindow> download_;
    QPointer<BookmarkWindow> bookmarks_;
    QPointer<ShelfWindow> shelf_;
    Bookshelf* bookshelf_;
    QPointer<SearchWindow> search_;
};

}  // namespace novel
