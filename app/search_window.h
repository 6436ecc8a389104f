#pragma once
// "全文搜索": full-text search over the chapters the library keeps. The hits come grouped by book,
// in chapter order, each with a snippet in which the hit is marked; Enter or a double-click on a
// chapter asks for the reader at that hit (hitOpened). While the index of an older library is
// still being built, the window builds it in the background and shows how far it got.

#include <QWidget>
#include <memory>
#include <string>
#include <thread>

#include "catalogue/book_page.h"
#include "library/library.h"

class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QTreeWidget;
class QTreeWidgetItem;

namespace novel {

class AppState;
class FulltextBuilder;

class SearchWindow : public QWidget {
    Q_OBJECT
  public:
    explicit SearchWindow(AppState& state, QWidget* parent = nullptr);
    ~SearchWindow() override;

    // The book of the scope "本书" (the reader's book); a book without address leaves it out.
    void setCurrentBook(const CurrentBook& book);
    // Runs the query of QueryEdit in the chosen scope off the GUI thread; the hits replace the
    // tree when they arrive (a newer search wins).
    void search();

  signals:
    void hitOpened(const CurrentBook& book, const std::string& chapterUrl, int chapterRow,
                   const QString& query);

  private:
    void showHits(quint64 serial, const FulltextResult& result, const QString& query);
    void showProgress(FulltextProgress progress);
    void openItem(QTreeWidgetItem* item);

    AppState& state_;
    CurrentBook currentBook_;
    quint64 serial_ = 0;
    std::thread searching_;
    std::unique_ptr<FulltextBuilder> builder_;

    QLineEdit* queryEdit_;
    QComboBox* scopeCombo_;
    QPushButton* findButton_;
    QTreeWidget* hitTree_;
    QLabel* statusLabel_;
};

}  // namespace novel
