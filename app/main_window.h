#pragma once
// The start window: ranking and category lists, search, the book list and paging.

#include <QWidget>
#include <memory>

#include "app/windows.h"
#include "catalogue/list_parser.h"
#include "catalogue/paging.h"

class QComboBox;
class QLabel;
class QLineEdit;
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

    // Event handlers, one per row of the binding table.
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

    // Loaders: fetch currentListUrl and write BookList, PageCountLabel, PageLabel and the status
    // bar.
    // The loaders return false when the page could not be fetched (the user is told why and the
    // list is left as it was). A new search empties the list only once its answer has arrived.
    bool loadRankingPage();
    bool loadCategoryPage();
    bool loadSearchPage(bool newSearch = false);

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

  private:
    bool loadListPage(ListLayout layout);
    // A fetched list or search-result page replaces the list: labels, rows, progress lines.
    void showPage(int pageCount, const std::vector<BookRow>& rows, const TextList& progressLines);
    bool runLoader(PageParser parser);
    void turnPage(PageStep step);
    void appendBookRow(const BookRow& row);
    void fitSizeColumn();
    void setStatusText(const QString& text);
    // When the last request failed: the reason in the status bar and in a message; true then.
    bool reportFetchProblem();

    AppState& state_;
    Windows windows_;  // the windows this one opens; they close with it

    ClickableLabel* bannerPicture_;
    QLineEdit* keywordEdit_;
    QComboBox* searchTypeCombo_;
    QPushButton* searchButton_;
    QComboBox* categoryCombo_;
    QPushButton* readerButton_;
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
};

}  // namespace novel
