#pragma once
// The program's bookshelf: adding a book (its table of contents is read in the background
// first), removing one, and the update checks of the whole shelf, which run on the request
// engine while every window goes on; their results come back to the GUI thread.

#include <QObject>
#include <memory>
#include <thread>

#include "catalogue/book_page.h"
#include "library/library.h"
#include "library/shelf_update.h"

class QWidget;

namespace novel {

class AppState;
class PageRequest;

class Bookshelf : public QObject {
    Q_OBJECT
  public:
    // The start-up check runs when the last check of some book is at least this old.
    static constexpr UnixTime kCheckIntervalSeconds = 3600;

    explicit Bookshelf(AppState& state, QObject* parent = nullptr);
    // Cancels a running check and waits for it.
    ~Bookshelf() override;

    // At program start: opens the library, tells the user once per run about a problem with it
    // (over `parent`), then starts an update check when one is due.
    void startUp(QWidget* parent);

    // Reads the book's table of contents, then puts the book on the shelf and says so over
    // `parent` ("已加入书架"); a failure is reported there too. Returns at once.
    void add(const CurrentBook& book, QWidget* parent);
    LibraryResult remove(const std::string& bookUrl);
    bool adding() const;

    // Checks every book of the shelf in the background; false when one is running already or
    // the library cannot keep the results.
    bool checkUpdates();
    // checkUpdates when some book was not checked for kCheckIntervalSeconds.
    bool checkUpdatesIfDue();
    bool checking() const { return checking_; }
    // The books of the shelf that have news from their last check.
    int booksWithNews();

  signals:
    // A book was added or removed, or a check stored its results.
    void changed();
    void checkingChanged(bool checking);
    // A check ended: how many books have news, how many could not be checked.
    void updatesChecked(int booksWithNews, int failed);

  private:
    void checkEnded(const std::vector<BookCheck>& results);

    AppState& state_;
    PageRequest* tocRequest_;
    std::unique_ptr<ShelfUpdate> update_;
    std::thread waiter_;  // waits for the check's end off the GUI thread
    bool checking_ = false;
};

}  // namespace novel
