#include "library/bookshelf.h"

#include <QPointer>
#include <QWidget>

#include "app/app_state.h"
#include "app/message_box.h"
#include "app/page_request.h"
#include "catalogue/site_urls.h"
#include "library/shelf_entry.h"
#include "reader/toc_parser.h"

namespace novel {

Bookshelf::Bookshelf(AppState& state, QObject* parent)
    : QObject(parent), state_(state), tocRequest_(new PageRequest(state.engine(), this)) {}

Bookshelf::~Bookshelf() {
    if (update_) update_->cancel();
    if (waiter_.joinable()) waiter_.join();
}

void Bookshelf::startUp(QWidget* parent) {
    Library& library = state_.library();
    if (!library.openProblem().empty() && !state_.libraryProblemShown) {
        state_.libraryProblemShown = true;
        showMessage(parent, QString::fromStdString(library.openProblem()));
    }
    checkUpdatesIfDue();
}

void Bookshelf::add(const CurrentBook& book, QWidget* parent) {
    QPointer<QWidget> window(parent);
    if (book.bookUrl.empty() || book.tocUrl.empty()) {
        showMessage(window, QStringLiteral("这本书没有书页地址，不能加入书架"));
        return;
    }
    if (!state_.library().writable()) {
        showMessage(window, QStringLiteral("加入书架失败：") +
                                QString::fromStdString(state_.library().openProblem()));
        return;
    }
    tocRequest_->start(
        {book.tocUrl, RequestStyle::Plain}, [this, book, window](const FetchResult& result) {
            if (!result.ok()) {
                showMessage(window, QStringLiteral("加入书架失败：读取目录失败：") +
                                        QString::fromStdString(result.problem));
                return;
            }
            const ShelfBook shelf =
                shelfBookOf(book, parseTableOfContents(textOf(result.body), book.bookUrlStem),
                            coverUrl(state_.site));
            const LibraryResult stored = state_.library().addBook(shelf);
            if (!stored.ok()) {
                showMessage(window, QString::fromStdString(stored.problem));
                return;
            }
            emit changed();
            showMessage(window, QStringLiteral("已加入书架"));
        });
}

bool Bookshelf::adding() const {
    return tocRequest_->running();
}

LibraryResult Bookshelf::remove(const std::string& bookUrl) {
    LibraryResult removed = state_.library().removeBook(bookUrl);
    if (removed.ok()) emit changed();
    return removed;
}

bool Bookshelf::checkUpdates() {
    Library& library = state_.library();
    if (checking_ || !library.writable()) return false;
    if (waiter_.joinable()) waiter_.join();  // the last check's waiter has handed over its results
    update_ = std::make_unique<ShelfUpdate>(library, state_.engine(), state_.cleaning());
    if (!update_->start()) return false;
    checking_ = true;
    emit checkingChanged(true);
    ShelfUpdate* update = update_.get();
    // The destructor cancels and joins this thread before anything of the shelf goes, so `this`
    // and `update` live while it runs; a queued call whose receiver is gone is dropped by Qt.
    waiter_ = std::thread([this, update] {
        std::vector<BookCheck> results = update->wait();
        QMetaObject::invokeMethod(
            this, [this, results = std::move(results)] { checkEnded(results); },
            Qt::QueuedConnection);
    });
    return true;
}

bool Bookshelf::checkUpdatesIfDue() {
    const UnixTime now = unixNow();
    for (const ShelfBook& book : state_.library().books())
        if (now - book.lastCheckAt >= kCheckIntervalSeconds) return checkUpdates();
    return false;
}

int Bookshelf::booksWithNews() {
    int count = 0;
    for (const ShelfBook& book : state_.library().books()) count += book.news.empty() ? 0 : 1;
    return count;
}

void Bookshelf::checkEnded(const std::vector<BookCheck>& results) {
    checking_ = false;
    int failed = 0;
    for (const BookCheck& check : results) failed += check.ok() ? 0 : 1;
    emit checkingChanged(false);
    emit changed();
    emit updatesChecked(booksWithNews(), failed);
}

}  // namespace novel
