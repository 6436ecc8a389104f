#include "bookmarks/bookmark_window.h"

#include <QAction>
#include <QLabel>
#include <QMenu>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "app/app_state.h"
#include "app/controls.h"

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

    // Created: the controls exist now.
    listBookmarks();
}

// The bookmark files come with the bookmarks change; until then these do nothing.

void BookmarkWindow::listBookmarks() {}
void BookmarkWindow::openBookmark() {}
void BookmarkWindow::popUpBookmarkMenu(const QPoint& /*position*/) {}
void BookmarkWindow::deleteBookmark() {}

}  // namespace novel
