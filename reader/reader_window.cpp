#include "reader/reader_window.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QColor>
#include <QComboBox>
#include <QElapsedTimer>
#include <QEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMouseEvent>
#include <QProgressBar>
#include <QPushButton>
#include <QShortcut>
#include <QTimer>
#include <QTreeWidget>
#include <QWheelEvent>
#include <algorithm>
#include <cerrno>
#include <utility>

#include "app/app_state.h"
#include "app/controls.h"
#include "app/message_box.h"
#include "app/page_request.h"
#include "app/qt_text.h"
#include "bookmarks/bookmark_file.h"
#include "commands/desktop_open.h"
#include "library/reading_tracker.h"
#include "library/shelf_entry.h"
#include "reader/chapter.h"
#include "reader/hit_highlight.h"
#include "reader/immersive_mode.h"
#include "reader/layout_dialog.h"
#include "reader/read_aloud_panel.h"
#include "reader/reader_keys.h"
#include "reader/reader_settings.h"
#include "reader/reader_themes.h"
#include "reader/reader_view.h"
#include "reader/reading_bar.h"
#include "reader/toc_parser.h"
#include "web/file_io.h"
#include "web/request_engine.h"

namespace novel {
namespace {

// The layout rules count from the window's outer size: the page starts below the toolbar and
// ends where the status line begins (outer height - 55).
constexpr int kToolbarHeight = 23;
constexpr int kStatusHeight = 17;
constexpr int kChapterListWidth = 160;

// Synthesized presses further apart than this never count as one double-click.
constexpr qint64 kGestureGapMs = 10000;

QString fileErrorText(std::error_code error) {
    switch (error.value()) {
        case EACCES:
        case EPERM:
            return QStringLiteral("没有写入权限");
        case ENOSPC:
            return QStringLiteral("磁盘空间不足");
        case EDQUOT:
            return QStringLiteral("超出磁盘配额");
        case EROFS:
            return QStringLiteral("磁盘是只读的");
        case ENOTDIR:
        case EEXIST:
            return QStringLiteral("路径中的文件夹被同名的文件占用");
        case EISDIR:
        case ENOTEMPTY:
            return QStringLiteral("目标位置是一个文件夹");
        default:
            return QString::fromStdString(error.message());
    }
}

QString pathText(const std::filesystem::path& path) {
    return QString::fromStdString(path.string());
}

QString settingName(StyleSetting setting) {
    switch (setting) {
        case StyleSetting::Background:
            return QStringLiteral("背景颜色");
        case StyleSetting::FontFamily:
            return QStringLiteral("字体");
        case StyleSetting::TextColor:
            return QStringLiteral("文章颜色");
        case StyleSetting::FontSize:
            return QStringLiteral("大小");
        case StyleSetting::ScrollInterval:
            break;
    }
    return QStringLiteral("滚动速度");
}

// Title and URL of every chapter, in that order. A book has thousands of chapters, so they are
// converted as one text with zero bytes between them (a zero byte is never part of a GBK text);
// should a broken character swallow a separator, each cell is converted on its own instead.
QStringList chapterCells(const std::vector<ChapterEntry>& chapters) {
    Text joined;
    for (const ChapterEntry& chapter : chapters) {
        joined.append(chapter.title).push_back('\0');
        joined.append(chapter.url).push_back('\0');
    }
    QStringList cells = toQString(joined).split(QChar(u'\0'));
    cells.removeLast();  // after the last separator
    if (cells.size() == static_cast<qsizetype>(2 * chapters.size())) return cells;
    cells.clear();
    for (const ChapterEntry& chapter : chapters)
        cells << toQString(chapter.title) << toQString(chapter.url);
    return cells;
}

QLineEdit* shortEdit(const QString& text, int width, QWidget* parent) {
    auto* edit = new QLineEdit(text, parent);
    edit->setMaxLength(7);
    edit->setFixedWidth(width);
    return edit;
}

}  // namespace

ReaderWindow::ReaderWindow(AppState& state, QWidget* parent) : QWidget(parent), state_(state) {
    setObjectName(QStringLiteral("ReaderWindow"));
    setWindowFlag(Qt::Window);
    setWindowTitle(QStringLiteral("墨舟工坊小说下载阅读助手"));
    resize(clientSizeFor(989, 626));

    // The strip comes first so that the toolbar controls lie on top of it.
    toolbarStripLabel_ = named(new QLabel(this), "ToolbarStripLabel");

    backgroundColorCaptionLabel_ =
        named(new QLabel(QStringLiteral("背景颜色："), this), "BackgroundColorCaptionLabel");
    backgroundColorCombo_ = named(new QComboBox(this), "BackgroundColorCombo");
    backgroundColorCombo_->addItems(
        {QStringLiteral("白色"), QStringLiteral("黑色"), QStringLiteral("淡蓝"),
         QStringLiteral("蓝色"), QStringLiteral("淡灰"), QStringLiteral("灰色"),
         QStringLiteral("深灰"), QStringLiteral("暗灰"), QStringLiteral("绿色"),
         QStringLiteral("明黄"), QStringLiteral("浅红")});
    backgroundColorCombo_->setMaxVisibleItems(11);
    backgroundColorCombo_->setCurrentIndex(1);
    backgroundColorCombo_->setFixedWidth(54);

    fontCaptionLabel_ = named(new QLabel(QStringLiteral("字体："), this), "FontCaptionLabel");
    fontCombo_ = named(new QComboBox(this), "FontCombo");
    fontCombo_->addItems({QStringLiteral("宋体"), QStringLiteral("黑体"), QStringLiteral("楷体"),
                          QStringLiteral("仿宋"), QStringLiteral("新宋体"),
                          QStringLiteral("微软雅黑")});
    fontCombo_->setFixedWidth(76);

    textColorCaptionLabel_ =
        named(new QLabel(QStringLiteral("文章颜色："), this), "TextColorCaptionLabel");
    textColorCombo_ = named(new QComboBox(this), "TextColorCombo");
    textColorCombo_->addItems({QStringLiteral("黑色"), QStringLiteral("白色"),
                               QStringLiteral("红色"), QStringLiteral("绿色"),
                               QStringLiteral("蓝色"), QStringLiteral("棕色")});
    textColorCombo_->setFixedWidth(54);

    fontSizeCaptionLabel_ =
        named(new QLabel(QStringLiteral("大小："), this), "FontSizeCaptionLabel");
    fontSizeEdit_ = named(shortEdit(QStringLiteral("28"), 30, this), "FontSizeEdit");
    scrollSpeedCaptionLabel_ =
        named(new QLabel(QStringLiteral("滚动速度："), this), "ScrollSpeedCaptionLabel");
    scrollSpeedEdit_ = named(shortEdit(QStringLiteral("80"), 30, this), "ScrollSpeedEdit");

    saveSettingsButton_ =
        named(new QPushButton(QStringLiteral("保存设置"), this), "SaveSettingsButton");
    autoNextCheck_ = named(new QCheckBox(QStringLiteral("自动下一章"), this), "AutoNextCheck");
    autoNextIntervalEdit_ =
        named(shortEdit(QStringLiteral("20000"), 44, this), "AutoNextIntervalEdit");
    millisecondsCaptionLabel_ =
        named(new QLabel(QStringLiteral("毫秒"), this), "MillisecondsCaptionLabel");
    scrollCheck_ = named(new QCheckBox(QStringLiteral("滚动"), this), "ScrollCheck");
    bookmarkButton_ = named(new QPushButton(QStringLiteral("书签"), this), "BookmarkButton");
    downloadBookButton_ =
        named(new QPushButton(QStringLiteral("下载本书"), this), "DownloadBookButton");
    hideChapterListCheck_ =
        named(new QCheckBox(QStringLiteral("隐藏章节列表"), this), "HideChapterListCheck");
    readingBar_ = new ReadingBar(kStatusHeight + 2, this);
    themeCombo_ = readingBar_->themeCombo;
    for (QPushButton* button : {saveSettingsButton_, bookmarkButton_, downloadBookButton_})
        button->setFlat(true);

    // Toolbar, left to right, each control with the gap that follows it. Combo and edit boxes have
    // a fixed width; everything else takes the width its text needs.
    const std::pair<QWidget*, int> toolbar[] = {{backgroundColorCaptionLabel_, 1},
                                                {backgroundColorCombo_, 4},
                                                {fontCaptionLabel_, 1},
                                                {fontCombo_, 4},
                                                {textColorCaptionLabel_, 1},
                                                {textColorCombo_, 4},
                                                {fontSizeCaptionLabel_, 1},
                                                {fontSizeEdit_, 4},
                                                {scrollSpeedCaptionLabel_, 1},
                                                {scrollSpeedEdit_, 3},
                                                {saveSettingsButton_, 4},
                                                {autoNextCheck_, 1},
                                                {autoNextIntervalEdit_, 1},
                                                {millisecondsCaptionLabel_, 5},
                                                {scrollCheck_, 3},
                                                {bookmarkButton_, 3},
                                                {downloadBookButton_, 4},
                                                {hideChapterListCheck_, 0}};
    int x = 3;
    for (const auto& [control, gap] : toolbar) {
        const int width = control->minimumWidth() == control->maximumWidth()
                              ? control->minimumWidth()
                              : control->sizeHint().width();
        const int height = qobject_cast<QLabel*>(control) ? kToolbarHeight - 4 : kToolbarHeight - 2;
        control->setGeometry(x, (kToolbarHeight - height) / 2, width, height);
        x += width + gap;
    }

    const QSize client = size();
    toolbarStripLabel_->setGeometry(0, 0, client.width(), kToolbarHeight);

    // The web engine loads with the first reader; without it the reader says why and still lists
    // the chapters.
    QString viewProblem;
    view_ = createReaderView(QUrl::fromLocalFile(pathText(readerPagePath())), &openWebPage, this,
                             &viewProblem);
    if (view_) {
        readerBrowser_ = view_->widget();
    } else {
        auto* missing = new QLabel(QStringLiteral("无法显示章节：%1").arg(viewProblem), this);
        missing->setAlignment(Qt::AlignCenter);
        missing->setWordWrap(true);
        readerBrowser_ = named(missing, "ReaderBrowser");
    }
    pageTurner_ = new PageTurner(view_, this);
    immersive_ = new ImmersiveMode(this, view_, [this] {
        const int row = selectedRow();
        return ReadingPlace{toQString(chapterTitleAt(row)), row + 1,
                            chapterList_->topLevelItemCount()};
    });

    chapterList_ = named(new QTreeWidget(this), "ChapterList");
    setUpReportList(chapterList_, {{QStringLiteral("ID"), 0},
                                   {QStringLiteral("       所有章节"), 138},
                                   {QStringLiteral("地址"), 0}});
    appendRow(chapterList_, {QStringLiteral("0"), QStringLiteral("获取全部章节过多时")});
    appendRow(chapterList_, {QStringLiteral("1"), QStringLiteral("可能需要更多时间")});
    appendRow(chapterList_, {QStringLiteral("2"), QStringLiteral("请您耐心等候！")});
    chapterList_->setContextMenuPolicy(Qt::CustomContextMenu);

    // As designed; the layout rules take over with the first resize.
    readerBrowser_->setGeometry(0, kToolbarHeight, 808, 480);
    chapterList_->setGeometry(808, kToolbarHeight, kChapterListWidth, 488);

    readerStatusLabel_ = named(new QLabel(this), "ReaderStatusLabel");
    readerStatusLabel_->setGeometry(0, client.height() - kStatusHeight, client.width(),
                                    kStatusHeight);
    // While a request runs: a busy bar and a stop button at the right of the status line.
    busyIndicator_ = named(new QProgressBar(this), "BusyIndicator");
    busyIndicator_->setRange(0, 0);
    busyIndicator_->setTextVisible(false);
    busyIndicator_->hide();
    stopButton_ = named(new QPushButton(QStringLiteral("停止"), this), "StopButton");
    stopButton_->setFlat(true);
    stopButton_->setToolTip(QStringLiteral("停止读取（Esc）"));
    stopButton_->hide();
    tocRequest_ = new PageRequest(state_.engine(), this);
    chapterRequest_ = new PageRequest(state_.engine(), this);
    tracking_ = new ReadingTracker(state_, view_, this);

    // Hidden controls: they hold values and receive events but are never drawn.
    prevChapterLabel_ =
        named(new ClickableLabel(QStringLiteral("<--上一章"), this), "PrevChapterLabel");
    nextChapterLabel_ =
        named(new ClickableLabel(QStringLiteral("下一章-->"), this), "NextChapterLabel");
    getAllChaptersButton_ =
        named(new QPushButton(QStringLiteral("获取全部章节"), this), "GetAllChaptersButton");
    getAllChaptersButton_->setFlat(true);
    pageHeadTemplate_ = named(new TemplateEdit(kPageHeadTemplate, this), "PageHeadTemplate");
    pageBodyStyleTemplate_ =
        named(new TemplateEdit(kPageBodyStyleTemplate, this), "PageBodyStyleTemplate");
    pageScriptTemplate_ = named(new TemplateEdit(kPageScriptTemplate, this), "PageScriptTemplate");
    for (QWidget* hidden : std::initializer_list<QWidget*>{
             prevChapterLabel_, nextChapterLabel_, getAllChaptersButton_, pageHeadTemplate_,
             pageBodyStyleTemplate_, pageScriptTemplate_})
        hidden->hide();

    autoNextTimer_ = named(new QTimer(this), "AutoNextTimer");

    readerMenu_ = named(new QMenu(this), "ReaderMenu");
    QAction* saveBookmarkItem = readerMenu_->addAction(QStringLiteral("保存书签"));
    QAction* openDownloadFolderItem = readerMenu_->addAction(QStringLiteral("打开下载目录"));
    QAction* downloadBookItem = readerMenu_->addAction(QStringLiteral("下载本书(txt)"));
    QAction* checkUpdateItem = readerMenu_->addAction(QStringLiteral("检测更新"));
    QAction* aboutItem = readerMenu_->addAction(QStringLiteral("关于"));
    QAction* addToShelfItem = readerMenu_->addAction(QStringLiteral("加入书架"));
    named(addToShelfItem, "AddToShelfMenuItem");
    connect(addToShelfItem, &QAction::triggered, this, [this] { emit shelfRequested(book_); });
    QAction* fullTextSearchItem = readerMenu_->addAction(QStringLiteral("全文搜索"));
    named(fullTextSearchItem, "FullTextSearchMenuItem");
    named(saveBookmarkItem, "SaveBookmarkMenuItem");
    named(openDownloadFolderItem, "OpenDownloadFolderMenuItem");
    named(downloadBookItem, "DownloadBookMenuItem");
    named(checkUpdateItem, "CheckUpdateMenuItem");
    named(aboutItem, "AboutMenuItem");

    // Event bindings. The window's own events (activated, deactivated, moved, resized) arrive
    // through the event overrides below.
    connect(saveSettingsButton_, &QPushButton::clicked, this, &ReaderWindow::saveReaderSettings);
    connect(autoNextCheck_, &QCheckBox::clicked, this, &ReaderWindow::onAutoNextClicked);
    connect(scrollCheck_, &QCheckBox::clicked, this, &ReaderWindow::onScrollClicked);
    connect(bookmarkButton_, &QPushButton::clicked, this, &ReaderWindow::showBookmarkWindow);
    connect(downloadBookButton_, &QPushButton::clicked, this, &ReaderWindow::showDownloadWindow);
    connect(hideChapterListCheck_, &QCheckBox::clicked, this,
            &ReaderWindow::onHideChapterListClicked);
    if (view_)
        view_->onLoadFinished([self = QPointer<ReaderWindow>(this)](bool ok) {
            if (!self) return;
            self->findDocumentWindow(ok);
            if (ok && !self->pendingHit_.isEmpty())
                self->view_->runJavaScript(
                    hitHighlightScript(std::exchange(self->pendingHit_, {})));
        });
    connect(chapterList_, &QTreeWidget::itemDoubleClicked, this,
            &ReaderWindow::readSelectedChapter);
    connect(chapterList_, &QTreeWidget::customContextMenuRequested, this,
            &ReaderWindow::popUpReaderMenu);
    connect(prevChapterLabel_, &ClickableLabel::clicked, this, &ReaderWindow::previousChapter);
    connect(nextChapterLabel_, &ClickableLabel::clicked, this, &ReaderWindow::nextChapter);
    connect(getAllChaptersButton_, &QPushButton::clicked, this, &ReaderWindow::onGetAllChapters);
    connect(autoNextTimer_, &QTimer::timeout, this, &ReaderWindow::onAutoNextTick);
    connect(saveBookmarkItem, &QAction::triggered, this, &ReaderWindow::saveBookmark);
    connect(openDownloadFolderItem, &QAction::triggered, this, &ReaderWindow::openDownloadFolder);
    connect(downloadBookItem, &QAction::triggered, this, &ReaderWindow::showDownloadWindow);
    connect(checkUpdateItem, &QAction::triggered, this, &ReaderWindow::openHelpPage);
    connect(aboutItem, &QAction::triggered, this, &ReaderWindow::showAboutWindow);
    connect(fullTextSearchItem, &QAction::triggered, this, &ReaderWindow::fullTextSearchRequested);
    connect(stopButton_, &QPushButton::clicked, this, &ReaderWindow::stopLoading);
    connect(new QShortcut(QKeySequence::Cancel, this), &QShortcut::activated, this,
            &ReaderWindow::onEscape);
    connect(new QShortcut(QKeySequence(Qt::Key_F11), this), &QShortcut::activated, this,
            &ReaderWindow::toggleImmersive);
    connect(themeCombo_, &QComboBox::activated, this, &ReaderWindow::chooseTheme);
    // A colour picked by hand is no theme's any more.
    for (QComboBox* colors : {backgroundColorCombo_, textColorCombo_})
        connect(colors, &QComboBox::activated, themeCombo_,
                [this] { themeCombo_->setCurrentIndex(-1); });
    connect(readingBar_->layoutButton, &QPushButton::clicked, this,
            &ReaderWindow::showLayoutDialog);
    connect(readingBar_->prevChapterButton, &QPushButton::clicked, this,
            &ReaderWindow::previousChapter);
    connect(readingBar_->nextChapterButton, &QPushButton::clicked, this,
            &ReaderWindow::nextChapter);
    connect(readingBar_->immersiveButton, &QPushButton::clicked, this,
            &ReaderWindow::toggleImmersive);
    // Paging past a chapter's end waits for a chapter still loading rather than skip one.
    connect(pageTurner_, &PageTurner::endPassed, this, [this] {
        if (!loading()) nextChapter();
    });
    connect(pageTurner_, &PageTurner::startPassed, this, [this] {
        if (loading()) return;
        // The chapter before opens at its end; a kept chapter shows at once, so ask first.
        const int before = selectedRow();
        pageTurner_->landAtEndOfNextPage();
        previousChapter();
        if (!loading() && selectedRow() == before) pageTurner_->forgetLanding();
    });
    connect(pageTurner_, &PageTurner::hint, this, &ReaderWindow::showReadingHint);
    connect(tocRequest_, &PageRequest::runningChanged, this, &ReaderWindow::onRequestsRunning);
    connect(chapterRequest_, &PageRequest::runningChanged, this, &ReaderWindow::onRequestsRunning);

    readAloudPanel_ = new ReadAloudPanel(*this, state_, state_.speakerFactory);
    connect(readAloudPanel_, &ReadAloudPanel::readingPositionChanged, this,
            &ReaderWindow::readingPositionChanged);
    connect(readAloudPanel_, &ReadAloudPanel::readingPositionChanged, tracking_,
            &ReadingTracker::spokenAt);

    // Over the status line, which would take its clicks.
    readingBar_->raise();
    readAloudPanel_->raise();
    // Created: the controls exist now.
    loadReaderSettings();
    layoutReader();
}

ReaderWindow::~ReaderWindow() {
    unregisterArrowKeys();
    // Before the page goes: the page answers its pending scripts as it goes.
    delete tracking_;
}

void ReaderWindow::closeEvent(QCloseEvent* event) {
    // A closed reader does not go on fetching chapters nobody sees, nor reading them aloud.
    stopAutoNext();
    readAloudPanel_->controller().stop();
    QWidget::closeEvent(event);
}

void ReaderWindow::changeEvent(QEvent* event) {
    QWidget::changeEvent(event);
    if (event->type() != QEvent::ActivationChange) return;
    if (isActiveWindow())
        registerArrowKeys();
    else
        unregisterArrowKeys();
}

void ReaderWindow::moveEvent(QMoveEvent* event) {
    QWidget::moveEvent(event);
    onReaderMoved();
}

void ReaderWindow::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    layoutReader();
}

