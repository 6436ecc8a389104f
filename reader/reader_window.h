#pragma once
// The reading window: the chapter as a local web page, the chapter list, the appearance toolbar.

#include <QPointer>
#include <QWidget>
#include <filesystem>
#include <vector>

#include "reader/reader_style.h"
#include "reader/toc_parser.h"
#include "web/text.h"

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

    // Opening the reader on CurrentBook (the detail window's two read buttons): loads the table of
    // contents, shows the first or the last chapter and remembers its title.
    void openAtFirstChapter();
    void openAtLatestChapter();

    // Fetches row `row` of ChapterList, writes ReaderPage from it and shows it. A row that does not
    // exist shows a page with an empty title and text.
    // False (the user told why, the page and selection left alone) when the chapter could not be
    // fetched or written.
    bool showChapter(int row);
    // Fetches CurrentBook's table of contents; when it arrived, its chapters replace the rows of
    // ChapterList. On a failed fetch the user is told, the list stays and the result is false.
    bool reloadTableOfContents();
    // Appends the chapters of a table-of-contents page to ChapterList.
    void loadTableOfContents(std::string_view page);
    // After a chapter change: a double-click on the new page once it has loaded starts its
    // scrolling script again.
    void restartScrolling();

    // The selected row of ChapterList, -1 when none; selecting also scrolls the row into view.
    int selectedRow() const;
    void setSelectedRow(int row);

    ReaderTemplates templates() const;
    std::filesystem::path readerPagePath() const;

    // Event handlers, one per row of the binding table.
    void loadReaderSettings();
    void saveReaderSettings();
    void onAutoNextClicked();
    void onScrollClicked();
    void onHideChapterListClicked();
    void showBookmarkWindow();
    void showDownloadWindow();
    void findDocumentWindow(bool loaded);
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
    void setChapters(const std::vector<ChapterEntry>& chapters, int row);

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void changeEvent(QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void moveEvent(QMoveEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

  private:
    enum class MouseGesture { Click, DoubleClick, Release };
    // Delivers a left-button gesture at point (10, 10) of the page's input widget, so the page's
    // own mouse handlers run; the user's pointer is not touched.
    void postMouseGesture(MouseGesture gesture);
    void setTemplates(const ReaderTemplates& templates);
    std::filesystem::path htmlFolder() const;
    void setAutoNextInterval(int milliseconds);
    void stopAutoNext();
    Text chapterTitleAt(int row) const;
    // The outer size the layout rules are written for: the client area plus the nominal frame.
    QSize outerSize() const;
    void showChapterList(bool shown, int outerWidth);

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

    // BrowserDocumentWindow: the widget inside ReaderBrowser that takes the page's input.
    QPointer<QWidget> documentWindow_;
    bool arrowKeysRegistered_ = false;
    bool scrollWhenLoaded_ = false;
    qint64 lastGestureTime_ = 0;
};

}  // namespace novel
