#pragma once
// The start window: ranking and category lists, search, the book list and paging.

#include <QWidget>
#include <functional>
#include <memory>
#include <string>

#include "app/page_request.h"
#include "app/windows.h"
#include "catalogue/book_page.h"
#include "catalogue/list_parser.h"
#include "catalogue/paging.h"

class QComboBox;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QStatusBar;
class QTreeWidget;
class QTreeWidgetItem;

namespace novel {

class AppState;
class ClickableLabel;

class MainWindow : public QWidget {
    Q_OBJECT
  public:
    explicit MainWindow(AppState& state, QWidget* parent = nullptr);

    // Event handlers, one per row of the binding table. Those that read the site start a request
    // and return; its result is shown when it arrives.
    void onMainWindowCreated();
    void onCategorySelected();
    void onPrevPage();
    void onNextPage();
    void onSearch();
    void openBookDetail();
    void openNewsPage();
    void openChatGroupLink();
    void openHelpPage();
    void showReaderWindow();
    // Esc and the stop button: the requests under way end and change nothing.
    void stopLoading();

    // Loaders: fetch `url` in the background; when it arrived, it becomes currentListUrl and
    // BookList, PageCountLabel, PageLabel and the status bar show it, then `shown` runs. A page
    // that could not be read is reported and leaves the list as it was; a new load replaces one
    // still under way. A new search empties the list only once its answer has arrived.
    void loadRankingPage(std::string url, std::function<void()> shown = {});
    void loadCategoryPage(std::string url, std::function<void()> shown = {});
    void loadSearchPage(std::string url, bool newSearch = false, std::function<void()> shown = {});

    const std::string& currentListUrl() const { return currentListUrl_; }
    bool loading() const;

    Windows& windows() { return windows_; }
    // What the last update check of the shelf found, beside the status bar; empty hides it.
    void showShelfStatus(const QString& text);

  signals:
    // A book's page has arrived for the detail window.
    void bookDetailsArrived(const CurrentBook& book);
    // "阅读器": show the reader window.
    void readerRequested();
    // "书架": show the shelf window.
    void shelfRequested();
    // "全文搜索": show the full-text search window.
    void fullTextSearchRequested();

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

  private:
    void loadListPage(std::string url, ListLayout layout, std::function<void()> shown);
    // A fetched list or search-result page replaces the list: labels, rows, progress lines.
    void showPage(int pageCount, const std::vector<BookRow>& rows, const TextList& progressLines);
    void runLoader(PageParser parser, std::string url, std::function<void()> shown);
    void turnPage(PageStep step);
    void appendBookRow(const BookRow& row);
    void fitSizeColumn();
    void setStatusText(const QString& text);
    // A request that failed: the reason in the status bar and in a message.
    void reportFetchProblem(const FetchResult& result);
    void onRequestsRunning();

    AppState& state_;
    Windows windows_;  // the windows this one opens; they close with it

    ClickableLabel* bannerPicture_;
    QLineEdit* keywordEdit_;
    QComboBox* searchTypeCombo_;
    QPushButton* searchButton_;
    QComboBox* categoryCombo_;
    QPushButton* readerButton_;
    QPushButton* shelfButton_;
    QLabel* shelfStatusLabel_;
    QPushButton* fullTextSearchButton_;
    ClickableLabel* chatGroupLabel_;
    ClickableLabel* helpLabel_;
    QTreeWidget* bookList_;
    QStatusBar* statusBar_;
    QLabel* statusBarPart0_ = nullptr;  // added by the creation handler
    QLabel* pageLabel_;
    QLabel* pageSeparatorLabel_;
    QLabel* pageCountLabel_;
    QPushButton* prevPageButton_;
    QPushButton* nextPageButton_;
    QProgressBar* busyIndicator_;
    QPushButton* stopButton_;

    std::string currentListUrl_;
    PageRequest* listRequest_;  // list pages and searches: a newer one replaces an older one
    PageRequest* bookRequest_;  // the book page for the detail window
    int pendingPage_ = 0;       // the page a running page turn will show; 0 when none
    QString idleStatusText_;    // what the status bar said before the requests began
};

}  // namespace novel