// Opening a book ------------------------------------------------------------------------------

void ReaderWindow::openBook(const CurrentBook& book, ReadStart start) {
    pendingRow_ = -1;
    chapterRequest_->cancel();
    const auto arrived = [this, book, start](std::string_view page) {
        book_ = book;
        chapterList_->clear();
        loadTableOfContents(page);
        tracking_->bookOpened(book_, chapterEntries(0, -1));
        const int row =
            start == ReadStart::FirstChapter ? 0 : chapterList_->topLevelItemCount() - 1;
        setSelectedRow(row);
        const int shownRow = selectedRow();
        showChapter(shownRow, [this, start, row, title = chapterTitleAt(shownRow)] {
            if (start == ReadStart::FirstChapter) {
                firstChapterTitle_ = title;
                latestChapterTitle_.clear();
            } else {
                latestChapterTitle_ = chapterTitleAt(row);
            }
        });
    };
    // Without an address there is nothing to read: the book opens with no chapters.
    if (book.tocUrl.empty()) {
        tocRequest_->cancel();
        arrived({});
        return;
    }
    tocRequest_->start({book.tocUrl, RequestStyle::Plain},
                       [this, arrived](const FetchResult& result) {
                           if (!result.ok())
                               return reportProblem(QStringLiteral("读取目录失败"), result);
                           arrived(textOf(result.body));
                       });
}

