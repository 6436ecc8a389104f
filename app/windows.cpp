#include "app/windows.h"

#include <QTimer>
#include <QWidget>

#include "app/about_window.h"
#include "app/app_state.h"
#include "app/book_detail_window.h"
#include "app/main_window.h"

namespace novel {

namespace {

void bringToFront(QWidget* window) {
    window->show();
    window->raise();
    window->activateWindow();
}

}  // namespace

Windows::Windows(AppState& state, QWidget* mainWindow)
    : state_(state), mainWindow_(mainWindow), bookshelf_(new Bookshelf(state, this)) {}

void Windows::attach(MainWindow* mainWindow) {
    connect(mainWindow, &MainWindow::bookDetailsArrived, this,
            [this, mainWindow](const CurrentBook& book) { showBookDetail(book, mainWindow); });
    connect(mainWindow, &MainWindow::readerRequested, this, &Windows::continueReading);
    connect(mainWindow, &MainWindow::shelfRequested, this, &Windows::showShelf);
    connect(bookshelf_, &Bookshelf::updatesChecked, mainWindow, [mainWindow](int withNews, int) {
        mainWindow->showShelfStatus(
            withNews > 0 ? QStringLiteral("书架：%1 本书有更新").arg(withNews) : QString());
    });
    // After the window is up, so a message about the library shows over it.
    QTimer::singleShot(0, mainWindow, [this, mainWindow] { bookshelf_->startUp(mainWindow); });
    connect(mainWindow, &MainWindow::fullTextSearchRequested, this, &Windows::showSearch);
}

ReaderWindow* Windows::reader() {
    if (reader_) return reader_;
    reader_ = new ReaderWindow(state_, mainWindow_);
    connect(reader_, &ReaderWindow::bookmarksRequested, this, &Windows::showBookmarks);
    connect(reader_, &ReaderWindow::downloadRequested, this, &Windows::showDownload);
    connect(reader_, &ReaderWindow::aboutRequested, this, [this] { showAbout(reader_); });
    connect(reader_, &ReaderWindow::shelfRequested, this,
            [this](const CurrentBook& book) { bookshelf_->add(book, reader_); });
    connect(reader_, &ReaderWindow::fullTextSearchRequested, this, &Windows::showSearch);
    return reader_;
}

ReaderWindow* Windows::showReader() {
    ReaderWindow* window = reader();
    bringToFront(window);
    return window;
}

ReaderWindow* Windows::continueReading() {
    const bool fresh = !reader_;
    ReaderWindow* window = showReader();
    // A reader that shows a book this run is only brought back.
    if (!fresh && (!window->book().bookUrl.empty() || !window->book().title.empty())) return window;
    if (const std::optional<ShelfBook> book = state_.library().continueReading())
        window->continueBook(*book);
    return window;
}

ShelfWindow* Windows::showShelf() {
    if (!shelf_) {
        shelf_ = new ShelfWindow(state_, *bookshelf_, mainWindow_);
        shelf_->setAttribute(Qt::WA_DeleteOnClose);
        connect(shelf_, &ShelfWindow::continueRequested, this,
                [this](const ShelfBook& book) { showReader()->continueBook(book); });
    }
    bringToFront(shelf_);
    return shelf_;
}

DownloadWindow* Windows::showDownload(const CurrentBook& book) {
    if (!download_) {
        download_ = new DownloadWindow(book, state_, mainWindow_);
        download_->setAttribute(Qt::WA_DeleteOnClose);
    }
    bringToFront(download_);
    return download_;
}

BookmarkWindow* Windows::showBookmarks() {
    if (bookmarks_) bookmarks_->close();
    bookmarks_ = new BookmarkWindow(state_, mainWindow_);
    bookmarks_->setAttribute(Qt::WA_DeleteOnClose);
    connect(bookmarks_, &BookmarkWindow::bookmarkOpened, this,
            [this](const Bookmark& bookmark) { showReader()->openBookmark(bookmark); });
    bringToFront(bookmarks_);
    return bookmarks_;
}

SearchWindow* Windows::showSearch() {
    if (!search_) {
        search_ = new SearchWindow(state_, mainWindow_);
        connect(search_, &SearchWindow::hitOpened, this,
                [this](const CurrentBook& book, const std::string& chapterUrl, int chapterRow,
                       const QString& query) {
                    showReader()->openAtHit(book, chapterUrl, chapterRow, query);
                });
    }
    search_->setCurrentBook(reader_ ? reader_->book() : CurrentBook{});
    bringToFront(search_);
    return search_;
}

void Windows::showBookDetail(const CurrentBook& book, QWidget* parent) {
    BookDetailWindow window(book, state_, parent ? parent : mainWindow_);
    connect(&window, &BookDetailWindow::readRequested, this,
            [this](const CurrentBook& chosen, ReadStart start) {
                showReader()->openBook(chosen, start);
            });
    connect(&window, &BookDetailWindow::shelfRequested, this,
            [this](const CurrentBook& chosen) { bookshelf_->add(chosen, mainWindow_); });
    window.exec();
}

void Windows::showAbout(QWidget* parent) {
    AboutWindow window(state_, parent ? parent : mainWindow_);
    window.exec();
}

}  // namespace novel
