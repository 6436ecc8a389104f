#pragma once
// Progress of a whole-book download. A book whose table of contents is known waits for "开始下载"
// with the check against the table (on by default) and the format to choose; a book without one
// (opened from a bookmark) gets the plain TXT package download at once, as the window's creation
// has always started it.

#include <QWidget>
#include <cstdint>

#include "catalogue/book_page.h"
#include "download/book_download.h"
#include "download/book_session.h"
#include "web/text.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QProgressBar;
class QPushButton;
class QTimer;

namespace novel {

class AppState;
class BookSessionRunner;

class DownloadWindow : public QWidget {
    Q_OBJECT
  public:
    // Downloads `book`: its title and TXT package address, and for the check against the table
    // of contents its tocUrl (or bookUrl) and bookUrlStem.
    DownloadWindow(CurrentBook book, AppState& state, QWidget* parent = nullptr);
    // An unfinished download ends with the window: it is stopped and its partial file removed.
    ~DownloadWindow() override;

    // "开始下载": the plain download with the check off and TXT (GBK), else the checked one.
    void startChosenDownload();
    // "重新下载缺失章节": the same download again; what is already there is not fetched again.
    void retryMissing();

    // Event handlers, one per row of the binding table.
    void startBookDownload();
    void showDownloadProgress();
    // The downloader's events, handed over to this thread (see the request's callback).
    void onDownloadEvent(int event, int64_t a, int64_t b, int64_t c, int64_t d);
    void finishBookDownload();
    // "取消下载": stops the transfer and closes the window, as closing it does.
    void cancelDownload();

  protected:
    void closeEvent(QCloseEvent* event) override;

  private:
    bool tableOfContentsKnown() const;
    void startSession();
    void onSessionProgress(const BookProgress& progress);
    void onSessionFinished(const BookSessionResult& result);
    void showPercent(int percent);
    void cancelTransfer();
    // The temporary file, and the book's folder when nothing else is in it.
    void removeLeftovers();
    void giveUp(const QString& message);

    AppState& state_;

    QProgressBar* downloadProgress_;
    QLabel* fileSizeCaptionLabel_;
    QLabel* fileSizeLabel_;
    QLabel* downloadedCaptionLabel_;
    QLabel* downloadedLabel_;
    QLabel* adRemovalLabel_;
    QPushButton* cancelDownloadButton_;
    QTimer* downloadTimer_;
    QLabel* chapterProgressLabel_;
    QCheckBox* checkTableOfContents_;
    QComboBox* formatCombo_;
    QLabel* resultLabel_;
    QPushButton* startDownloadButton_;
    QPushButton* retryMissingButton_;
    BookSessionRunner* runner_;

    // The book being downloaded, as it was when the download began.
    CurrentBook book_;
    Text title_;
    BookDownloadPaths paths_;
    int64_t downloadTotalSize_ = 0;  // 0 until the downloader reports it
    bool transferring_ = false;      // started here and its end not handled yet
    bool plainUtf8_ = false;         // the plain download, written out as UTF-8
    BookInfo sessionBook_;           // the checked download, kept for its retry
    BookSessionOptions sessionOptions_;
};

}  // namespace novel