void ReaderWindow::openBookmark(const Bookmark& bookmark) {
    stopLoading();
    // A bookmark knows the book's title and package; the rest of the book is not kept in it.
    book_ = CurrentBook{};
    book_.title = bookmark.bookTitle;
    book_.txtPackageUrl = bookmark.txtPackageUrl;
    tracking_->setBook({});
    setChapters(bookmark.chapters, textToInteger(bookmark.selectedRow) - 1);
    if (selectedRow() >= 0) readSelectedChapter();
}

void ReaderWindow::continueBook(const ShelfBook& book) {
    if (book.toc.empty()) return openBook(currentBookOf(book), ReadStart::FirstChapter);
    stopLoading();
    book_ = currentBookOf(book);
    setChapters(book.toc, resumeRow(book));
    tracking_->setBook(book.bookUrl);
    if (book.lastRead) tracking_->restoreNext(book.lastRead->anchor);
    showChapter(selectedRow());
}

void ReaderWindow::openAtHit(const CurrentBook& book, const std::string& chapterUrl, int chapterRow,
                             const QString& query) {
    const auto show = [this, chapterUrl, chapterRow, query] {
        int row = chapterRow;
        for (int i = 0; i < chapterList_->topLevelItemCount(); ++i)
            if (toText(chapterList_->topLevelItem(i)->text(2)) == chapterUrl) row = i;
        pendingRow_ = row;
        showChapter(row, [this, row, query] {
            setSelectedRow(row);
            pendingHit_ = query;  // marked once the page has loaded
        });
    };
    if (!book_.bookUrl.empty() && book_.bookUrl == book.bookUrl &&
        chapterList_->topLevelItemCount() > 0)
        return show();
    stopLoading();
    tocRequest_->start({book.tocUrl, RequestStyle::Plain},
                       [this, book, show](const FetchResult& result) {
                           if (!result.ok())
                               return reportProblem(QStringLiteral("读取目录失败"), result);
                           book_ = book;
                           chapterList_->clear();
                           loadTableOfContents(textOf(result.body));
                           show();
                       });
}

