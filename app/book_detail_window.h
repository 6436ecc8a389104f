#pragma once
// One book's details, shown modally from the book list; the way on to the reader.

#include <QDialog>

#include "catalogue/book_page.h"
#include "reader/read_start.h"

class QLabel;
class QPlainTextEdit;
class QPushButton;

namespace novel {

class AppState;
class PageRequest;

class BookDetailWindow : public QDialog {
    Q_OBJECT
  public:
    // The window shows `book`; its cover is read in the background.
    BookDetailWindow(CurrentBook book, AppState& state, QWidget* parent = nullptr);

    const CurrentBook& book() const { return book_; }

    // Event handlers, one per row of the binding table.
    void fillBookDetailWindow();
    void readFromFirstChapter();
    void readLatestChapter();

  signals:
    // One of the two read buttons: the reader is to open this book there.
    void readRequested(const CurrentBook& book, ReadStart start);
    // "加入书架": this book is to go on the shelf.
    void shelfRequested(const CurrentBook& book);

  private:
    AppState& state_;
    CurrentBook book_;
    PageRequest* coverRequest_;

    QLabel* bookTitleLabel_;
    QLabel* coverPicture_;
    QPlainTextEdit* bookStatusEdit_;
    QPlainTextEdit* bookUpdateEdit_;
    QLabel* synopsisCaptionLabel_;
    QPlainTextEdit* synopsisEdit_;
    QPushButton* readFirstChapterButton_;
    QPushButton* readLatestChapterButton_;
    QPushButton* addToShelfButton_;
};

}  // namespace novel
