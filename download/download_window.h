#pragma once
// Progress of a whole-book download; the window starts the transfer when it is created.

#include <QWidget>

class QLabel;
class QProgressBar;
class QTimer;

namespace novel {

class AppState;

class DownloadWindow : public QWidget {
    Q_OBJECT
  public:
    explicit DownloadWindow(AppState& state, QWidget* parent = nullptr);

    // Event handlers, one per row of the binding table.
    void startBookDownload();
    void showDownloadProgress();

  private:
    AppState& state_;

    QProgressBar* downloadProgress_;
    QLabel* fileSizeCaptionLabel_;
    QLabel* fileSizeLabel_;
    QLabel* downloadedCaptionLabel_;
    QLabel* downloadedLabel_;
    QLabel* adRemovalLabel_;
    QTimer* downloadTimer_;
};

}  // namespace novel
