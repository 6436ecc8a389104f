#include "library/shelf_window.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "app/app_state.h"
#include "app/controls.h"
#include "app/message_box.h"
#include "app/page_request.h"
#include "app/qt_text.h"
#include "catalogue/site_urls.h"
#include "library/bookshelf.h"
#include "library/shelf_entry.h"

namespace novel {
namespace {

constexpr QSize kCoverSize(30, 40);

// Until the site's cover has arrived (or when it never does): a plain frame.
QPixmap placeholderCover() {
    QPixmap picture(kCoverSize);
    picture.fill(QColor(0xf4, 0xf1, 0xe8));
    QPainter painter(&picture);
    painter.setPen(QColor(0xb4, 0xc6, 0xdb));
    painter.drawRect(0, 0, kCoverSize.width() - 1, kCoverSize.height() - 1);
    return picture;
}

QString newsText(const ShelfBook& book) {
    if (book.lastCheckAt == 0) return QStringLiteral("未检查");
    const std::string summary = newsSummary(book.news);
    return summary.empty() ? QStringLiteral("无更新")
                           : QStringLiteral("有更新：") + QString::fromStdString(summary);
}

}  // namespace

ShelfWindow::ShelfWindow(AppState& state, Bookshelf& shelf, QWidget* parent)
    : QWidget(parent, Qt::Window),
      state_(state),
      shelf_(shelf),
      coverRequest_(new PageRequest(state.engine(), this)),
      cover_(placeholderCover()) {
    setObjectName(QStringLiteral("ShelfWindow"));
    setWindowTitle(QStringLiteral("书架"));
    resize(720, 420);

    shelfList_ = named(new QTreeWidget(this), "ShelfList");
    setUpReportList(shelfList_, {{QString(), 44},
                                 {QStringLiteral("书名"), 150},
                                 {QStringLiteral("作者"), 80},
                                 {QStringLiteral("读到"), 150},
                                 {QStringLiteral("进度"), 50},
                                 {QStringLiteral("未读"), 50},
                                 {QStringLiteral("更新"), 160}});
    shelfList_->setIconSize(kCoverSize);
    removeButton_ =
        named(new QPushButton(QStringLiteral("移出书架"), this), "RemoveFromShelfButton");
    checkUpdatesButton_ =
        named(new QPushButton(QStringLiteral("检查更新"), this), "CheckUpdatesButton");
    clearCacheButton_ =
        named(new QPushButton(QStringLiteral("清除缓存"), this), "ClearCacheButton");
    statusLabel_ = named(new QLabel(this), "ShelfStatusLabel");

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(statusLabel_, 1);
    buttons->addWidget(checkUpdatesButton_);
    buttons->addWidget(removeButton_);
    buttons->addWidget(clearCacheButton_);
    auto* column = new QVBoxLayout(this);
    column->addWidget(shelfList_, 1);
    column->addLayout(buttons);

    connect(shelfList_, &QTreeWidget::itemDoubleClicked, this, [this](QTreeWidgetItem* item) {
        shelfList_->setCurrentItem(item);
        continueSelected();
    });
    connect(removeButton_, &QPushButton::clicked, this, &ShelfWindow::removeSelected);
    connect(checkUpdatesButton_, &QPushButton::clicked, this, &ShelfWindow::checkUpdates);
    connect(clearCacheButton_, &QPushButton::clicked, this, &ShelfWindow::clearCache);
    connect(&shelf_, &Bookshelf::changed, this, &ShelfWindow::refresh);
    connect(&shelf_, &Bookshelf::checkingChanged, this, &ShelfWindow::onCheckingChanged);
    connect(&shelf_, &Bookshelf::updatesChecked, this, &ShelfWindow::onUpdatesChecked);

    refresh();
    onCheckingChanged(shelf_.checking());
    if (!state_.library().openProblem().empty() && !state_.library().writable())
        statusLabel_->setText(QString::fromStdString(state_.library().openProblem()));
    // Every book of the site shows the site's one cover.
    coverRequest_->start(
        {coverUrl(state_.site), RequestStyle::Plain}, [this](const FetchResult& result) {
            QPixmap picture;
            if (!result.ok() ||
                !picture.loadFromData(reinterpret_cast<const uchar*>(result.body.data()),
                                      static_cast<uint>(result.body.size())))
                return;
            cover_ = picture.scaled(kCoverSize, Qt::KeepAspectRatio, Qt::SmoothTransformation);
            refresh();
        });
}

void ShelfWindow::refresh() {
    const std::string selected = selectedBook();
    shelfList_->clear();
    for (const ShelfBook& book : state_.library().books(true)) {
        const int row = resumeRow(book);
        const QString readTo = book.lastRead && row >= 0
                                   ? toQString(book.toc[static_cast<size_t>(row)].title)
                                   : QStringLiteral("未读");
        auto* item = new QTreeWidgetItem(
            QStringList{QString(), toQString(book.title), toQString(book.author), readTo,
                        QStringLiteral("%1%").arg(percentRead(book)),
                        QString::number(chaptersUnread(book)), newsText(book)});
        item->setIcon(CoverColumn, QIcon(cover_));
        item->setData(TitleColumn, Qt::UserRole, QString::fromStdString(book.bookUrl));
        if (!book.news.empty()) {
            QFont bold = item->font(TitleColumn);
            bold.setBold(true);
            item->setFont(TitleColumn, bold);
            item->setFont(NewsColumn, bold);
        }
        shelfList_->addTopLevelItem(item);
        if (book.bookUrl == selected) shelfList_->setCurrentItem(item);
    }
}

std::string ShelfWindow::selectedBook() const {
    const QTreeWidgetItem* item = shelfList_->currentItem();
    return item ? item->data(TitleColumn, Qt::UserRole).toString().toStdString() : std::string();
}

void ShelfWindow::continueSelected() {
    const std::optional<ShelfBook> book = state_.library().book(selectedBook());
    if (!book) return;
    emit continueRequested(*book);
}

void ShelfWindow::removeSelected() {
    const std::string url = selectedBook();
    if (url.empty()) {
        showMessage(this, QStringLiteral("请先选中一本书"));
        return;
    }
    const LibraryResult removed = shelf_.remove(url);
    if (!removed.ok()) showMessage(this, QString::fromStdString(removed.problem));
}

void ShelfWindow::checkUpdates() {
    if (shelf_.checking()) return;
    if (!shelf_.checkUpdates())
        showMessage(this, QStringLiteral("无法检查更新：") +
                              QString::fromStdString(state_.library().openProblem()));
}

void ShelfWindow::clearCache() {
    const LibraryResult cleared = state_.library().clearCache();
    showMessage(this, cleared.ok() ? QStringLiteral("缓存已清除")
                                   : QString::fromStdString(cleared.problem));
}

void ShelfWindow::onCheckingChanged(bool checking) {
    checkUpdatesButton_->setEnabled(!checking);
    if (checking) statusLabel_->setText(QStringLiteral("正在检查更新……"));
}

void ShelfWindow::onUpdatesChecked(int booksWithNews, int failed) {
    QString text = QStringLiteral("检查完毕：%1 本书有更新").arg(booksWithNews);
    if (failed > 0) text += QStringLiteral("，%1 本书无法检查").arg(failed);
    statusLabel_->setText(text);
}

}  // namespace novel
