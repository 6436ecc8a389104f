#include "download/download_window.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QLabel>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>
#include <filesystem>
#include <system_error>

#include "app/app_state.h"
#include "app/controls.h"
#include "app/message_box.h"
#include "app/qt_text.h"

namespace novel {

DownloadWindow::DownloadWindow(CurrentBook book, AppState& state, QWidget* parent)
    : QWidget(parent), state_(state), book_(std::move(book)) {
    setObjectName(QStringLiteral("DownloadWindow"));
    setWindowFlag(Qt::Window);
    setWindowTitle(QStringLiteral("澄卷小说下载阅读助手"));
    // Taller than the bare progress display by the row of the cancel button.
    setFixedSize(clientSizeFor(390, 108 + 32));
    const int width = this->width();

    downloadProgress_ = named(new QProgressBar(this), "DownloadProgress");
    downloadProgress_->setRange(0, 100);
    downloadProgress_->setValue(0);
    downloadProgress_->setGeometry(8, 8, width - 16, 20);

    fileSizeCaptionLabel_ =
        named(new QLabel(QStringLiteral("文件大小："), this), "FileSizeCaptionLabel");
    fileSizeCaptionLabel_->setGeometry(14, 38, 66, 20);
    fileSizeLabel_ = named(new QLabel(this), "FileSizeLabel");
    fileSizeLabel_->setGeometry(80, 38, 100, 20);
    downloadedCaptionLabel_ =
        named(new QLabel(QStringLiteral("已下载："), this), "DownloadedCaptionLabel");
    downloadedCaptionLabel_->setGeometry(196, 38, 54, 20);
    downloadedLabel_ = named(new QLabel(this), "DownloadedLabel");
    downloadedLabel_->setGeometry(250, 38, 110, 20);

    // Lies over the labels above and replaces them once the text is being cleaned.
    adRemovalLabel_ =
        named(new QLabel(QStringLiteral("请稍候，正在去除广告地址....."), this), "AdRemovalLabel");
    adRemovalLabel_->setAlignment(Qt::AlignCenter);
    adRemovalLabel_->setAutoFillBackground(true);
    adRemovalLabel_->setGeometry(0, 36, width, 24);
    adRemovalLabel_->hide();

    cancelDownloadButton_ =
        named(new QPushButton(QStringLiteral("取消下载"), this), "CancelDownloadButton");
    cancelDownloadButton_->setGeometry(width - 96, 68, 84, 26);

    downloadTimer_ = named(new QTimer(this), "DownloadTimer");
    downloadTimer_->setInterval(1000);

    // Event bindings.
    connect(downloadTimer_, &QTimer::timeout, this, &DownloadWindow::showDownloadProgress);
    connect(cancelDownloadButton_, &QPushButton::clicked, this, &DownloadWindow::cancelDownload);

    // Created: the controls exist now.
    downloadTimer_->start();
    startBookDownload();
}

DownloadWindow::~DownloadWindow() {
    cancelTransfer();
}

void DownloadWindow::closeEvent(QCloseEvent* event) {
    cancelTransfer();
    QWidget::closeEvent(event);
}

void DownloadWindow::startBookDownload() {
    CurrentBook& book = book_;
    book.title = trimBlanks(book.title);
    book.txtPackageUrl = trimBlanks(book.txtPackageUrl);
    title_ = book.title;
    const QString title = toQString(title_);
    if (book.txtPackageUrl.empty()) {
        giveUp(title_.empty()
                   ? QStringLiteral("请先选择要下载的书。")
                   : QStringLiteral("《%1》的页面上没有TXT下载地址，无法下载整本书。").arg(title));
        return;
    }
    if (!state_.fileDownloader) return giveUp({});  // the program is ending

    std::error_code ec;
    const std::filesystem::path base = std::filesystem::current_path(ec);
    paths_ = bookDownloadPaths(base, title_);
    if (ec || (ec = prepareBookFolder(paths_))) {
        giveUp(QStringLiteral("《%1》无法下载：不能创建文件夹 %2（%3）")
                   .arg(title, QString::fromStdString(paths_.bookFolder.string()),
                        QString::fromStdString(ec.message())));
        return;
    }

    DownloadRequest& request = state_.downloadRequest;
    prepareDownloadRequest(&request, book.txtPackageUrl, paths_);
    // The downloader calls back on its own thread; the event is handed to this one, and dropped
    // when the window is gone by then.
    request.eventCallback = [window = QPointer<DownloadWindow>(this)](
                                int event, int64_t a, int64_t b, int64_t c, int64_t d) {
        QCoreApplication* app = QCoreApplication::instance();
        if (!app) return;
        QMetaObject::invokeMethod(
            app,
            [window, event, a, b, c, d] {
                if (window) window->onDownloadEvent(event, a, b, c, d);
            },
            Qt::QueuedConnection);
    };

    adRemovalLabel_->setText(QStringLiteral("正在下载%1，请稍候......").arg(title));
    // The text is cleaned on its way into the file.
    if (!state_.fileDownloader->start(request, bookTextFilter(state_.config.brandWords()))) {
        giveUp(QStringLiteral("已有一本书正在下载，请等它下载完再下载《%1》。").arg(title));
        return;
    }
    transferring_ = true;
}

void DownloadWindow::onDownloadEvent(int event, int64_t /*a*/, int64_t b, int64_t /*c*/,
                                     int64_t /*d*/) {
    if (!transferring_) return;  // a transfer this window has already let go
    if (event == kDownloadEventTotalSize) {
        downloadTotalSize_ = b;
    } else if (event == kDownloadEventEnded) {
        adRemovalLabel_->show();
        adRemovalLabel_->repaint();
        finishBookDownload();
    }
}

void DownloadWindow::showDownloadProgress() {
    if (!transferring_ || !state_.fileDownloader) return;
    const DownloadProgress p =
        downloadProgress(downloadTotalSize_, state_.fileDownloader->received());
    fileSizeLabel_->setText(toQString(p.sizeText));
    downloadedLabel_->setText(toQString(p.receivedText));
    if (p.percent < 0) {
        downloadProgress_->setRange(0, 0);  // size not known yet: a busy bar
    } else {
        downloadProgress_->setRange(0, 100);
        downloadProgress_->setValue(p.percent);
    }
}

void DownloadWindow::finishBookDownload() {
    showDownloadProgress();
    transferring_ = false;
    downloadTimer_->stop();
    const QString title = toQString(title_);

    DownloadOutcome outcome;
    if (state_.fileDownloader)
        outcome = state_.fileDownloader->outcome();
    else
        outcome.stopped = true;  // the program is ending
    if (!outcome.ok) {
        removeLeftovers();
        // Stopped on purpose: nothing to tell.
        giveUp(outcome.stopped ? QString()
                               : QStringLiteral("《%1》下载失败：%2。")
                                     .arg(title, QString::fromStdString(outcome.error)));
        return;
    }
    const FinishResult finished = finishCleanedBookFile(paths_);
    if (!finished.ok) {
        removeLeftovers();
        giveUp(QStringLiteral("《%1》下载失败：%2。")
                   .arg(title, QString::fromStdString(finished.error)));
        return;
    }
    adRemovalLabel_->setText(QStringLiteral("广告去除完毕,还您一个干静的小说!"));
    showMessage(
        this,
        QStringLiteral("下载完成！保存在") + QString::fromStdString(paths_.finalFile.string()),
        QStringLiteral("完成!"));
    close();
}

void DownloadWindow::cancelDownload() {
    cancelTransfer();
    close();
}

// Stops a transfer that is still under way and removes what it wrote; a book downloaded earlier
// stays as it was, and a book folder this download made and left empty goes.
void DownloadWindow::cancelTransfer() {
    if (!transferring_) return;
    transferring_ = false;
    if (state_.fileDownloader) state_.fileDownloader->stop();
    removeLeftovers();
}

void DownloadWindow::removeLeftovers() {
    std::error_code ignored;
    std::filesystem::remove(paths_.temporaryFile, ignored);
    if (std::filesystem::is_empty(paths_.bookFolder, ignored))
        std::filesystem::remove(paths_.bookFolder, ignored);
}

// Tells the user (when there is something to tell) and closes the window once it is up.
void DownloadWindow::giveUp(const QString& message) {
    transferring_ = false;
    if (!message.isEmpty()) showMessage(this, message);
    QMetaObject::invokeMethod(this, &QWidget::close, Qt::QueuedConnection);
}

}  // namespace novel
