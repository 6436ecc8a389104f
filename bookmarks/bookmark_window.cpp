#include "bookmarks/bookmark_window.h"

#include <QAction>
#include <QLabel>
#include <QMenu>
#include <QShortcut>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <filesystem>
#include <system_error>

#include "app/app_state.h"
#include "app/controls.h"
#include "app/message_box.h"
#include "app/qt_text.h"
#include "bookmarks/bookmark_file.h"

namespace novel {

BookmarkWindow::BookmarkWindow(AppState& state, QWidget* parent) : QWidget(parent), state_(state) {
    setObjectName(QStringLiteral("BookmarkWindow"));
    setWindowFlag(Qt::Window);
    setWindowTitle(QStringLiteral("澄卷小说下载阅读助手 书签管理"));
    setFixedSize(clientSizeFor(491, 210));

    bookmarkTitleLabel_ = named(new QLabel(QStringLiteral("书签管理"), this), "BookmarkTitleLabel");
    bookmarkTitleLabel_->setAlignment(Qt::AlignCenter);
    bookmarkTitleLabel_->setStyleSheet(QStringLiteral("color: #d00000; font-weight: bold;"));

    bookmarkList_ = named(new QTreeWidget(this), "BookmarkList");
    setUpReportList(bookmarkList_, {{QStringLiteral("ID"), 50},
                                    {QStringLiteral("书名"), 170},
                                    {QStringLiteral("章节"), 250},
                                    {QStringLiteral("地址"), 0}});
    bookmarkList_->setContextMenuPolicy(Qt::CustomContextMenu);
    bookmarkList_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);

    bookmarkLimitLabel_ =
        named(new QLabel(QStringLiteral("目前暂时只能添加五个书签！"), this), "BookmarkLimitLabel");
    bookmarkLimitLabel_->setAlignment(Qt::AlignCenter);
    bookmarkLimitLabel_->setStyleSheet(QStringLiteral("color: #008000;"));

    // A layout, because listing the bookmarks makes the window shorter.
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(1, 4, 1, 4);
    column->setSpacing(3);
    column->addWidget(bookmarkTitleLabel_);
    column->addWidget(bookmarkList_, 1);
    column->addWidget(bookmarkLimitLabel_);

    bookmarkMenu_ = named(new QMenu(this), "BookmarkMenu");
    QAction* deleteItem =
        named(bookmarkMenu_->addAction(QStringLiteral("删除")), "DeleteBookmarkMenuItem");

    // Event bindings.
    connect(bookmarkList_, &QTreeWidget::itemDoubleClicked, this, &BookmarkWindow::openBookmark);
    connect(bookmarkList_, &QTreeWidget::customContextMenuRequested, this,
            &BookmarkWindow::popUpBookmarkMenu);
    connect(deleteItem, &QAction::triggered, this, &BookmarkWindow::deleteBookmark);
    connect(new QShortcut(QKeySequence::Cancel, this), &QShortcut::activated, this,
            &QWidget::close);

    // Created: the controls exist now.
    listBookmarks();
}

namespace {

// Each row carries the number of its slot: free slots get no row, so row and slot numbers differ.
constexpr int kSlotRole = Qt::UserRole;

std::filesystem::path bookmarkFolder(const AppState& state) {
    return state.htmlFolder.toStdString();
}

}  // namespace

void BookmarkWindow::listBookmarks() {
    setFixedSize(clientSizeFor(491, 180));
    bookmarkList_->clear();
    for (const BookmarkListing& entry : novel::listBookmarks(bookmarkFolder(state_), state_.site)) {
        const Bookmark& bookmark = entry.bookmark;
        QTreeWidgetItem* row = appendRow(
            bookmarkList_,
            {QString::number(bookmarkList_->topLevelItemCount() + 1), toQString(bookmark.bookTitle),
             toQString(bookmark.chapterTitle), toQString(bookmark.chapterUrl)});
        row->setData(0, kSlotRole, entry.slot);
    }
}

void BookmarkWindow::openBookmark() {
    QTreeWidgetItem* row = bookmarkList_->currentItem();
    if (!row || row->text(1).isEmpty()) return;
    const int slot = row->data(0, kSlotRole).toInt();
    if (slot < 1 || slot > kBookmarkSlotCount) return;
    const Bookmark bookmark = readBookmark(bookmarkFolder(state_), slot, state_.site);
    if (bookmark.bookTitle.empty() && bookmark.chapters.empty()) return;  // gone meanwhile
    emit bookmarkOpened(bookmark);
}

void BookmarkWindow::popUpBookmarkMenu(const QPoint& position) {
    if (!bookmarkList_->itemAt(position)) return;
    bookmarkMenu_->popup(bookmarkList_->viewport()->mapToGlobal(position));
}

void BookmarkWindow::deleteBookmark() {
    const QList<QTreeWidgetItem*> selected = bookmarkList_->selectedItems();
    QTreeWidgetItem* row = selected.isEmpty() ? nullptr : selected.first();
    const QString name = row ? row->text(1) : QString();
    const int slot = row ? row->data(0, kSlotRole).toInt() : 0;
    // A row without a name holds no bookmark of this listing; its slot may have been filled by a
    // save since, so its file is left alone.
    if (name.isEmpty() || slot < 1 || slot > kBookmarkSlotCount) {
        showMessage(this, QStringLiteral("没有书签或者没有选中书签！"));
        return;
    }
    if (const std::error_code ec = novel::deleteBookmark(bookmarkFolder(state_), slot)) {
        showMessage(this, QStringLiteral("删除书签失败：") + QString::fromStdString(ec.message()));
        return;
    }
    for (int column = 0; column < bookmarkList_->columnCount(); ++column) row->setText(column, {});
    showMessage(this, QStringLiteral("书签 ") + name + QStringLiteral(" 已经删除"));
}

}  // namespace novel
