#include "download/download_window.h"

#include <QLabel>
#include <QProgressBar>
#include <QTimer>

#include "app/app_state.h"
#include "app/controls.h"

namespace novel {

DownloadWindow::DownloadWindow(AppState& state, QWidget* parent) : QWidget(parent), state_(state) {
    setObjectName(QStringLiteral("DownloadWindow"));
    setWindowFlag(Qt::Window);
    setWindowTitle(QStringLiteral("澄卷小说下载阅读助手"));
    setFixedSize(clientSizeFor(390, 108));
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

    downloadTimer_ = named(new QTimer(this), "DownloadTimer");
    downloadTimer_->setInterval(1000);

    // Event bindings.
    connect(downloadTimer_, &QTimer::timeout, this, &DownloadWindow::showDownloadProgress);

    // Created: the controls exist now.
    downloadTimer_->start();
    startBookDownload();
}

// The download itself comes with the whole-book download change; until then these do nothing.

void DownloadWindow::startBookDownload() {}
void DownloadWindow::showDownloadProgress() {}

}  // namespace novel
