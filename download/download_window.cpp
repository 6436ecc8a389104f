#include "download/download_window.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
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
#include "download/book_session_runner.h"
#include "web/file_io.h"

namespace novel {

namespace {

// The choices of FormatCombo, in its order.
enum FormatChoice { kTxtGbk, kTxtUtf8, kEpub };

// Titles listed in the message about missing chapters; more are summed up.
constexpr int kListedMissing = 6;

QString missingMessage(const BookSessionResult& result) {
    QStringList titles;
    for (const MissingChapter& m : result.missing) {
        if (titles.size() == kListedMissing) {
            titles.back() += QStringLiteral("……");
            break;
        }
        titles << toQString(trimBlanks(m.title));
    }
    return QStringLiteral("本书有 %1 章未能下载：%2\n已保存在%3，缺失的章节处留有标记。")
        .arg(result.missing.size())
        .arg(titles.join(QStringLiteral("、")), QString::fromStdString(result.file.string()));
}

}  // namespace

DownloadWindow::DownloadWindow(CurrentBook book, AppState& state, QWidget* parent)
    : QWidget(parent), state_(state), book_(std::move(book)) {
    setObjectName(QStringLiteral("DownloadWindow"));
    setWindowFlag(Qt::Window);
    setWindowTitle(QStringLiteral("澄卷小说下载阅读助手"));
    // The progress display, then the chapters, the choices, the outcome and the buttons.
    setFixedSize(clientSizeFor(390, 296));
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

    chapterProgressLabel_ = named(new QLabel(this), "ChapterProgressLabel");
    chapterProgressLabel_->setGeometry(14, 64, width - 28, 20);

    checkTableOfContents_ =
        named(new QCheckBox(QStringLiteral("核对目录补全"), this), "CheckTableOfContentsCheck");
    checkTableOfContents_->setToolTip(
        QStringLiteral("按目录逐章核对TXT包，缺少的章节从章节页面补全"));
    checkTableOfContents_->setChecked(true);
    checkTableOfContents_->setGeometry(14, 90, 170, 22);
    auto* formatCaption = named(new QLabel(QStringLiteral("格式："), this), "FormatCaptionLabel");
    formatCaption->setGeometry(196, 90, 44, 22);
    formatCombo_ = named(new QComboBox(this), "FormatCombo");
    formatCombo_->addItems(
        {QStringLiteral("TXT（GBK）"), QStringLiteral("TXT（UTF-8）"), QStringLiteral("EPUB")});
    formatCombo_->setGeometry(240, 89, width - 252, 24);
    formatCaption->setBuddy(formatCombo_);

    resultLabel_ = named(new QLabel(this), "ResultLabel");
    resultLabel_->setWordWrap(true);
    resultLabel_->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    resultLabel_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    resultLabel_->setGeometry(14, 120, width - 28, 94);

    cancelDownloadButton_ =
        named(new QPushButton(QStringLiteral("取消下载"), this), "CancelDownloadButton");
    cancelDownloadButton_->setGeometry(width - 96, 222, 84, 26);
    startDownloadButton_ =
        named(new QPushButton(QStringLiteral("开始下载"), this), "StartDownloadButton");
    startDownloadButton_->setGeometry(width - 188, 222, 84, 26);
    startDownloadButton_->setDefault(true);
    retryMissingButton_ =
        named(new QPushButton(QStringLiteral("重新下载缺失章节"), this), "RetryMissingButton");
    retryMissingButton_->setGeometry(width - 240, 222, 136, 26);
    retryMissingButton_->hide();

    downloadTimer_ = named(new QTimer(this), "DownloadTimer");
    downloadTimer_->setInterval(1000);
    runner_ = new BookSessionRunner(state_, this);

    // Event bindings.
    connect(downloadTimer_, &QTimer::timeout, this, &DownloadWindow::showDownloadProgress);
    connect(cancelDownloadButton_, &QPushButton::clicked, this, &DownloadWindow::cancelDownload);
    connect(startDownloadButton_, &QPushButton::clicked, this,
            &DownloadWindow::startChosenDownload);
    connect(retryMissingButton_, &QPushButton::clicked, this, &DownloadWindow::retryMissing);
    connect(runner_, &BookSessionRunner::progress, this, &DownloadWindow::onSessionProgress);
    connect(runner_, &BookSessionRunner::finished, this, &DownloadWindow::onSessionFinished);
    // An EPUB is laid out by the table of contents, so it is always checked against it.
    connect(formatCombo_, &QComboBox::currentIndexChanged, this, [this](int index) {
        if (index == kEpub) checkTableOfContents_->setChecked(true);
        checkTableOfContents_->setEnabled(index != kEpub);
    });

    // Created: the controls exist now.
    downloadTimer_->start();
    if (tableOfContentsKnown()) return;  // the user chooses first
    checkTableOfContents_->setChecked(false);
    checkTableOfContents_->setEnabled(false);
    formatCombo_->setEnabled(false);
    startDownloadButton_->hide();
    resultLabel_->setText(QStringLiteral(
        "不知道这本书的目录地址（从书签打开的书没有），无法核对目录，只下载TXT包。"));
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

bool DownloadWindow::tableOfContentsKnown() const {
    return !trimBlanks(book_.tocUrl).empty() || !trimBlanks(book_.bookUrl).empty();
}

void DownloadWindow::startChosenDownload() {
    startDownloadButton_->hide();
    checkTableOfContents_->setEnabled(false);
    formatCombo_->setEnabled(false);
    const int format = formatCombo_->currentIndex();
    if (!checkTableOfContents_->isChecked() && format != kEpub) {
        plainUtf8_ = format == kTxtUtf8;
        startBookDownload();
        return;
    }
    const CurrentBook& book = book_;
    BookInfo& info = sessionBook_;
    info.title = trimBlanks(book.title);
    title_ = info.title;
    if (title_.empty()) return giveUp(QStringLiteral("请先选择要下载的书。"));
    if (!state_.fileDownloader) return giveUp({});  // the program is ending
    info.author = book.author;
    info.bookUrl = trimBlanks(book.bookUrl);
    info.tocUrl = trimBlanks(book.tocUrl);
    if (info.tocUrl.empty()) info.tocUrl = tocUrlOf(info.bookUrl);
    info.chapterBaseUrl = trimBlanks(book.bookUrlStem);
    if (info.chapterBaseUrl.empty())
        info.chapterBaseUrl = info.bookUrl.empty()
                                  ? Text(info.tocUrl.substr(0, info.tocUrl.rfind('/')))
                                  : bookUrlStem(info.bookUrl);
    info.txtPackageUrl = trimBlanks(book.txtPackageUrl);
    info.coverUrl = bookPageLink(info.bookUrl, book.coverUrl);

    std::error_code ec;
    sessionOptions_.base = std::filesystem::current_path(ec);
    if (ec) {
        giveUp(QStringLiteral("《%1》无法下载：%2")
                   .arg(toQString(title_), QString::fromStdString(ec.message())));
        return;
    }
    sessionOptions_.format = format == kEpub ? BookFormat::Epub : BookFormat::Txt;
    sessionOptions_.encoding = format == kTxtUtf8 ? TxtEncoding::Utf8 : TxtEncoding::Gbk;
    paths_ = bookDownloadPaths(sessionOptions_.base, title_);
    startSession();
}

void DownloadWindow::retryMissing() {
    if (runner_->running()) return;
    startSession();
}

void DownloadWindow::startSession() {
    retryMissingButton_->hide();
    resultLabel_->clear();
    cancelDownloadButton_->setText(QStringLiteral("取消下载"));
    downloadProgress_->setRange(0, 0);
    chapterProgressLabel_->setText(QStringLiteral("正在读取目录……"));
    runner_->start(sessionBook_, sessionOptions_);
}

void DownloadWindow::showPercent(int percent) {
    if (percent < 0) {
        downloadProgress_->setRange(0, 0);
    } else {
        downloadProgress_->setRange(0, 100);
        downloadProgress_->setValue(percent);
    }
}

void DownloadWindow::onSessionProgress(const BookProgress& p) {
    switch (p.phase) {
        case BookProgress::Phase::TableOfContents:
            chapterProgressLabel_->setText(QStringLiteral("正在读取目录……"));
            showPercent(-1);
            break;
        case BookProgress::Phase::Package: {
            const DownloadProgress figures = downloadProgress(p.packageSize, p.bytes);
            fileSizeLabel_->setText(toQString(figures.sizeText));
            downloadedLabel_->setText(toQString(figures.receivedText));
            chapterProgressLabel_->setText(QStringLiteral("正在下载TXT包……"));
            showPercent(figures.percent);
            break;
        }
        case BookProgress::Phase::Chapters:
            chapterProgressLabel_->setText(
                QStringLiteral("已下载 %1/%2 章").arg(p.chaptersDone).arg(p.chaptersTotal));
            showPercent(p.chaptersTotal > 0 ? p.chaptersDone * 100 / p.chaptersTotal : -1);
            break;
        case BookProgress::Phase::Writing:
            chapterProgressLabel_->setText(QStringLiteral("正在保存……"));
            showPercent(100);
            break;
    }
}

void DownloadWindow::onSessionFinished(const BookSessionResult& result) {
    const QString title = toQString(title_);
    if (result.cancelled) {
        removeLeftovers();
        return;
    }
    if (!result.written) {
        removeLeftovers();
        giveUp(QStringLiteral("《%1》下载失败：%2。")
                   .arg(title, QString::fromStdString(result.error)));
        return;
    }
    showPercent(100);
    chapterProgressLabel_->setText(
        QStringLiteral("已下载 %1/%2 章")
            .arg(result.chapters - static_cast<int>(result.missing.size()))
            .arg(result.chapters));
    if (result.complete()) {
        showMessage(
            this, QStringLiteral("下载完成！保存在") + QString::fromStdString(result.file.string()),
            QStringLiteral("完成!"));
        close();
        return;
    }
    // The book is there with its gaps marked; the window stays for another try.
    resultLabel_->setText(missingMessage(result));
    retryMissingButton_->show();
    cancelDownloadButton_->setText(QStringLiteral("关闭"));
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
    if (plainUtf8_) {
        // The package comes in GBK; it is turned over before it takes the book's place.
        const Bytes text = toUtf8(readFileBytes(paths_.temporaryFile));
        if (std::error_code ec = writeFileAtomically(paths_.temporaryFile, text)) {
            removeLeftovers();
            giveUp(QStringLiteral("《%1》下载失败：无法保存小说文件（%2）。")
                       .arg(title, QString::fromStdString(ec.message())));
            return;
        }
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
    if (runner_->running()) {
        runner_->stop();
        removeLeftovers();
    }
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
