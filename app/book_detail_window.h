#pragma once
// One book's details, shown modally from the book list; the way on to the reader.

#include <QDialog>

class QLabel;
class QPlainTextEdit;
class QPushButton;

namespace novel {

class AppState;

class BookDetailWindow : public QDialog {
    Q_OBJECT
  public:
    explicit BookDetailWindow(AppState& state, QWidget* parent = nullptr);

    // Event handlers, one per row of the binding table.
    void fillBookDetailWindow();
    void readFromFirstChapter();
    void readLatestChapter();

  private:
    AppState& state_;

    QLabel* bookTitleLabel_;
    QLabel* coverPicture_;
    QPlainTextEdit* bookStatusEdit_;
    QPlainTextEdit* bookUpdateEdit_;
    QLabel* synopsisCaptionLabel_;
    QPlainTextEdit* synopsisEdit_;
    QPushButton* readFirstChapterButton_;
    QPushButton* readLatestChapterButton_;
};

}  // namespace novel
