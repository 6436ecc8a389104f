#include "reader/reader_window.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QTimer>
#include <QTreeWidget>
#include <QWebEngineSettings>
#include <QWebEngineView>
#include <utility>

#include "app/app_state.h"
#include "app/controls.h"
#include "app/message_box.h"
#include "app/qt_text.h"
#include "app/windows.h"
#include "bookmarks/bookmark_file.h"
#include "commands/desktop_open.h"
#include "reader/chapter.h"

namespace novel {
namespace {

constexpr int kToolbarHeight = 28;
constexpr int kStatusHeight = 18;

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
        const int height = qobject_cast<QLabel*>(control) ? kToolbarHeight - 6 : 22;
        control->setGeometry(x, (kToolbarHeight - height) / 2, width, height);
        x += width + gap;
    }

    const QSize client = size();
    toolbarStripLabel_->setGeometry(0, 0, client.width(), kToolbarHeight);

    readerBrowser_ = named(new QWebEngineView(this), "ReaderBrowser");
    readerBrowser_->settings()->setDefaultTextEncoding(QStringLiteral("GBK"));
    // The reader page is a local file that needs nothing but itself.
    readerBrowser_->settings()->setAttribute(QWebEngineSettings::LocalContentCanAccessFileUrls,
                                             false);
    readerBrowser_->settings()->setAttribute(QWebEngineSettings::LocalContentCanAccessRemoteUrls,
                                             false);
    readerBrowser_->setContextMenuPolicy(Qt::NoContextMenu);

    chapterList_ = named(new QTreeWidget(this), "ChapterList");
    setUpReportList(chapterList_, {{QStringLiteral("ID"), 0},
                                   {QStringLiteral("       所有章节"), 138},
                                   {QStringLiteral("地址"), 0}});
    appendRow(chapterList_, {QStringLiteral("0"), QStringLiteral("获取全部章节过多时")});
    appendRow(chapterList_, {QStringLiteral("1"), QStringLiteral("可能需要更多时间")});
    appendRow(chapterList_, {QStringLiteral("2"), QStringLiteral("请您耐心等候！")});
    chapterList_->setContextMenuPolicy(Qt::CustomContextMenu);

    const int listWidth = 160;
    const int pageHeight = client.height() - kToolbarHeight - kStatusHeight - 3;
    readerBrowser_->setGeometry(0, kToolbarHeight + 1, client.width() - listWidth - 5, pageHeight);
    chapterList_->setGeometry(client.width() - listWidth - 1, kToolbarHeight + 1, listWidth,
                              pageHeight);

    readerStatusLabel_ = named(new QLabel(this), "ReaderStatusLabel");
    readerStatusLabel_->setGeometry(4, client.height() - kStatusHeight - 1, client.width() - 8,
                                    kStatusHeight);

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
    connect(readerBrowser_, &QWebEngineView::loadFinished, this, &ReaderWindow::findDocumentWindow);
    connect(chapterList_, &QTreeWidget::itemDoubleClicked, this,
            &ReaderWindow::readSelectedChapter);
    connect(chapterList_, &QTreeWidget::customContextMenuRequested, this,
            &ReaderWindow::popUpReaderMenu);
    connect(prevChapterLabel_, &ClickableLabel::clicked, this, &ReaderWindow::previousChapter);
    connect(nextChapterLabel_, &ClickableLabel::clicked, this, &ReaderWindow::nextChapter);
    connect(getAllChaptersButton_, &QPushButton::clicked, this, &ReaderWindow::onGetAllChapters);
    connect(autoNextTimer_, &QTimer::timeout, this, &ReaderWindow::nextChapter);
    connect(saveBookmarkItem, &QAction::triggered, this, &ReaderWindow::saveBookmark);
    connect(openDownloadFolderItem, &QAction::triggered, this, &ReaderWindow::openDownloadFolder);
    connect(downloadBookItem, &QAction::triggered, this, &ReaderWindow::showDownloadWindow);
    connect(checkUpdateItem, &QAction::triggered, this, &ReaderWindow::openHelpPage);
    connect(aboutItem, &QAction::triggered, this, &ReaderWindow::showAboutWindow);