void ReaderWindow::reloadTableOfContents() {
    if (book_.tocUrl.empty()) {
        chapterList_->clear();
        return;
    }
    tocRequest_->start({book_.tocUrl, RequestStyle::Plain}, [this](const FetchResult& result) {
        if (!result.ok()) return reportProblem(QStringLiteral("读取目录失败"), result);
        chapterList_->clear();
        loadTableOfContents(textOf(result.body));
    });
}

void ReaderWindow::stopLoading() {
    tocRequest_->cancel();
    chapterRequest_->cancel();
    pendingRow_ = -1;
    pageTurner_->forgetLanding();
}

bool ReaderWindow::loading() const {
    return tocRequest_->running() || chapterRequest_->running();
}

void ReaderWindow::onRequestsRunning() {
    const bool busy = loading();
    // Immersive reading shows the page alone.
    busyIndicator_->setVisible(busy && !immersive());
    stopButton_->setVisible(busy && !immersive());
    readerStatusLabel_->setText(busy ? QStringLiteral("正在读取……") : QString());
    if (busy)
        setCursor(Qt::BusyCursor);
    else
        unsetCursor();
}

void ReaderWindow::reportProblem(const QString& what, const FetchResult& result) {
    // The page on screen and the selection stay; auto-advance would fail again each tick.
    stopAutoNext();
    showMessage(this, what + QStringLiteral("：") + QString::fromStdString(result.problem));
}

void ReaderWindow::loadTableOfContents(std::string_view page) {
    const CurrentBook& book = book_;
    const std::vector<ChapterEntry> chapters =
        parseTableOfContents(textOf(page), book.bookUrlStem, chapterList_->topLevelItemCount());
    if (chapters.empty()) return;

    const QStringList cells = chapterCells(chapters);
    // Thousands of rows go in as one insertion, without a repaint per row.
    QList<QTreeWidgetItem*> items;
    items.reserve(static_cast<qsizetype>(chapters.size()));
    for (size_t i = 0; i < chapters.size(); ++i)
        items.append(new QTreeWidgetItem(QStringList{QString::fromLatin1(chapters[i].id),
                                                     cells[static_cast<qsizetype>(2 * i)],
                                                     cells[static_cast<qsizetype>(2 * i + 1)]}));
    chapterList_->setUpdatesEnabled(false);
    chapterList_->addTopLevelItems(items);
    chapterList_->setUpdatesEnabled(true);
}

