#include "app/windows.h"

#include <QWidget>

#include "app/about_window.h"
#include "app/book_detail_window.h"
#include "bookmarks/bookmark_window.h"
#include "download/download_window.h"
#include "reader/reader_window.h"

namespace novel {

namespace {

void bringToFront(QWidget* window) {
    window->show();
    window->raise();
    window->activateWindow();
}

}  // namespace

Windows::Windows(AppState& state, QWidget* mainWindow) : state_(state), mainWindow_(mainWindow) {}

ReaderWindow* Windows::reader() {
    if (!reader_) reader_ = new ReaderWindow(state_, mainWindow_);
    return reader_;
}

ReaderWindow* Windows::showReader() {
    ReaderWindow* window = reader();
    bringToFront(window);
    return window;
}

DownloadWindow* Windows::showDownload() {
    if (!download_) {
        download_ = new DownloadWindow(state_, mainWindow_);
        download_->setAttribute(Qt::WA_DeleteOnClose);
    }
    bringToFront(download_);
    return download_;
}

BookmarkWindow* Windows::showBookmarks() {
    if (bookmarks_) bookmarks_->close();
    bookmarks_ = new BookmarkWindow(state_, mainWindow_);
    bookmarks_->setAttribute(Qt::WA_DeleteOnClose);
    bringToFront(bookmarks_);
    return bookmarks_;
}

void Windows::showBookDetail(QWidget* parent) {
    BookDetailWindow window(state_, parent ? parent : mainWindow_);
    window.exec();
}

void Windows::showAbout(QWidget* parent) {
    AboutWindow window(state_, parent ? parent : mainWindow_);
    window.exec();
}

}  // namespace novel
