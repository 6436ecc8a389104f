#pragma once
// "书架": the books of the library with where reading stands and what the last update check
// found. A double-click continues reading a book; the window removes books, checks the shelf
// for updates and clears the chapter cache.

#include <QWidget>

#include "library/library.h"

class QLabel;
class QPushButton;
class QTreeWidget;

namespace novel {

class AppState;
class Bookshelf;
class PageRequest;

class ShelfWindow : public QWidget {
    Q_OBJECT
  public:
    // Columns of ShelfList.
    enum Column {
        CoverColumn,
        TitleColumn,
        AuthorColumn,
        ReadColumn,
        ProgressColumn,
        UnreadColumn,
        NewsColumn
    };

    ShelfWindow(AppState& state, Bookshelf& shelf, QWidget* parent = nullptr);

    // Fills ShelfList from the library again.
    void refresh();
    // The selected book's address; empty when none is selected.
    std::string selectedBook() const;

    // Event handlers.
    void continueSelected();
    void removeSelected();
    void checkUpdates();
    void clearCache();

  signals:
    // A double-click: the reader is to go on with this book (with its table of contents).
    void continueRequested(const ShelfBook& book);

  private:
    void onCheckingChanged(bool checking);
    void onUpdatesChecked(int booksWithNews, int failed);

    AppState& state_;
    Bookshelf& shelf_;
    PageRequest* coverRequest_;
    QPixmap cover_;

    QTreeWidget* shelfList_;
    QPushButton* removeButton_;
    QPushButton* checkUpdatesButton_;
    QPushButton* clearCacheButton_;
    QLabel* statusLabel_;
};

}  // namespace novel
