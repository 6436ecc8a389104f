#pragma once
// Immersive reading: the window full screen with nothing but the page, and a slim line at the
// bottom with the chapter and how far into it the reader is, which fades while one reads.

#include <QColor>
#include <QObject>
#include <QPointer>
#include <QString>
#include <functional>
#include <vector>

class QGraphicsOpacityEffect;
class QLabel;
class QPropertyAnimation;
class QTimer;
class QWidget;

namespace novel {

class ReaderView;

// Where the reader stands in the book.
struct ReadingPlace {
    QString chapterTitle;
    int chapter = 0;   // 1 for the first row, 0 when no row is selected
    int chapters = 0;  // rows in the chapter list
};

// How far through a page of `contentHeight` a view of `viewHeight` scrolled to `scrollTop` is, in
// percent: 100 once the end is in sight (also for a page shorter than the view).
int chapterPercent(double scrollTop, double contentHeight, double viewHeight);

// The progress line: the chapter title, "第 k/N 章" and the percentage; parts that are not known
// are left out.
QString readingProgressText(const ReadingPlace& place, int percent);

class ImmersiveMode : public QObject {
    Q_OBJECT
  public:
    // `window` holds `view` among its other controls; `place` says where the reader stands.
    // `view` may be null (no web engine): there is then nothing to show full screen.
    ImmersiveMode(QWidget* window, ReaderView* view, std::function<ReadingPlace()> place);

    bool active() const { return active_; }
    // Entering hides every other control of the window and shows it full screen; leaving shows
    // what was shown before and gives the window its former state back.
    void enter();
    void leave();
    void toggle();
    // While active: the page over the whole window, the progress line at its bottom.
    void fitView();
    // Colours of the progress line: the page's own background and a quieter text colour.
    void setColors(const QColor& background, const QColor& text);
    // Shows `text` on the progress line for a while (a hint while the status line is hidden);
    // an empty text shows the progress again.
    void flash(const QString& text);

  signals:
    void activeChanged(bool active);

  private:
    // Asks the page how far it is scrolled, then updates the line.
    void refresh();
    void update(int percent);
    void showLine(const QString& text);

    QWidget* window_;
    ReaderView* view_;  // goes with the window, which owns this object too
    QWidget* viewWidget_;
    std::function<ReadingPlace()> place_;
    QLabel* line_;
    QGraphicsOpacityEffect* opacity_;
    QPropertyAnimation* fade_;
    QTimer* idle_;
    QTimer* poll_;
    bool active_ = false;
    int shownPercent_ = -1;  // the percentage the line last came back for
    QString shownPlace_;     // the chapter part of that line
    Qt::WindowStates formerState_;
    std::vector<QPointer<QWidget>> hidden_;  // the controls entering hid, shown again on leaving
};

}  // namespace novel
