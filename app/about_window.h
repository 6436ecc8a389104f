#pragma once
// The about box: the maker, how to reach them, and where the book data come from.

#include <QDialog>

class QLabel;
class QPlainTextEdit;
class QPushButton;

namespace novel {

class AppState;
class ClickableLabel;

class AboutWindow : public QDialog {
    Q_OBJECT
  public:
    explicit AboutWindow(AppState& state, QWidget* parent = nullptr);

    // Event handlers, one per row of the binding table.
    void openHomePage();
    void openHelpPage();

  private:
    AppState& state_;

    QLabel* aboutPicture_;
    QLabel* authorLabel_;
    ClickableLabel* homePageLabel_;
    QLabel* mailLabel_;
    QLabel* contactLabel_;
    QPushButton* checkUpdateButton_;
    QPlainTextEdit* noticeEdit_;
};

}  // namespace novel
