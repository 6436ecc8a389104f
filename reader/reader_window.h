#pragma once
// The reading window: the chapter as a local web page, the chapter list, the appearance toolbar.

#include <QPointer>
#include <QWidget>
#include <filesystem>
#include <functional>
#include <system_error>
#include <vector>

#include "bookmarks/bookmark_file.h"
#include "catalogue/book_page.h"
#include "reader/read_start.h"
#include "reader/reader_layout.h"
#include "reader/reader_style.h"
#include "reader/toc_parser.h"
#include "web/text.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QMenu;
class QProgressBar;
class QPushButton;
class QTimer;
class QTreeWidget;

namespace novel {

class AppState;
class ClickableLabel;
class ImmersiveMode;
class LayoutDialog;
class PageTurner;
class ReadingBar;
class PageRequest;
class ReaderView;
class ReadAloudPanel;
class ReadingTracker;
struct ShelfBook;
struct FetchResult;
class TemplateEdit;

class ReaderWindow : public QWidget {
    Q_OBJECT
  public:
    explicit ReaderWindow(AppState& state, QWidget* parent = nullptr);
    ~ReaderWindow() override;

    // Opening the reader on a book (the detail window's two read buttons): its table of contents
    // is read in the background; when it has arrived the book becomes the reader's, its chapters
    // fill ChapterList and the first or the last chapter is shown. A table of contents that cannot
    // be read is reported and leaves the reader as it was.
    void openBook(const CurrentBook& book, ReadStart start);
    // Opening a bookmark: its book and saved chapters become the reader's and the saved chapter
    // is shown.
    void openBookmark(const Bookmark& bookmark);
    // Continuing a book of the library: its stored chapters fill ChapterList and the chapter last
    // read is shown with its stored paragraph at the top; without stored chapters it opens as
    // openBook does at the first chapter.
    void continueBook(const ShelfBook& book);
    // Opening a full-text hit: the book's table of contents is read (unless the book is already
    // open), the chapter at `chapterUrl` (else row `chapterRow`) is shown, and once the page has
    // loaded the hit of `query` is marked and scrolled into view.
    void openAtHit(const CurrentBook& book, const std::string& chapterUrl, int chapterRow,
                   const QString& query);

    // Reads row `row` of ChapterList in the background, then writes ReaderPage from it, shows it
    // and runs `shown`. A row that does not exist shows a page with an empty title and text at
    // once. A chapter that cannot be read or written is reported, and the page and selection
    // stay; a newer chapter request replaces one still running.
    void showChapter(int row, std::function<void()> shown = {});
    // Reads the reader's table of contents again ("获取全部章节"); when it arrived, its chapters
    // replace the rows of ChapterList. A failed read is reported and the list stays.
    void reloadTableOfContents();
    // Appends the chapters of a table-of-contents page of the reader's book to ChapterList.
    void loadTableOfContents(std::string_view page);
    // After a chapter change: a double-click on the new page once it has loaded starts its
    // scrolling script again.
    void restartScrolling();
    // Esc and the stop button: the requests under way end and change nothing.
    void stopLoading();
    bool loading() const;

    // The book on display and the chapter text of the page.
    const CurrentBook& book() const { return book_; }
    const Text& chapterText() const { return chapterText_; }
    const Text& firstChapterTitle() const { return firstChapterTitle_; }
    const Text& latestChapterTitle() const { return latestChapterTitle_; }

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
    // Reading comfort: a theme's colours into the toolbar and the page (not saved until
    // "保存设置"), the "版式" dialog (its choice saved in reader.ini at once), immersive reading
    // (F11) and Esc, which leaves immersive reading first and stops loading otherwise.
    void chooseTheme(int index);
    void showLayoutDialog();
    void applyLayout(const ReaderLayout& layout);
    void toggleImmersive();
    void onEscape();
    bool immersive() const;
    const ReaderLayout& layout() const { return layout_; }

    // Puts chapters into ChapterList and selects one row (none when the row does not exist).
    void setChapters(const std::vector<ChapterEntry>& chapters, int row);

    // Reading aloud: the rows of ChapterList, the row whose page is written (-1 before any), the
    // page's view, and the hold that pauses auto-scroll and auto-advance while speech moves the
    // page (released, each resumes when its box is ticked).
    int chapterCount() const;
    ChapterEntry chapterAt(int row) const;
    int shownRow() const { return shownRow_; }
    // The web view (null when the web engine could not be loaded).
    ReaderView* browser() const { return view_; }
    void holdForSpeech(bool held);
    ReadAloudPanel* readAloudPanel() const { return readAloudPanel_; }

  signals:
    void bookmarksRequested();
    void downloadRequested(const CurrentBook& book);
    void aboutRequested();
    // Reading aloud has reached paragraph `paragraph` of row `chapterRow` (the reading position).
    void readingPositionChanged(int chapterRow, int paragraph);
    // "加入书架" in the reader menu.
    void shelfRequested(const CurrentBook& book);
    void fullTextSearchRequested();

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
    // A chapter move: shows `row`, then selects it (and restarts the scrolling when ticked).
    void moveToChapter(int row);
    void onRequestsRunning();
    void onAutoNextTick();
    // A request that failed: auto-advance stops and the user is told why.
    void reportProblem(const QString& what, const FetchResult& result);
    // Writes ReaderPage again for the chapter on display (empty when none) and shows it.
    std::error_code redrawPage();
    void showReadingHint(const QString& text);
    // Rows of ChapterList from `from` on, at most `count` of them (all when count < 0).
    std::vector<ChapterEntry> chapterEntries(int from, int count) const;

    AppState& state_;
    CurrentBook book_;
    Text chapterText_;
    Text firstChapterTitle_;
    Text latestChapterTitle_;
    PageRequest* tocRequest_;
    PageRequest* chapterRequest_;
    int pendingRow_ = -1;  // the row a running chapter move will select; -1 when none
    QString pendingHit_;   // a full-text hit to mark when the page has loaded
    int shownRow_ = -1;
    bool speechHeld_ = false;
    ReadingTracker* tracking_;  // the chapter cache, read-ahead and the reading position

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
    ReadingBar* readingBar_;
    QComboBox* themeCombo_;

    QWidget* readerBrowser_;      // the web view, or a note saying why there is none
    ReaderView* view_ = nullptr;  // the web view's interface; it goes with the widget
    QTreeWidget* chapterList_;
    QLabel* readerStatusLabel_;
    QProgressBar* busyIndicator_;
    QPushButton* stopButton_;
    ClickableLabel* prevChapterLabel_;
    ClickableLabel* nextChapterLabel_;
    QPushButton* getAllChaptersButton_;
    QTimer* autoNextTimer_;
    TemplateEdit* pageHeadTemplate_;
    TemplateEdit* pageBodyStyleTemplate_;
    TemplateEdit* pageScriptTemplate_;

    QMenu* readerMenu_;
    PageTurner* pageTurner_ = nullptr;
    ImmersiveMode* immersive_ = nullptr;
    LayoutDialog* layoutDialog_ = nullptr;
    ReaderLayout layout_;  // from reader.ini
    ReadAloudPanel* readAloudPanel_;

    // BrowserDocumentWindow: the widget inside ReaderBrowser that takes the page's input.
    QPointer<QWidget> documentWindow_;
    bool arrowKeysRegistered_ = false;
    bool scrollWhenLoaded_ = false;
    qint64 lastGestureTime_ = 0;
};

}  // namespace novel
