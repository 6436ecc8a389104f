#include "app/search_window.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QStandardItemModel>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "app/app_state.h"
#include "app/controls.h"
#include "app/qt_text.h"
#include "library/fulltext.h"
#include "library/fulltext_builder.h"

namespace novel {

namespace {

enum Role { kChapterUrl = Qt::UserRole, kChapterRow, kBookUrl, kBookTitle };
enum ScopeItem { kThisBook = 0, kShelf = 1, kEverything = 2 };
// Each shown hit costs a snippet; the count of all hits is shown beside them.
constexpr int kHitLimit = 100;

QString snippetHtml(const FulltextHit& hit) {
    const QByteArray bytes = QByteArray::fromStdString(hit.snippet);
    const auto part = [&](size_t from, size_t to) {
        return QString::fromUtf8(
                   bytes.mid(static_cast<qsizetype>(from), static_cast<qsizetype>(to - from)))
            .toHtmlEscaped();
    };
    return part(0, hit.hitBegin) +
           QStringLiteral("<span style=\"background:#ffd54f;color:#000;\">") +
           part(hit.hitBegin, hit.hitEnd) + QStringLiteral("</span>") +
           part(hit.hitEnd, hit.snippet.size());
}

}  // namespace

SearchWindow::SearchWindow(AppState& state, QWidget* parent)
    : QWidget(parent, Qt::Window), state_(state) {
    setObjectName(QStringLiteral("SearchWindow"));
    setWindowTitle(QStringLiteral("全文搜索"));
    resize(720, 520);

    queryEdit_ = named(new QLineEdit(this), "QueryEdit");
    queryEdit_->setPlaceholderText(QStringLiteral("在缓存的章节中查找文字"));
    scopeCombo_ = named(new QComboBox(this), "ScopeCombo");
    scopeCombo_->addItems(
        {QStringLiteral("本书"), QStringLiteral("书架"), QStringLiteral("全部缓存")});
    scopeCombo_->setCurrentIndex(kEverything);
    findButton_ = named(new QPushButton(QStringLiteral("搜索"), this), "FindButton");
    hitTree_ = named(new QTreeWidget(this), "HitTree");
    hitTree_->setHeaderLabels({QStringLiteral("章节"), QStringLiteral("摘要")});
    hitTree_->header()->resizeSection(0, 220);
    statusLabel_ = named(new QLabel(this), "SearchStatusLabel");

    auto* row = new QHBoxLayout;
    row->addWidget(queryEdit_, 1);
    row->addWidget(scopeCombo_);
    row->addWidget(findButton_);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(row);
    layout->addWidget(hitTree_, 1);
    layout->addWidget(statusLabel_);
    setCurrentBook({});

    connect(queryEdit_, &QLineEdit::returnPressed, this, &SearchWindow::search);
    connect(findButton_, &QPushButton::clicked, this, &SearchWindow::search);
    connect(hitTree_, &QTreeWidget::itemActivated, this, &SearchWindow::openItem);

    Library& library = state_.library();
    if (!library.writable()) {
        statusLabel_->setText(QString::fromStdString(library.openProblem()));
    } else if (!library.fulltextProgress().done()) {
        QPointer<SearchWindow> self(this);
        builder_ = std::make_unique<FulltextBuilder>(library, [self](FulltextProgress progress) {
            QMetaObject::invokeMethod(
                self,
                [self, progress] {
                    if (self) self->showProgress(progress);
                },
                Qt::QueuedConnection);
        });
    }
}

SearchWindow::~SearchWindow() {
    builder_.reset();
    if (searching_.joinable()) searching_.join();
}

void SearchWindow::setCurrentBook(const CurrentBook& book) {
    currentBook_ = book;
    // "本书" needs a book.
    auto* model = qobject_cast<QStandardItemModel*>(scopeCombo_->model());
    const bool has = !book.bookUrl.empty();
    if (model) model->item(kThisBook)->setEnabled(has);
    if (has)
        scopeCombo_->setCurrentIndex(kThisBook);
    else if (scopeCombo_->currentIndex() == kThisBook)
        scopeCombo_->setCurrentIndex(kEverything);
}

void SearchWindow::search() {
    const QString query = queryEdit_->text();
    const std::string utf8 = query.toStdString();
    if (fulltextMatchExpression(utf8).empty()) {
        hitTree_->clear();
        statusLabel_->setText(QStringLiteral("请输入要查找的文字"));
        return;
    }
    const int scope = scopeCombo_->currentIndex();
    const FulltextScope fulltextScope = scope == kThisBook ? FulltextScope::Book
                                        : scope == kShelf  ? FulltextScope::Shelf
                                                           : FulltextScope::All;
    const quint64 serial = ++serial_;
    statusLabel_->setText(QStringLiteral("正在搜索……"));
    if (searching_.joinable()) searching_.join();
    Library* library = &state_.library();
    QPointer<SearchWindow> self(this);
    searching_ = std::thread([self, library, utf8, fulltextScope, serial, query,
                              bookUrl = std::string(currentBook_.bookUrl)] {
        FulltextResult result = library->findText(utf8, fulltextScope, bookUrl, kHitLimit);
        QMetaObject::invokeMethod(
            self.data(),
            [self, serial, query, result = std::move(result)] {
                if (self) self->showHits(serial, result, query);
            },
            Qt::QueuedConnection);
    });
}

void SearchWindow::showHits(quint64 serial, const FulltextResult& result, const QString& query) {
    if (serial != serial_) return;
    hitTree_->clear();
    QTreeWidgetItem* bookItem = nullptr;
    std::string lastBook;
    for (const FulltextHit& hit : result.hits) {
        if (!bookItem || hit.bookUrl != lastBook) {
            lastBook = hit.bookUrl;
            bookItem = new QTreeWidgetItem(hitTree_);
            bookItem->setText(0, hit.bookTitle.empty() ? QString::fromStdString(hit.bookUrl)
                                                       : toQString(hit.bookTitle));
            bookItem->setExpanded(true);
        }
        auto* item = new QTreeWidgetItem(bookItem);
        item->setText(0, hit.chapterTitle.empty() ? QString::fromStdString(hit.chapterUrl)
                                                  : toQString(hit.chapterTitle));
        item->setData(0, kChapterUrl, QString::fromStdString(hit.chapterUrl));
        item->setData(0, kChapterRow, hit.chapterIndex);
        item->setData(0, kBookUrl, QString::fromStdString(hit.bookUrl));
        item->setData(0, kBookTitle, toQString(hit.bookTitle));
        item->setData(0, Qt::UserRole + 10, query);
        auto* snippet = new QLabel(snippetHtml(hit));
        snippet->setTextFormat(Qt::RichText);
        snippet->setObjectName(QStringLiteral("HitSnippet"));
        hitTree_->setItemWidget(item, 1, snippet);
    }
    for (int i = 0; i < hitTree_->topLevelItemCount(); ++i)
        hitTree_->topLevelItem(i)->setText(
            1, QStringLiteral("%1 章").arg(hitTree_->topLevelItem(i)->childCount()));
    QString status = result.hits.empty() ? QStringLiteral("没有找到“%1”").arg(query)
                                         : QStringLiteral("找到 %1 章").arg(result.matched);
    if (result.matched > static_cast<int>(result.hits.size()))
        status += QStringLiteral("，显示前 %1 章").arg(result.hits.size());
    if (result.unindexed > 0)
        status += QStringLiteral("（还有 %1 章正在建立索引）").arg(result.unindexed);
    statusLabel_->setText(status);
}

void SearchWindow::showProgress(FulltextProgress progress) {
    statusLabel_->setText(progress.done()
                              ? QStringLiteral("全文索引已建好，共 %1 章").arg(progress.total)
                              : QStringLiteral("正在建立全文索引：%1/%2 章")
                                    .arg(progress.indexed)
                                    .arg(progress.total));
}

void SearchWindow::openItem(QTreeWidgetItem* item) {
    if (!item || !item->parent()) return;
    CurrentBook book;
    book.bookUrl = item->data(0, kBookUrl).toString().toStdString();
    book.title = toText(item->data(0, kBookTitle).toString());
    book.bookUrlStem = bookUrlStem(book.bookUrl);
    book.tocUrl = tocUrlOf(book.bookUrl);
    emit hitOpened(book, item->data(0, kChapterUrl).toString().toStdString(),
                   item->data(0, kChapterRow).toInt(), item->data(0, Qt::UserRole + 10).toString());
}

}  // namespace novel
