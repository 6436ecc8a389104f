#pragma once
// Progress of a whole-book download; the window starts the transfer when it is created.

#include <QWidget>
#include <cstdint>

#include "catalogue/book_page.h"
#include "download/book_download.h"
#include "web/text.h"

class QLabel;
class QProgressBar;
class QPushButton;
class QTimer;

namespace novel {

class AppState;

class DownloadWindow : public QWidget {
    Q_OBJECT
  public:
    // Downloads `book` (its title and TXT package address).
    DownloadWindow(CurrentBook book, AppState& state, QWidget* parent = nullptr);
    // An unfinished transfer ends with the window: it is stopped and its partial file removed.
    ~DownloadWindow() override;

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

    // The book being downloaded, as it was when the download began.
    CurrentBook book_;
    Text title_;
    BookDownloadPaths paths_;
    int64_t downloadTotalSize_ = 0;  // 0 until the downloader reports it
    bool transferring_ = false;      // started here and its end not handled yet
};

}  // namespace novel