void ReaderWindow::onGetAllChapters() {
    reloadTableOfContents();
}

// Chapters ------------------------------------------------------------------------------------

int ReaderWindow::selectedRow() const {
    QTreeWidgetItem* item = chapterList_->currentItem();
    return item && item->isSelected() ? chapterList_->indexOfTopLevelItem(item) : -1;
}

void ReaderWindow::setSelectedRow(int row) {
    QTreeWidgetItem* item = chapterList_->topLevelItem(row);
    if (!item) return;
    chapterList_->setCurrentItem(item);
    item->setSelected(true);
    chapterList_->scrollToItem(item);
}

int ReaderWindow::chapterCount() const {
    return chapterList_->topLevelItemCount();
}

ChapterEntry ReaderWindow::chapterAt(int row) const {
    const QTreeWidgetItem* item = chapterList_->topLevelItem(row);
    if (!item) return {};
    return {toText(item->text(0)), toText(item->text(1)), toText(item->text(2))};
}

Text ReaderWindow::chapterTitleAt(int row) const {
    const QTreeWidgetItem* item = chapterList_->topLevelItem(row);
    return item ? toText(item->text(1)) : Text();
}

std::filesystem::path ReaderWindow::htmlFolder() const {
    return std::filesystem::path(state_.htmlFolder.toStdString());
}

std::filesystem::path ReaderWindow::readerPagePath() const {
    return htmlFolder() / kReaderPageFile;
}

ReaderTemplates ReaderWindow::templates() const {
    return {pageHeadTemplate_->templateText(), pageBodyStyleTemplate_->templateText(),
            pageScriptTemplate_->templateText()};
}

void ReaderWindow::setTemplates(const ReaderTemplates& templates) {
    pageHeadTemplate_->setTemplateText(templates.head);
    pageBodyStyleTemplate_->setTemplateText(templates.bodyStyle);
    pageScriptTemplate_->setTemplateText(templates.script);
    // The browser waits for the next page in the page's own colour, not in white.
    const QColor background(toQString(styleOf(templates).background));
    if (background.isValid() && view_) view_->setPageBackground(background);
    const ReaderStyle style = styleOf(templates);
    const ReaderTheme* theme = themeOf(style);
    const QColor text(theme ? toQString(Text(theme->hint)) : toQString("#" + style.textColor));
    immersive_->setColors(background.isValid() ? background : QColor(Qt::white),
                          text.isValid() ? text : QColor(Qt::darkGray));
}

void ReaderWindow::showChapter(int row, std::function<void()> shown) {
    const QTreeWidgetItem* item = chapterList_->topLevelItem(row);
    const Text url = item ? toText(item->text(2)) : Text();
    const Text title = item ? toText(item->text(1)) : Text();
    const auto show = [this, row, url, title, shown = std::move(shown)](std::string_view page) {
        pendingRow_ = -1;
        shownRow_ = row;
        chapterText_ = chapterTextFromPage(textOf(page), state_.config.brandWords());
        setWindowTitle(toQString(concatTexts(book_.title, title)));
        const std::filesystem::path file = readerPagePath();
        if (const std::error_code error =
                writeReaderPage(file, templates(), title, chapterText_, layout_)) {
            // Each further tick would only fail the same way.
            stopAutoNext();
            showMessage(this, QStringLiteral("无法写入阅读页面 %1（%2），这一章没有显示。")
                                  .arg(pathText(file), fileErrorText(error)));
            return;
        }
        pageTurner_->landAtTopOfNextPage();
        if (view_) view_->load(QUrl::fromLocalFile(pathText(file)));
        tracking_->chapterShown(row, url, chapterText_,
                                chapterEntries(row + 1, tracking_->readAheadDepth()));
        if (shown) shown();
    };
    if (url.empty()) {
        chapterRequest_->cancel();
        show({});
        return;
    }
    // A kept chapter needs no request, and reads with the site down.
    if (const std::optional<Bytes> kept = tracking_->keptPage(url)) {
        chapterRequest_->cancel();
        show(*kept);
        return;
    }
    chapterRequest_->start({url}, [this, show, url](const FetchResult& result) {
        if (!result.ok()) {
            pendingRow_ = -1;
            return reportProblem(QStringLiteral("读取章节失败"), result);
        }
        tracking_->keep(url, result.body);
        show(result.body);
    });
}

void ReaderWindow::moveToChapter(int row) {
    pendingRow_ = row;
    showChapter(row, [this, row] {
        setSelectedRow(row);
        if (scrollCheck_->isChecked()) restartScrolling();
    });
}

void ReaderWindow::nextChapter() {
    // A move while another one loads goes on from the row that one will show.
    const int selected = pendingRow_ >= 0 ? pendingRow_ : selectedRow();
    if (selected < 0) {
        // Auto-advance would repeat this message on every tick.
        stopAutoNext();
        showMessage(this, QStringLiteral("请先获取章节并选中章节"));
        return;
    }
    if (selected == chapterList_->topLevelItemCount() - 1) {
        stopAutoNext();
        showMessage(this, QStringLiteral("已经是最后一章了！"));
        return;
    }
    moveToChapter(selected + 1);
}

void ReaderWindow::previousChapter() {
    const int selected = pendingRow_ >= 0 ? pendingRow_ : selectedRow();
    if (selected < 0) {
        showMessage(this, QStringLiteral("请先获取章节并选中章节"));
        return;
    }
    if (selected == 0) {
        showMessage(this, QStringLiteral("已经是第一章了！"));
        return;
    }
    moveToChapter(selected - 1);
}

void ReaderWindow::readSelectedChapter() {
    const int selected = selectedRow();
    const QTreeWidgetItem* item = chapterList_->topLevelItem(selected);
    if (!item || item->text(2).isEmpty()) {
        showMessage(this, QStringLiteral("请先获取所有章节!!"));
        return;
    }
    if (scrollCheck_->isChecked()) postMouseGesture(MouseGesture::DoubleClick);
    pendingRow_ = -1;
    showChapter(selected);
}

// Auto-advance and scrolling ------------------------------------------------------------------

void ReaderWindow::setAutoNextInterval(int milliseconds) {
    if (milliseconds > 0)
        autoNextTimer_->start(milliseconds);
    else
        autoNextTimer_->stop();
}

void ReaderWindow::stopAutoNext() {
    autoNextCheck_->setChecked(false);
    setAutoNextInterval(0);
}

