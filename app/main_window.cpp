#include "app/main_window.h"

#include <QComboBox>
#include <QCoreApplication>
#include <QFontMetrics>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStatusBar>
#include <QStyle>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <algorithm>
#include <array>
#include <utility>

#include "app/app_state.h"
#include "app/busy_cursor.h"
#include "app/controls.h"
#include "app/images.h"
#include "app/message_box.h"
#include "app/qt_text.h"
#include "app/skin.h"
#include "catalogue/book_page.h"
#include "catalogue/search_parser.h"
#include "catalogue/site_urls.h"
#include "commands/desktop_open.h"
#include "web/http.h"

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
    state_.windows = &windows_;
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
    searchRow->addStretch();
    searchRow->addLayout(links);

    auto* bottomRow = new QHBoxLayout;
    bottomRow->setSpacing(4);
    bottomRow->addWidget(statusBar_);
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
    connect(chatGroupLabel_, &ClickableLabel::clicked, this, &MainWindow::openChatGroupLink);
    connect(helpLabel_, &ClickableLabel::clicked, this, &MainWindow::openHelpPage);
    connect(bookList_, &QTreeWidget::itemDoubleClicked, this, &MainWindow::openBookDetail);
    connect(prevPageButton_, &QPushButton::clicked, this, &MainWindow::onPrevPage);
    connect(nextPageButton_, &QPushButton::clicked, this, &MainWindow::onNextPage);

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
    const std::string previousUrl =
        std::exchange(state_.currentListUrl, listPageUrl(state_.site, index, 1));
    if (!runLoader(kCatalogueList[index].firstPage)) {
        state_.currentListUrl = previousUrl;
        return;
    }
    pageLabel_->setText(QStringLiteral("1"));
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
    const std::string previousUrl = std::exchange(
        state_.currentListUrl,
        searchUrl(state_.site, static_cast<SearchType>(type), toText(keywordEdit_->text()), 1));
    if (!loadSearchPage(true)) {
        state_.currentListUrl = previousUrl;
        return;
    }
    // Back to the prompt, so that the page buttons go on with this search.
    categoryCombo_->setCurrentIndex(0);
    pageLabel_->setText(QStringLiteral("1"));
}

void MainWindow::openBookDetail() {
    const QList<QTreeWidgetItem*> selected = bookList_->selectedItems();
    const BookRow row = selected.isEmpty() ? BookRow{} : bookRowOf(*selected.front());
    if (!row.valid()) {
        showMessage(this, QStringLiteral("请选中有数据的书箱!"));
        return;
    }
    CurrentBook book = currentBookFromRow(row);
    const Bytes page = whileBusy([&] { return fetchPlain(book.bookUrl); });
    if (showFetchProblem(this)) return;
    book.setDetails(parseBookPage(textOf(page), state_.config.brandWords()));
    state_.currentBook = std::move(book);
    state_.windows->showBookDetail(this);
}

bool MainWindow::loadRankingPage() {
    return loadListPage(ListLayout::Ranking);
}

bool MainWindow::loadCategoryPage() {
    return loadListPage(ListLayout::Category);
}

bool MainWindow::loadSearchPage(bool newSearch) {
    const Bytes body = whileBusy([&] { return httpFetch(state_.currentListUrl); });
    if (showFetchProblem(this)) return false;
    if (newSearch) bookList_->clear();
    const SearchPage page =
        parseSearchPage(textOf(body), toText(keywordEdit_->text()), bookList_->topLevelItemCount());
    switch (page.answer) {
        case SearchAnswer::None:
            showMessage(this, QStringLiteral("抱歉,没有找到相关内容!"), QStringLiteral("提示!"));
            return true;
        case SearchAnswer::Single:
            // The book joins the list as it stands.
            pageCountLabel_->setText(QStringLiteral("1"));
            for (const BookRow& row : page.rows) appendBookRow(row);
            fitSizeColumn();
            break;
        case SearchAnswer::List:
            showPage(page.pageCount, page.rows, page.progressLines);
            return true;
    }
    setStatusText(QStringLiteral("加载完毕！"));
    return true;
}

bool MainWindow::loadListPage(ListLayout layout) {
    const Bytes body = whileBusy([&] { return httpFetch(state_.currentListUrl); });
    if (showFetchProblem(this)) return false;
    const ListPage page = parseListPage(textOf(body), layout);
    showPage(page.pageCount, page.rows, page.progressLines);
    return true;
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

bool MainWindow::runLoader(PageParser parser) {
    switch (parser) {
        case PageParser::Ranking:
            return loadRankingPage();
        case PageParser::Category:
            return loadCategoryPage();
        case PageParser::Search:
            return loadSearchPage();
        case PageParser::None:
            break;
    }
    return true;
}

void MainWindow::turnPage(PageStep step) {
    const Text page = toText(pageLabel_->text());
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
        case PageTurn::Outcome::Load: {
            // A page that could not be read leaves the list, its address and the page number.
            const std::string previousUrl = std::exchange(state_.currentListUrl, turn.url);
            if (!runLoader(turn.parser)) {
                state_.currentListUrl = previousUrl;
                return;
            }
            pageLabel_->setText(QString::number(turn.page));
            return;
        }
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

void MainWindow::showReaderWindow() {
    windows_.showReader();
}

void MainWindow::closeEvent(QCloseEvent* event) {
    QWidget::closeEvent(event);
    // Closing the start window ends the program, whatever other windows are open.
    QCoreApplication::quit();
}

}  // namespace novel
