#include "app/main_window.h"

#include <QComboBox>
#include <QCoreApplication>
#include <QFontMetrics>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QShortcut>
#include <QStatusBar>
#include <QStyle>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <algorithm>
#include <array>
#include <utility>

#include "app/app_state.h"
#include "app/controls.h"
#include "app/images.h"
#include "app/message_box.h"
#include "app/qt_text.h"
#include "app/skin.h"
#include "catalogue/book_page.h"
#include "catalogue/search_parser.h"
#include "catalogue/site_urls.h"
#include "commands/desktop_open.h"
#include "web/request_engine.h"

namespace novel {
namespace {

// BookRow's cells in the column order of BookList.
constexpr std::array<Text BookRow::*, 10> kBookColumns = {
    &BookRow::id,     &BookRow::title,   &BookRow::latestChapter,
    &BookRow::author, &BookRow::size,    &BookRow::time,
    &BookRow::status, &BookRow::bookUrl, &BookRow::latestChapterUrl,
    &BookRow::tocUrl};

BookRow bookRowOf(const QTreeWidgetItem& item) {
    BookRow row;
    for (size_t c = 0; c < kBookColumns.size(); ++c)
        row.*kBookColumns[c] = toText(item.text(static_cast<int>(c)));
    return row;
}

}  // namespace

MainWindow::MainWindow(AppState& state, QWidget* parent)
    : QWidget(parent), state_(state), windows_(state, this) {
    setObjectName(QStringLiteral("MainWindow"));
    setWindowTitle(QStringLiteral("墨舟工坊小说下载阅读助手 1.0"));
    setWindowIcon(programIcon());
    resize(clientSizeFor(704, 573));

    bannerPicture_ = named(new ClickableLabel({}, this), "BannerPicture");
    bannerPicture_->setFixedSize(684, 108);
    bannerPicture_->setScaledContents(true);
    bannerPicture_->setPixmap(QPixmap::fromImage(bannerImage()));

    keywordEdit_ = named(new QLineEdit(QStringLiteral("输入书名或者作者！"), this), "KeywordEdit");
    QFont keywordFont;
    keywordFont.setFamilies({QStringLiteral("宋体"), QStringLiteral("WenQuanYi Micro Hei")});
    keywordFont.setPixelSize(12);
    keywordEdit_->setFont(keywordFont);
    keywordEdit_->setFixedSize(206, 26);

    searchTypeCombo_ = named(new QComboBox(this), "SearchTypeCombo");
    searchTypeCombo_->addItems({QStringLiteral("搜索书名"), QStringLiteral("搜索作者")});
    searchTypeCombo_->setFixedSize(88, 26);

    searchButton_ = named(new QPushButton(this), "SearchButton");
    searchButton_->setFlat(true);
    searchButton_->setFixedSize(92, 34);
    searchButton_->setIcon(QIcon(searchButtonBitmap()));
    searchButton_->setIconSize(QSize(92, 34));
    searchButton_->setCursor(Qt::PointingHandCursor);

    categoryCombo_ = named(new QComboBox(this), "CategoryCombo");
    const QString separator = QStringLiteral("－－－－");
    categoryCombo_->addItems({QStringLiteral("选择类目"),
                              QStringLiteral("最近更新"),
                              QStringLiteral("全本小说"),
                              QStringLiteral("最新入库"),
                              separator,
                              QStringLiteral("总排行榜"),
                              QStringLiteral("月排行榜"),
                              QStringLiteral("周排行榜"),
                              QStringLiteral("总推荐榜"),
                              QStringLiteral("月推荐榜"),
                              QStringLiteral("周推荐榜"),
                              QStringLiteral("总收藏榜"),
                              QStringLiteral("字数排行"),
                              separator,
                              QStringLiteral("玄幻魔法"),
                              QStringLiteral("武侠修真"),
                              QStringLiteral("都市言情"),
                              QStringLiteral("历史军事"),
                              QStringLiteral("侦探推理"),
                              QStringLiteral("游戏竞技"),
                              QStringLiteral("科幻小说"),
                              QStringLiteral("恐怖灵异"),
                              QStringLiteral("美文散文"),
                              QStringLiteral("其它小说")});
    categoryCombo_->setMaxVisibleItems(24);
    categoryCombo_->setFixedSize(100, 26);

    readerButton_ = named(new QPushButton(QStringLiteral("阅读器"), this), "ReaderButton");
    readerButton_->setFlat(true);
    readerButton_->setToolTip(QStringLiteral("继续上次读的章节"));
    readerButton_->setFixedHeight(26);
    shelfButton_ = named(new QPushButton(QStringLiteral("书架"), this), "ShelfButton");
    shelfButton_->setFlat(true);
    shelfButton_->setToolTip(QStringLiteral("书架上的书、阅读进度和更新"));
    shelfButton_->setFixedHeight(26);
    shelfStatusLabel_ = named(new QLabel(this), "ShelfNewsLabel");
    shelfStatusLabel_->hide();
    fullTextSearchButton_ =
        named(new QPushButton(QStringLiteral("全文搜索"), this), "FullTextSearchButton");
    fullTextSearchButton_->setFlat(true);
    fullTextSearchButton_->setToolTip(QStringLiteral("在缓存的章节中查找文字"));
    fullTextSearchButton_->setFixedHeight(26);

    const QString chatGroup = QString::fromStdString(state_.config.chatGroupNumber);
    chatGroupLabel_ =
        named(new ClickableLabel(chatGroup.isEmpty() ? QStringLiteral("交流群") : chatGroup, this),
              "ChatGroupLabel");
    helpLabel_ = named(new ClickableLabel(QStringLiteral("帮助说明"), this), "HelpLabel");
    for (ClickableLabel* link : {chatGroupLabel_, helpLabel_}) {
        link->setStyleSheet(QStringLiteral("color: #1a5fb4;"));
        QFont font = link->font();
        font.setUnderline(true);
        link->setFont(font);
    }

    bookList_ = named(new QTreeWidget(this), "BookList");
    setUpReportList(bookList_, {{QStringLiteral("ID"), 60},
                                {QStringLiteral("文章名称"), 100},
                                {QStringLiteral("最新章节(双击查看详细资料)"), 240},
                                {QStringLiteral("作者"), 91},
                                {QStringLiteral("大小"), 49},
                                {QStringLiteral("时间"), 70},
                                {QStringLiteral("状态"), 50},
                                {QStringLiteral("地址"), 0},
                                {QStringLiteral("最新章节地址"), 0},
                                {QStringLiteral("目录地址"), 0}});
    bookList_->setMinimumSize(684, 336);

    statusBar_ = named(new QStatusBar(this), "StatusBar");
    statusBar_->setSizeGripEnabled(false);
    statusBar_->setFixedSize(358, 24);

    pageLabel_ = named(new QLabel(QStringLiteral("1"), this), "PageLabel");
    pageLabel_->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    pageLabel_->setMinimumWidth(30);
    pageSeparatorLabel_ = named(new QLabel(QStringLiteral("/"), this), "PageSeparatorLabel");
    pageCountLabel_ = named(new QLabel(QStringLiteral("1"), this), "PageCountLabel");
    pageCountLabel_->setMinimumWidth(30);
    prevPageButton_ = named(new QPushButton(QStringLiteral("上一页"), this), "PrevPageButton");
    nextPageButton_ = named(new QPushButton(QStringLiteral("下一页"), this), "NextPageButton");
    // Shown while a request runs: the window stays usable, and the request can be stopped.
    busyIndicator_ = named(new QProgressBar(this), "BusyIndicator");
    busyIndicator_->setRange(0, 0);
    busyIndicator_->setTextVisible(false);
    busyIndicator_->setFixedSize(60, 14);
    busyIndicator_->hide();
    stopButton_ = named(new QPushButton(QStringLiteral("停止"), this), "StopButton");
    stopButton_->setToolTip(QStringLiteral("停止读取（Esc）"));
    stopButton_->hide();

    listRequest_ = new PageRequest(state_.engine(), this);
    bookRequest_ = new PageRequest(state_.engine(), this);

    auto* links = new QVBoxLayout;
    links->setSpacing(0);
    links->addWidget(chatGroupLabel_);
    links->addWidget(helpLabel_);

    auto* searchRow = new QHBoxLayout;
    searchRow->setSpacing(6);
    searchRow->addWidget(keywordEdit_);
    searchRow->addWidget(searchTypeCombo_);
    searchRow->addWidget(searchButton_);
    searchRow->addSpacing(6);
    searchRow->addWidget(categoryCombo_);
    searchRow->addWidget(readerButton_);
    searchRow->addWidget(shelfButton_);
    searchRow->addWidget(fullTextSearchButton_);
    searchRow->addStretch();
    searchRow->addLayout(links);

    auto* bottomRow = new QHBoxLayout;
    bottomRow->setSpacing(4);
    bottomRow->addWidget(statusBar_);
    bottomRow->addWidget(busyIndicator_);
    bottomRow->addWidget(stopButton_);
    bottomRow->addWidget(shelfStatusLabel_);
    bottomRow->addStretch();
    bottomRow->addWidget(pageLabel_);
    bottomRow->addWidget(pageSeparatorLabel_);
    bottomRow->addWidget(pageCountLabel_);
    bottomRow->addSpacing(8);
    bottomRow->addWidget(prevPageButton_);
    bottomRow->addWidget(nextPageButton_);

    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(2, 2, 2, 2);
    column->setSpacing(4);
    column->addWidget(bannerPicture_, 0, Qt::AlignHCenter);
    column->addLayout(searchRow);
    column->addWidget(bookList_, 1);
    column->addLayout(bottomRow);

    // Event bindings.
    connect(bannerPicture_, &ClickableLabel::clicked, this, &MainWindow::openNewsPage);
    connect(searchButton_, &QPushButton::clicked, this, &MainWindow::onSearch);
    connect(keywordEdit_, &QLineEdit::returnPressed, this, &MainWindow::onSearch);
    connect(categoryCombo_, &QComboBox::activated, this, &MainWindow::onCategorySelected);
    connect(readerButton_, &QPushButton::clicked, this, &MainWindow::showReaderWindow);
    connect(shelfButton_, &QPushButton::clicked, this, &MainWindow::shelfRequested);
    connect(fullTextSearchButton_, &QPushButton::clicked, this,
            &MainWindow::fullTextSearchRequested);
    connect(chatGroupLabel_, &ClickableLabel::clicked, this, &MainWindow::openChatGroupLink);
    connect(helpLabel_, &ClickableLabel::clicked, this, &MainWindow::openHelpPage);
    connect(bookList_, &QTreeWidget::itemDoubleClicked, this, &MainWindow::openBookDetail);
    bookList_->installEventFilter(this);  // Enter on a row: openBookDetail
    connect(prevPageButton_, &QPushButton::clicked, this, &MainWindow::onPrevPage);
    connect(nextPageButton_, &QPushButton::clicked, this, &MainWindow::onNextPage);
    connect(stopButton_, &QPushButton::clicked, this, &MainWindow::stopLoading);
    connect(new QShortcut(QKeySequence::Cancel, this), &QShortcut::activated, this,
            &MainWindow::stopLoading);
    connect(listRequest_, &PageRequest::runningChanged, this, &MainWindow::onRequestsRunning);
    connect(bookRequest_, &PageRequest::runningChanged, this, &MainWindow::onRequestsRunning);
    windows_.attach(this);

    // Created: the controls exist now.
    onMainWindowCreated();
}

void MainWindow::onMainWindowCreated() {
    applySkin(kProgramSkin);
    categoryCombo_->setCurrentIndex(0);
    searchTypeCombo_->setCurrentIndex(0);
    statusBarPart0_ = named(new QLabel(statusBar_), "StatusBarPart0");
    statusBarPart0_->setFixedWidth(352);
    statusBar_->addPermanentWidget(statusBarPart0_);
    statusBarPart0_->setText(QStringLiteral("已就绪！"));
}

void MainWindow::onCategorySelected() {
    const int index = categoryCombo_->currentIndex();
    // The prompt and the separators are no list; choosing one leaves everything as it is.
    if (index < 0 || index >= static_cast<int>(kCatalogueList.size()) ||
        kCatalogueList[index].searchMode())
        return;
    bookList_->setFocus();
    pendingPage_ = 0;
    runLoader(kCatalogueList[index].firstPage, listPageUrl(state_.site, index, 1),
              [this] { pageLabel_->setText(QStringLiteral("1")); });
}

void MainWindow::onPrevPage() {
    turnPage(PageStep::Previous);
}

void MainWindow::onNextPage() {
    turnPage(PageStep::Next);
}

void MainWindow::onSearch() {
    const int type = searchTypeCombo_->currentIndex();
    if (type != static_cast<int>(SearchType::Title) &&
        type != static_cast<int>(SearchType::Author)) {
        bookList_->clear();
        return;
    }
    pendingPage_ = 0;
    loadSearchPage(
        searchUrl(state_.site, static_cast<SearchType>(type), toText(keywordEdit_->text()), 1),
        true, [this] {
            // Back to the prompt, so that the page buttons go on with this search.
            categoryCombo_->setCurrentIndex(0);
            pageLabel_->setText(QStringLiteral("1"));
        });
}

void MainWindow::openBookDetail() {
    const QList<QTreeWidgetItem*> selected = bookList_->selectedItems();
    const BookRow row = selected.isEmpty() ? BookRow{} : bookRowOf(*selected.front());
    if (!row.valid()) {
        showMessage(this, QStringLiteral("请选中有数据的书箱!"));
        return;
    }
    bookRequest_->start({row.bookUrl, RequestStyle::Plain}, [this, book = currentBookFromRow(row)](
                                                                const FetchResult& result) mutable {
        if (!result.ok()) return reportFetchProblem(result);
        book.setDetails(parseBookPage(textOf(result.body), state_.config.brandWords()));
        emit bookDetailsArrived(book);
    });
}

void MainWindow::stopLoading() {
    listRequest_->cancel();
    bookRequest_->cancel();
    pendingPage_ = 0;
}

bool MainWindow::loading() const {
    return listRequest_->running() || bookRequest_->running();
}

void MainWindow::onRequestsRunning() {
    const bool busy = loading();
    if (busy == busyIndicator_->isVisible()) return;
    busyIndicator_->setVisible(busy);
    stopButton_->setVisible(busy);
    if (busy) {
        idleStatusText_ = statusBarPart0_->text();
        setStatusText(QStringLiteral("正在读取……"));
        setCursor(Qt::BusyCursor);
    } else {
        // What the result shows comes after this; a stopped request leaves the old words.
        setStatusText(idleStatusText_);
        unsetCursor();
    }
}

void MainWindow::loadRankingPage(std::string url, std::function<void()> shown) {
    loadListPage(std::move(url), ListLayout::Ranking, std::move(shown));
}

void MainWindow::loadCategoryPage(std::string url, std::function<void()> shown) {
    loadListPage(std::move(url), ListLayout::Category, std::move(shown));
}

void MainWindow::loadSearchPage(std::string url, bool newSearch, std::function<void()> shown) {
    // The keyword of the request, not whatever the box holds when the answer arrives.
    const Text keyword = toText(keywordEdit_->text());
    listRequest_->start({url}, [this, url, keyword, newSearch,
                                shown = std::move(shown)](const FetchResult& result) {
        pendingPage_ = 0;
        if (!result.ok()) return reportFetchProblem(result);
        currentListUrl_ = url;
        if (newSearch) bookList_->clear();
        const SearchPage page =
            parseSearchPage(textOf(result.body), keyword, bookList_->topLevelItemCount());
        switch (page.answer) {
            case SearchAnswer::None:
                showMessage(this, QStringLiteral("抱歉,没有找到相关内容!"),
                            QStringLiteral("提示!"));
                break;
            case SearchAnswer::Single:
                // The book joins the list as it stands.
                pageCountLabel_->setText(QStringLiteral("1"));
                for (const BookRow& row : page.rows) appendBookRow(row);
                fitSizeColumn();
                setStatusText(QStringLiteral("加载完毕！"));
                break;
            case SearchAnswer::List:
                showPage(page.pageCount, page.rows, page.progressLines);
                break;
        }
        if (shown) shown();
    });
}

void MainWindow::loadListPage(std::string url, ListLayout layout, std::function<void()> shown) {
    listRequest_->start({url},
                        [this, url, layout, shown = std::move(shown)](const FetchResult& result) {
                            pendingPage_ = 0;
                            if (!result.ok()) return reportFetchProblem(result);
                            currentListUrl_ = url;
                            const ListPage page = parseListPage(textOf(result.body), layout);
                            showPage(page.pageCount, page.rows, page.progressLines);
                            if (shown) shown();
                        });
}

void MainWindow::showPage(int pageCount, const std::vector<BookRow>& rows,
                          const TextList& progressLines) {
    pageCountLabel_->setText(QString::number(pageCount));
    pageLabel_->setText(QStringLiteral("1"));
    // Emptied only now, so the previous page stays on screen while the request runs.
    bookList_->clear();
    for (size_t i = 0; i < rows.size(); ++i) {
        setStatusText(toQString(progressLines[i]));
        appendBookRow(rows[i]);
    }
    fitSizeColumn();
    setStatusText(QStringLiteral("加载完毕！"));
}

void MainWindow::runLoader(PageParser parser, std::string url, std::function<void()> shown) {
    switch (parser) {
        case PageParser::Ranking:
            return loadRankingPage(std::move(url), std::move(shown));
        case PageParser::Category:
            return loadCategoryPage(std::move(url), std::move(shown));
        case PageParser::Search:
            return loadSearchPage(std::move(url), false, std::move(shown));
        case PageParser::None:
            break;
    }
}

void MainWindow::turnPage(PageStep step) {
    // A turn while another one loads goes on from the page that one will show, so two quick
    // clicks on "下一页" land two pages on.
    const Text page = pendingPage_ > 0 ? std::to_string(pendingPage_) : toText(pageLabel_->text());
    const Text pageCount = toText(pageCountLabel_->text());
    const Text keyword = toText(keywordEdit_->text());
    const PageTurn turn = planPageTurn(state_.site, step,
                                       {page, pageCount, categoryCombo_->currentIndex(),
                                        searchTypeCombo_->currentIndex(), keyword});
    switch (turn.outcome) {
        case PageTurn::Outcome::FirstPage:
            showMessage(this, QStringLiteral("已经是第一页了！"));
            return;
        case PageTurn::Outcome::LastPage:
            showMessage(this, QStringLiteral("已经是最后一页了！"));
            return;
        case PageTurn::Outcome::Nothing:
            return;
        case PageTurn::Outcome::Load:
            // A page that could not be read leaves the list, its address and the page number.
            runLoader(turn.parser, turn.url,
                      [this, shown = turn.page] { pageLabel_->setText(QString::number(shown)); });
            pendingPage_ = turn.page;
            return;
    }
}

void MainWindow::appendBookRow(const BookRow& row) {
    auto* item = new QTreeWidgetItem;
    for (size_t c = 0; c < kBookColumns.size(); ++c)
        item->setText(static_cast<int>(c), toQString(row.*kBookColumns[c]));
    // Titles and chapter names are often wider than their columns.
    for (int c : {1, 2}) item->setToolTip(c, item->text(c));
    bookList_->addTopLevelItem(item);
}

void MainWindow::fitSizeColumn() {
    // Sizes such as "22460K" outgrow their column in most fonts, while row numbers need far less
    // than theirs: the number column gives way, so the visible columns keep their total width and
    // the hidden ones stay hidden.
    constexpr int kNumberColumn = 0, kSizeColumn = 4;
    const QFontMetrics metrics = bookList_->fontMetrics();
    const int margins = 2 * (bookList_->style()->pixelMetric(QStyle::PM_FocusFrameHMargin) + 1) + 4;
    auto widthOf = [&](int column) {
        int widest = bookList_->header()->sectionSizeHint(column);
        for (int r = 0; r < bookList_->topLevelItemCount(); ++r)
            widest = std::max(
                widest,
                metrics.horizontalAdvance(bookList_->topLevelItem(r)->text(column)) + margins);
        return widest;
    };
    const int missing = widthOf(kSizeColumn) - bookList_->columnWidth(kSizeColumn);
    if (missing <= 0) return;
    const int moved =
        std::min(missing, bookList_->columnWidth(kNumberColumn) - widthOf(kNumberColumn));
    if (moved <= 0) return;
    bookList_->setColumnWidth(kNumberColumn, bookList_->columnWidth(kNumberColumn) - moved);
    bookList_->setColumnWidth(kSizeColumn, bookList_->columnWidth(kSizeColumn) + moved);
}

void MainWindow::reportFetchProblem(const FetchResult& result) {
    // The status bar says it too: "加载完毕！" from the page before would claim the opposite.
    const QString text = QStringLiteral("读取网页失败：") + QString::fromStdString(result.problem);
    setStatusText(text);
    showMessage(this, text);
}

void MainWindow::setStatusText(const QString& text) {
    statusBarPart0_->setText(text);
}

void MainWindow::openNewsPage() {
    openMakerPage(state_.config.newsPage, state_.programFolder);
}

void MainWindow::openChatGroupLink() {
    openMakerPage(state_.config.chatGroupLink, state_.programFolder);
}

void MainWindow::openHelpPage() {
    openMakerPage(state_.config.helpPage, state_.programFolder);
}

void MainWindow::showShelfStatus(const QString& text) {
    shelfStatusLabel_->setText(text);
    shelfStatusLabel_->setVisible(!text.isEmpty());
}

void MainWindow::showReaderWindow() {
    emit readerRequested();
}

bool MainWindow::eventFilter(QObject* watched, QEvent* event) {
    // Enter on a selected row opens it as a double-click does.
    if (watched == bookList_ && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if ((key == Qt::Key_Return || key == Qt::Key_Enter) && bookList_->currentItem()) {
            openBookDetail();
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

void MainWindow::closeEvent(QCloseEvent* event) {
    QWidget::closeEvent(event);
    // Closing the start window ends the program, whatever other windows are open.
    QCoreApplication::quit();
}

}  // namespace novel
