#pragma once
// The five bookmarks: list, open and delete.

#include <QWidget>

#include "bookmarks/bookmark_file.h"

class QLabel;
class QMenu;
class QTreeWidget;

namespace novel {

class AppState;

class BookmarkWindow : public QWidget {
    Q_OBJECT
  public:
    explicit BookmarkWindow(AppState& state, QWidget* parent = nullptr);

    // Event handlers, one per row of the binding table.
    void listBookmarks();
    void openBookmark();
    void popUpBookmarkMenu(const QPoint& position);
    void deleteBookmark();

  signals:
    // A double-clicked bookmark, read from its file: the reader is to open it.
    void bookmarkOpened(const Bookmark& bookmark);

  private:
    AppState& state_;

    QLabel* bookmarkTitleLabel_;
    QTreeWidget* bookmarkList_;
    QLabel* bookmarkLimitLabel_;
    QMenu* bookmarkMenu_;
};

}  // namespace novel