void ReaderWindow::onAutoNextClicked() {
    if (!autoNextCheck_->isChecked()) {
        setAutoNextInterval(0);
        return;
    }
    if (autoNextIntervalEdit_->text().isEmpty()) {
        showMessage(this, QStringLiteral("您还没有输入间隔时间，1000毫秒等于一秒！"));
        return;
    }
    if (selectedRow() < 0) {
        showMessage(this, QStringLiteral("请先获取章节并选中章节!"));
        autoNextCheck_->setChecked(false);
        return;
    }
    setAutoNextInterval(textToInteger(toText(autoNextIntervalEdit_->text())));
    nextChapter();
}

void ReaderWindow::onAutoNextTick() {
    // A chapter still on its way is waited for, not skipped.
    if (!chapterRequest_->running() && !speechHeld_) nextChapter();
}

void ReaderWindow::holdForSpeech(bool held) {
    if (speechHeld_ == held) return;
    speechHeld_ = held;
    if (held)
        autoNextTimer_->stop();
    else if (autoNextCheck_->isChecked())
        setAutoNextInterval(textToInteger(toText(autoNextIntervalEdit_->text())));
    if (!scrollCheck_->isChecked()) return;
    postMouseGesture(held ? MouseGesture::Click : MouseGesture::DoubleClick);
    postMouseGesture(MouseGesture::Release);
}

void ReaderWindow::onScrollClicked() {
    // Ticked while reading aloud, the page scrolls once the speech has stopped.
    if (speechHeld_) return;
    postMouseGesture(scrollCheck_->isChecked() ? MouseGesture::DoubleClick : MouseGesture::Click);
    postMouseGesture(MouseGesture::Release);
}

void ReaderWindow::restartScrolling() {
    // The new page is still loading; the double-click has to reach it, not the page it replaces.
    scrollWhenLoaded_ = true;
}

void ReaderWindow::findDocumentWindow(bool loaded) {
    documentWindow_ = readerBrowser_->focusProxy();
    if (!loaded || !scrollWhenLoaded_) return;
    scrollWhenLoaded_ = false;
    if (scrollCheck_->isChecked() && !speechHeld_) postMouseGesture(MouseGesture::DoubleClick);
}

void ReaderWindow::postMouseGesture(MouseGesture gesture) {
    QWidget* target = documentWindow_ ? documentWindow_.data() : readerBrowser_->focusProxy();
    if (!target) return;
    const QPointF local(10, 10);
    const QPointF scene = target->mapTo(target->window(), local.toPoint());
    const QPointF global = target->mapToGlobal(local);

    // The page counts presses into double-clicks by their time stamps: presses of one gesture lie
    // 1 ms apart, gestures far apart, so two gestures never merge into a triple click.
    static QElapsedTimer clock;
    if (!clock.isValid()) clock.start();
    qint64 time = std::max(clock.elapsed() + kGestureGapMs, lastGestureTime_ + kGestureGapMs);
    const auto deliver = [&](QEvent::Type type, Qt::MouseButton button, Qt::MouseButtons buttons) {
        QMouseEvent event(type, local, scene, global, button, buttons, Qt::NoModifier);
        event.setTimestamp(static_cast<quint64>(++time));
        QCoreApplication::sendEvent(target, &event);
    };
    deliver(QEvent::MouseMove, Qt::NoButton, Qt::NoButton);
    if (gesture != MouseGesture::Release) {
        deliver(QEvent::MouseButtonPress, Qt::LeftButton, Qt::LeftButton);
        deliver(QEvent::MouseButtonRelease, Qt::LeftButton, Qt::NoButton);
    }
    // The page makes a double-click of the second press itself; a MouseButtonDblClick event would
    // reach it as a third press.
    if (gesture == MouseGesture::DoubleClick)
        deliver(QEvent::MouseButtonPress, Qt::LeftButton, Qt::LeftButton);
    if (gesture != MouseGesture::Click)
        deliver(QEvent::MouseButtonRelease, Qt::LeftButton, Qt::NoButton);
    lastGestureTime_ = time;
}

// Arrow keys ----------------------------------------------------------------------------------

void ReaderWindow::registerArrowKeys() {
    unregisterArrowKeys();
    qApp->installEventFilter(this);
    arrowKeysRegistered_ = true;
}

void ReaderWindow::unregisterArrowKeys() {
    if (!arrowKeysRegistered_) return;
    if (qApp) qApp->removeEventFilter(this);
    arrowKeysRegistered_ = false;
}

bool ReaderWindow::eventFilter(QObject* watched, QEvent* event) {
    const QEvent::Type type = event->type();
    // Every event of the program passes here while the reader is active; only keys and the wheel
    // matter, and only they are looked at further.
    if (type != QEvent::Wheel && type != QEvent::KeyPress && type != QEvent::KeyRelease)
        return QWidget::eventFilter(watched, event);
    const auto* widget = qobject_cast<QWidget*>(watched);
    // The page scrolls by the wheel itself; past its end the turner offers the next chapter.
    if (type == QEvent::Wheel && widget && readerBrowser_->isAncestorOf(widget)) {
        pageTurner_->wheel(static_cast<QWheelEvent*>(event)->angleDelta().y());
        return QWidget::eventFilter(watched, event);
    }
    if (type != QEvent::KeyPress && type != QEvent::KeyRelease)
        return QWidget::eventFilter(watched, event);
    const auto* key = static_cast<QKeyEvent*>(event);
    const ReaderKey action = readerKeyOf(key->key(), key->modifiers());
    const bool arrow = action == ReaderKey::NextChapter || action == ReaderKey::PreviousChapter;
    QWidget* focus = QApplication::focusWidget();
    // Only keys meant for this window's own controls (a combo box's open list is a window of its
    // own and keeps its keys).
    if (action == ReaderKey::None || !widget || widget->window() != this || !isActiveWindow() ||
        (arrow ? isTextInput(focus) : keepsPagingKeys(focus)))
        return QWidget::eventFilter(watched, event);
    if (type != QEvent::KeyPress) return true;
    switch (action) {
        case ReaderKey::NextChapter:
            nextChapter();
            break;
        case ReaderKey::PreviousChapter:
            previousChapter();
            break;
        case ReaderKey::ScreenDown:
            pageTurner_->screenDown();
            break;
        case ReaderKey::ScreenUp:
            pageTurner_->screenUp();
            break;
        case ReaderKey::Top:
            pageTurner_->toTop();
            break;
        case ReaderKey::End:
            pageTurner_->toEnd();
            break;
        case ReaderKey::None:
            break;
    }
    return true;
}

// Appearance ----------------------------------------------------------------------------------

