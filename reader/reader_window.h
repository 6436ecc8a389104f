#pragma once
// The reading window: the chapter as a local web page, the chapter list, the appearance toolbar.

#include <QWidget>
#include <vector>

#include "reader/toc_parser.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QMenu;
class QPushButton;
class QTimer;
class QTreeWidget;
class QWebEngineView;

namespace novel {

class AppState;
class ClickableLabel;
class TemplateEdit;

class ReaderWindow : public QWidget {
    Q_OBJECT
  public:
    explicit ReaderWindow(AppState& state, QWidget* parent = nullptr);
    ~ReaderWindow() override;

    // Event handlers, one per row of the binding table.
    void loadReaderSettings();
    void saveReaderSettings();
    void onAutoNextClicked();
    void onScrollClicked();
    void onHideChapterListClicked();
    void showBookmarkWindow();
    void showDownloadWindow();
    void findDocumentWindow();
    void readSelectedChapter();
    void popUpReaderMenu(const QPoint& position);
    void previousChapter();
    void nextChapter();
    void onGetAllChapters();
    void saveBookmark();
    void openDownloadFolder();
    void openHelpPage();
    void showAboutWindow();
    void registerArrowKeys();
    void unregisterArrowKeys();
    void onReaderMoved();
    void layoutReader();

    // For opening a bookmark: puts the saved chapters into ChapterList and selects one row (none
    // when the row does not exist).
    void setChapters(const std::vector<ChapterEntry>& chapters, int selectedRow);

  protected:
    void changeEvent(QEvent* event) override;
    void moveEvent(QMoveEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

  private:
    AppState& state_;

    QLabel* toolbarStripLabel_;
    QLabel* backgroundColorCaptionLabel_;
    QComboBox* backgroundColorCombo_;
    QLabel* fontCaptionLabel_;
    QComboBox* fontCombo_;
    QLabel* textColorCaptionLabel_;
    QComboBox* textColorCombo_;
    QLabel* fontSizeCaptionLabel_;
    QLineEdit* fontSizeEdit_;
    QLabel* scrollSpeedCaptionLabel_;
    QLineEdit* scrollSpeedEdit_;
    QPushButton* saveSettingsButton_;
    QCheckBox* autoNextCheck_;
    QLineEdit* autoNextIntervalEdit_;
    QLabel* millisecondsCaptionLabel_;
    QCheckBox* scrollCheck_;
    QPushButton* bookmarkButton_;
    QPushButton* downloadBookButton_;
    QCheckBox* hideChapterListCheck_;

    QWebEngineView* readerBrowser_;
    QTreeWidget* chapterList_;
    QLabel* readerStatusLabel_;
    ClickableLabel* prevChapterLabel_;
    ClickableLabel* nextChapterLabel_;
    QPushButton* getAllChaptersButton_;
    QTimer* autoNextTimer_;
    TemplateEdit* pageHeadTemplate_;
    TemplateEdit* pageBodyStyleTemplate_;
    TemplateEdit* pageScriptTemplate_;

    QMenu* readerMenu_;
};

}  // namespace novel