    // Created: the controls exist now.
    loadReaderSettings();
}

ReaderWindow::~ReaderWindow() {
    unregisterArrowKeys();
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

// The handlers below belong to the reader's own changes (chapters, appearance, bookmarks,
// download, window layout and the small commands); until then they do nothing.

void ReaderWindow::loadReaderSettings() {}
void ReaderWindow::saveReaderSettings() {}
void ReaderWindow::onAutoNextClicked() {}
void ReaderWindow::onScrollClicked() {}
void ReaderWindow::onHideChapterListClicked() {}
void ReaderWindow::findDocumentWindow() {}
void ReaderWindow::readSelectedChapter() {}
void ReaderWindow::previousChapter() {}
void ReaderWindow::nextChapter() {}
void ReaderWindow::onGetAllChapters() {}
void ReaderWindow::registerArrowKeys() {}
void ReaderWindow::unregisterArrowKeys() {}
void ReaderWindow::onReaderMoved() {}
void ReaderWindow::layoutReader() {}

// Bookmarks, the download and the small commands of the reader window.

void ReaderWindow::showBookmarkWindow() {
    if (state_.windows) state_.windows->showBookmarks();
}

void ReaderWindow::showDownloadWindow() {
    if (state_.windows) state_.windows->showDownload();
}

void ReaderWindow::showAboutWindow() {
    if (state_.windows) state_.windows->showAbout(this);
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
    const QList<QTreeWidgetItem*> selected = chapterList_->selectedItems();
    QTreeWidgetItem* row = selected.isEmpty() ? nullptr : selected.first();
    if (!row || row->text(1).isEmpty()) {
        showMessage(this, QStringLiteral("请先获取章节"));
        return;
    }
    Bookmark bookmark;
    bookmark.selectedRow = std::to_string(chapterList_->indexOfTopLevelItem(row) + 1);
    bookmark.bookTitle = state_.currentBook.title;
    bookmark.chapterTitle = toText(row->text(1));
    bookmark.chapterUrl = toText(row->text(2));
    bookmark.txtPackageUrl = state_.currentBook.txtPackageUrl;
    bookmark.chapters.reserve(static_cast<size_t>(chapterList_->topLevelItemCount()));
    for (int i = 0; i < chapterList_->topLevelItemCount(); ++i) {
        const QTreeWidgetItem* item = chapterList_->topLevelItem(i);
        bookmark.chapters.push_back(
            {toText(item->text(0)), toText(item->text(1)), toText(item->text(2))});
    }

    const BookmarkSaveResult saved = saveToFirstFreeSlot(state_.htmlFolder.toStdString(), bookmark);
    if (saved.error)
        showMessage(
            this,
            QStringLiteral("书签保存失败：%1").arg(QString::fromStdString(saved.error.message())));
    else if (saved.slot == 0)
        showMessage(this, QStringLiteral("书签已满！"));
    else
        showMessage(this, QStringLiteral("保存成功！"));
}

// Opening a bookmark: the saved table of contents replaces ChapterList, with a row selected.

void ReaderWindow::setChapters(const std::vector<ChapterEntry>& chapters, int selectedRow) {
    chapterList_->clear();
    QList<QTreeWidgetItem*> rows;
    rows.reserve(static_cast<qsizetype>(chapters.size()));
    for (const ChapterEntry& c : chapters) {
        auto* item = new QTreeWidgetItem;
        item->setText(0, toQString(c.id));
        item->setText(1, toQString(c.title));
        item->setText(2, toQString(c.url));
        rows.append(item);
    }
    chapterList_->addTopLevelItems(rows);
    if (QTreeWidgetItem* row = chapterList_->topLevelItem(selectedRow)) {
        chapterList_->setCurrentItem(row);
        chapterList_->scrollToItem(row, QAbstractItemView::PositionAtCenter);
    }
}

}  // namespace novel