void ReaderWindow::loadReaderSettings() {
    // A first start reads in the first theme; an appearance saved before loads as it was.
    setTemplates(loadReaderAppearance(htmlFolder(), templates()));
    // The toolbar shows what was saved, so that the next save changes only what the user changes.
    // A value no item stands for (a hand-edited file) leaves its box without a selection, and a
    // save then keeps that value.
    const ReaderStyle saved = styleOf(templates());
    backgroundColorCombo_->setCurrentIndex(backgroundColorIndex(saved.background));
    fontCombo_->setCurrentIndex(fontFamilyIndex(saved.fontFamily));
    textColorCombo_->setCurrentIndex(textColorIndex(saved.textColor));
    if (!saved.fontSize.empty()) fontSizeEdit_->setText(toQString(saved.fontSize));
    if (!saved.scrollInterval.empty()) scrollSpeedEdit_->setText(toQString(saved.scrollInterval));
    const ReaderTheme* theme = themeOf(saved);
    themeCombo_->setCurrentIndex(theme ? static_cast<int>(theme - readerThemes().data()) : -1);
    const ReaderSettings settings = readReaderSettingsFile(htmlFolder());
    autoNextIntervalEdit_->setText(QString::fromStdString(settings.autoNextInterval()));
    layout_ = settings.layout();
    readAloudPanel_->loadSettings(settings);
}

void ReaderWindow::saveReaderSettings() {
    const QString caption = QStringLiteral("提示:");
    const ReaderStyle saved = styleOf(templates());
    // A box without a selection keeps the value the templates hold.
    const auto comboValue = [](const QComboBox* combo, Text (*valueAt)(int), const Text& kept) {
        return combo->currentIndex() < 0 ? kept : valueAt(combo->currentIndex());
    };
    const ReaderStyle chosen{
        comboValue(backgroundColorCombo_, &backgroundColorValue, saved.background),
        comboValue(fontCombo_, &fontFamilyValue, saved.fontFamily),
        comboValue(textColorCombo_, &textColorValue, saved.textColor),
        toText(fontSizeEdit_->text()), toText(scrollSpeedEdit_->text())};
    const StyleSave save = saveReaderStyle(htmlFolder(), templates(), chosen);
    setTemplates(save.templates);
    if (save.refused) {
        showMessage(this,
                    QStringLiteral("保存失败：%1中不能有“%2”或换行，设置没有保存。")
                        .arg(settingName(*save.refused), toQString(markersOf(*save.refused).right)),
                    caption);
        return;
    }
    if (save.error) {
        showMessage(this,
                    QStringLiteral("保存失败：无法写入配置文件 %1（%2），设置没有保存。")
                        .arg(pathText(save.failedFile), fileErrorText(save.error)),
                    caption);
        return;
    }
    ReaderSettings settings = readReaderSettingsFile(htmlFolder());
    settings.setAutoNextInterval(autoNextIntervalEdit_->text().toStdString());
    // The theme's name only while the saved colours are still the theme's.
    const ReaderTheme* theme = themeOf(styleOf(save.templates));
    settings.setTheme(theme ? theme->name : std::string_view());
    readAloudPanel_->storeSettings(settings);
    if (const std::error_code error = writeReaderSettingsFile(htmlFolder(), settings)) {
        showMessage(
            this,
            QStringLiteral("保存失败：无法写入配置文件 %1（%2），自动下一章的间隔没有保存。")
                .arg(pathText(htmlFolder() / kReaderSettingsFile), fileErrorText(error)),
            caption);
        return;
    }

    // Redraw the chapter on display in the new style.
    if (const std::error_code pageError = redrawPage()) {
        showMessage(this,
                    QStringLiteral("设置已保存，但无法写入阅读页面 %1（%2）。")
                        .arg(pathText(readerPagePath()), fileErrorText(pageError)),
                    caption);
        return;
    }
    showMessage(this, QStringLiteral("保存成功!"), caption);
}

std::error_code ReaderWindow::redrawPage() {
    Text title = chapterTitleAt(selectedRow());
    if (title.empty()) title = firstChapterTitle_;
    if (title.empty()) title = latestChapterTitle_;
    const std::filesystem::path file = readerPagePath();
    const std::error_code error =
        title.empty() ? writeFileAtomically(file, {})
                      : writeReaderPage(file, templates(), title, chapterText_, layout_);
    if (view_ && view_->url().isEmpty())
        view_->load(QUrl::fromLocalFile(pathText(file)));
    else if (view_)
        // The redrawn page comes back at the paragraph that was at the top.
        tracking_->redrawInPlace([view = view_] { view->reload(); });
    return error;
}

// Reading comfort -----------------------------------------------------------------------------

void ReaderWindow::chooseTheme(int index) {
    const std::span<const ReaderTheme> themes = readerThemes();
    if (index < 0 || static_cast<size_t>(index) >= themes.size()) return;
    setTemplates(applyTheme(templates(), themes[static_cast<size_t>(index)]));
    // The theme's colours are in no colour box; the boxes show none, and a save keeps them.
    const ReaderStyle style = styleOf(templates());
    backgroundColorCombo_->setCurrentIndex(backgroundColorIndex(style.background));
    textColorCombo_->setCurrentIndex(textColorIndex(style.textColor));
    if (const std::error_code error = redrawPage())
        showMessage(this, QStringLiteral("无法写入阅读页面 %1（%2）。")
                              .arg(pathText(readerPagePath()), fileErrorText(error)));
}

void ReaderWindow::showLayoutDialog() {
    if (!layoutDialog_) {
        layoutDialog_ = new LayoutDialog(this);
        connect(layoutDialog_, &QDialog::accepted, this,
                [this] { applyLayout(layoutDialog_->readerLayout()); });
    }
    layoutDialog_->setReaderLayout(layout_);
    layoutDialog_->open();
}

void ReaderWindow::applyLayout(const ReaderLayout& layout) {
    layout_ = validLayout(layout);
    ReaderSettings settings = readReaderSettingsFile(htmlFolder());
    settings.setLayout(layout_);
    const QString caption = QStringLiteral("提示:");
    if (const std::error_code error = writeReaderSettingsFile(htmlFolder(), settings))
        showMessage(this,
                    QStringLiteral("保存失败：无法写入配置文件 %1（%2），版式只在这次阅读中有效。")
                        .arg(pathText(htmlFolder() / kReaderSettingsFile), fileErrorText(error)),
                    caption);
    if (const std::error_code error = redrawPage())
        showMessage(this, QStringLiteral("无法写入阅读页面 %1（%2）。")
                              .arg(pathText(readerPagePath()), fileErrorText(error)));
}

bool ReaderWindow::immersive() const {
    return immersive_ && immersive_->active();
}

