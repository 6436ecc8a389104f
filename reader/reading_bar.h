#pragma once
// The reader's reading controls, a slim row at the right of the status line (the toolbar is
// full at the window's first size): the chapter buttons, the theme box, "版式" and "全屏阅读".

#include <QWidget>

class QComboBox;
class QLabel;
class QPushButton;

namespace novel {

class ReadingBar : public QWidget {
    Q_OBJECT
  public:
    // `height` is the status line's; the themes are listed in their own order.
    ReadingBar(int height, QWidget* parent);

    QPushButton* prevChapterButton;
    QPushButton* nextChapterButton;
    QLabel* themeCaptionLabel;
    QComboBox* themeCombo;
    QPushButton* layoutButton;
    QPushButton* immersiveButton;
};

}  // namespace novel
