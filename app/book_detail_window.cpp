#include "app/book_detail_window.h"

#include <QLabel>
#include <QPixmap>
#include <QPlainTextEdit>
#include <QPushButton>

#include "app/app_state.h"
#include "app/controls.h"
#include "app/page_request.h"
#include "app/qt_text.h"
#include "catalogue/site_urls.h"

namespace novel {
namespace {

// Appending moves the caret to the end and inserts there.
void appendText(QPlainTextEdit* edit, const QString& text) {
    edit->moveCursor(QTextCursor::End);
    edit->insertPlainText(text);
}

}  // namespace

BookDetailWindow::BookDetailWindow(CurrentBook book, AppState& state, QWidget* parent)
    : QDialog(parent), state_(state), book_(std::move(book)) {
    setObjectName(QStringLiteral("BookDetailWindow"));
    setWindowTitle(QStringLiteral("澄卷小说下载阅读助手"));
    setWindowFlags(Qt::Tool | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
    setFixedSize(clientSizeFor(495, 342));
    const int width = this->width();

    bookTitleLabel_ = named(new QLabel(QStringLiteral("唐砖"), this), "BookTitleLabel");
    bookTitleLabel_->setAlignment(Qt::AlignCenter);
    QFont titleFont;
    titleFont.setFamilies({QStringLiteral("宋体"), QStringLiteral("WenQuanYi Micro Hei")});
    titleFont.setPixelSize(24);
    bookTitleLabel_->setFont(titleFont);
    bookTitleLabel_->setStyleSheet(QStringLiteral("color: #d00000;"));
    bookTitleLabel_->setGeometry(0, 6, width, 34);

    coverPicture_ = named(new QLabel(this), "CoverPicture");
    coverPicture_->setGeometry(14, 48, 100, 136);
    coverPicture_->setScaledContents(true);
    coverPicture_->setFrameShape(QFrame::Box);
    coverPicture_->setStyleSheet(QStringLiteral("border: 1px solid #b4c6db; background: #ffffff;"));

    // Two borderless, see-through text blocks beside the cover.
    const QString plainBlock = QStringLiteral("border: none; background: transparent;");
    bookStatusEdit_ = named(new QPlainTextEdit(this), "BookStatusEdit");
    bookStatusEdit_->setPlainText(
        QStringLiteral("\r\n状    态： \r\n           \r\n收 藏 数： \r\n               \r\n"
                       "总点击数： \r\n      \r\n"));
    bookUpdateEdit_ = named(new QPlainTextEdit(this), "BookUpdateEdit");
    bookUpdateEdit_->setPlainText(
        QStringLiteral("\r\n最后更新：\r\n\r\n全文字数：  \r\n\r\n本月点击：\r\n"));
    for (QPlainTextEdit* block : {bookStatusEdit_, bookUpdateEdit_}) {
        block->setStyleSheet(plainBlock);
        block->setReadOnly(true);
        block->setFocusPolicy(Qt::NoFocus);
        block->setFrameShape(QFrame::NoFrame);
        block->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        block->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    }
    bookStatusEdit_->setGeometry(126, 46, 166, 140);
    bookUpdateEdit_->setGeometry(298, 46, 170, 140);

    synopsisCaptionLabel_ =
        named(new QLabel(QStringLiteral("内容简介："), this), "SynopsisCaptionLabel");
    synopsisCaptionLabel_->setStyleSheet(QStringLiteral("color: #0000d0;"));
    synopsisCaptionLabel_->setGeometry(14, 190, 120, 18);

    synopsisEdit_ = named(new QPlainTextEdit(this), "SynopsisEdit");
    synopsisEdit_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    synopsisEdit_->setReadOnly(true);
    synopsisEdit_->setGeometry(14, 210, width - 28, 56);

    readFirstChapterButton_ =
        named(new QPushButton(QStringLiteral("阅读第一章"), this), "ReadFirstChapterButton");
    readLatestChapterButton_ =
        named(new QPushButton(QStringLiteral("阅读最新一章"), this), "ReadLatestChapterButton");
    readFirstChapterButton_->setGeometry(width / 2 - 175, 272, 110, 26);
    readLatestChapterButton_->setGeometry(width / 2 - 55, 272, 110, 26);
    addToShelfButton_ =
        named(new QPushButton(QStringLiteral("加入书架"), this), "AddToShelfButton");
    // Beside the read buttons: the window is no taller than they leave room for.
    addToShelfButton_->setGeometry(width / 2 + 65, 272, 110, 26);

    coverRequest_ = new PageRequest(state_.engine(), this);

    // Event bindings.
    connect(readFirstChapterButton_, &QPushButton::clicked, this,
            &BookDetailWindow::readFromFirstChapter);
    connect(readLatestChapterButton_, &QPushButton::clicked, this,
            &BookDetailWindow::readLatestChapter);
    connect(addToShelfButton_, &QPushButton::clicked, this, [this] { emit shelfRequested(book_); });

    // Created: the controls exist now.
    fillBookDetailWindow();
}

void BookDetailWindow::fillBookDetailWindow() {
    const CurrentBook& book = book_;
    const QString title = toQString(book.title);
    setWindowTitle(title + QStringLiteral("详细资料"));
    bookTitleLabel_->setText(title);

    bookStatusEdit_->clear();
    appendText(bookStatusEdit_, QStringLiteral("作    者：") + toQString(book.author) + "\r\n");
    appendText(bookStatusEdit_, QStringLiteral("\r\n状    态：") + toQString(book.status) + "\r\n");
    appendText(bookStatusEdit_, QStringLiteral("\r\n授权状态：暂未授权\r\n"));

    bookUpdateEdit_->clear();
    appendText(bookUpdateEdit_, QStringLiteral("类    别：") + toQString(book.category) + "\r\n");
    appendText(bookUpdateEdit_,
               QStringLiteral("\r\n最后更新：") + toQString(book.lastUpdate) + "\r\n");
    appendText(bookUpdateEdit_,
               QStringLiteral("\r\n全文字数：") + toQString(book.wordCount) + "\r\n");

    synopsisEdit_->setPlainText(book.synopsis.empty() ? QStringLiteral("暂无简介")
                                                      : toQString(book.synopsis));

    // The site's default cover, the same for every book, read while the window is up; without it
    // the frame stays empty.
    coverRequest_->start(
        {coverUrl(state_.site), RequestStyle::Plain}, [this](const FetchResult& result) {
            QPixmap picture;
            if (result.ok() &&
                picture.loadFromData(reinterpret_cast<const uchar*>(result.body.data()),
                                     static_cast<uint>(result.body.size())))
                coverPicture_->setPixmap(picture);
        });
}

void BookDetailWindow::readFromFirstChapter() {
    emit readRequested(book_, ReadStart::FirstChapter);
    close();
}

void BookDetailWindow::readLatestChapter() {
    emit readRequested(book_, ReadStart::LatestChapter);
    close();
}

}  // namespace novel