void ReaderWindow::toggleImmersive() {
    immersive_->toggle();
    // Leaving lays the window out again; what runs meanwhile shows in the status line again.
    layoutReader();
    onRequestsRunning();
}

void ReaderWindow::onEscape() {
    if (immersive())
        toggleImmersive();
    else
        stopLoading();
}

void ReaderWindow::showReadingHint(const QString& text) {
    readerStatusLabel_->setText(text);
    immersive_->flash(text);
}

// Layout --------------------------------------------------------------------------------------

QSize ReaderWindow::outerSize() const {
    return size() + QSize(kNominalFrameWidth, kNominalFrameHeight);
}

// The rules' widths are cut at the client area's right edge: the outer width is wider than the
// client area by the frame, and a page or list running under the frame would lose its scroll bar.
void ReaderWindow::showChapterList(bool shown, int outerWidth) {
    const int clientWidth = width();
    if (!shown) {
        chapterList_->hide();
        readerBrowser_->resize(std::min(outerWidth, clientWidth), readerBrowser_->height());
        return;
    }
    const int browserWidth = std::max(0, std::min(outerWidth - 170, clientWidth));
    readerBrowser_->resize(browserWidth, readerBrowser_->height());
    chapterList_->setGeometry(browserWidth, readerBrowser_->y(),
                              std::max(0, std::min(kChapterListWidth, clientWidth - browserWidth)),
                              readerBrowser_->height());
    chapterList_->show();
}

void ReaderWindow::layoutReader() {
    if (immersive()) {
        immersive_->fitView();
        return;
    }
    const QSize outer = outerSize();
    readerBrowser_->setGeometry(0, kToolbarHeight, readerBrowser_->width(),
                                std::max(0, outer.height() - 78));
    showChapterList(!hideChapterListCheck_->isChecked(), outer.width());
    readerStatusLabel_->setGeometry(0, outer.height() - 55, std::min(outer.width(), width()),
                                    kStatusHeight);
    toolbarStripLabel_->resize(width(), kToolbarHeight);
    const int right = std::min(outer.width(), width());
    const int statusTop = readerStatusLabel_->y();
    stopButton_->setGeometry(right - 50, statusTop - 2, 46, kStatusHeight + 4);
    busyIndicator_->setGeometry(right - 140, statusTop + 3, 84, kStatusHeight - 6);
    const int barWidth = readingBar_->sizeHint().width();
    readingBar_->setGeometry(std::max(0, right - 150 - barWidth), statusTop - 1, barWidth,
                             kStatusHeight + 2);
    const int panelWidth = readAloudPanel_->sizeHint().width();
    readAloudPanel_->setGeometry(std::max(0, right - 150 - barWidth - panelWidth - 4),
                                 statusTop - 2, panelWidth, kStatusHeight + 4);
}

void ReaderWindow::onReaderMoved() {
    // A maximised window keeps the chapter list unless the user hid it: the same rule as for any
    // other size.
    if (isMaximized()) layoutReader();
}

void ReaderWindow::onHideChapterListClicked() {
    showChapterList(!hideChapterListCheck_->isChecked(), outerSize().width());
}

// Bookmarks, the download and the small commands of the reader window.

void ReaderWindow::showBookmarkWindow() {
    emit bookmarksRequested();
}

void ReaderWindow::showDownloadWindow() {
    emit downloadRequested(book_);
}

void ReaderWindow::showAboutWindow() {
    emit aboutRequested();
}

void ReaderWindow::popUpReaderMenu(const QPoint& position) {
    if (!chapterList_->itemAt(position)) return;
    readerMenu_->popup(chapterList_->viewport()->mapToGlobal(position));
}

void ReaderWindow::openDownloadFolder() {
    novel::openDownloadFolder(state_.programFolder);
}

void ReaderWindow::openHelpPage() {
    openMakerPage(state_.config.helpPage, state_.programFolder);
}

void ReaderWindow::saveBookmark() {
    const int selected = selectedRow();
    const QTreeWidgetItem* row = chapterList_->topLevelItem(selected);
    if (!row || row->text(1).isEmpty()) {
        showMessage(this, QStringLiteral("请先获取章节"));
        return;
    }
    Bookmark bookmark;
    bookmark.selectedRow = std::to_string(selected + 1);
    bookmark.bookTitle = book_.title;
    bookmark.chapterTitle = toText(row->text(1));
    bookmark.chapterUrl = toText(row->text(2));
    bookmark.txtPackageUrl = book_.txtPackageUrl;
    bookmark.chapters.reserve(static_cast<size_t>(chapterList_->topLevelItemCount()));
    for (int i = 0; i < chapterList_->topLevelItemCount(); ++i) {
        const QTreeWidgetItem* item = chapterList_->topLevelItem(i);
        bookmark.chapters.push_back(
            {toText(item->text(0)), toText(item->text(1)), toText(item->text(2))});
    }

    const BookmarkSaveResult saved = saveToFirstFreeSlot(state_.htmlFolder.toStdString(), bookmark);
    if (saved.error)
        showMessage(this, QStringLiteral("书签保存失败：无法写入书签文件（%1）")
                              .arg(QString::fromStdString(saved.error.message())));
    else if (saved.slot == 0)
        showMessage(this, QStringLiteral("书签已满！"));
    else
        showMessage(this, QStringLiteral("保存成功！"));
}

std::vector<ChapterEntry> ReaderWindow::chapterEntries(int from, int count) const {
    std::vector<ChapterEntry> out;
    const int end = count < 0 ? chapterList_->topLevelItemCount()
                              : std::min(chapterList_->topLevelItemCount(), from + count);
    for (int i = std::max(0, from); i < end; ++i) {
        const QTreeWidgetItem* item = chapterList_->topLevelItem(i);
        out.push_back({toText(item->text(0)), toText(item->text(1)), toText(item->text(2))});
    }
    return out;
}

// Opening a bookmark: the saved table of contents replaces ChapterList, with a row selected.

void ReaderWindow::setChapters(const std::vector<ChapterEntry>& chapters, int row) {
    chapterList_->clear();
    const QStringList cells = chapterCells(chapters);
    QList<QTreeWidgetItem*> items;
    items.reserve(static_cast<qsizetype>(chapters.size()));
    for (size_t i = 0; i < chapters.size(); ++i)
        items.append(new QTreeWidgetItem(QStringList{toQString(chapters[i].id),
                                                     cells[static_cast<qsizetype>(2 * i)],
                                                     cells[static_cast<qsizetype>(2 * i + 1)]}));
    chapterList_->setUpdatesEnabled(false);
    chapterList_->addTopLevelItems(items);
    chapterList_->setUpdatesEnabled(true);
    setSelectedRow(row);
}

}  // namespace novel
