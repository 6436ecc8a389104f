#include "reader/immersive_mode.h"

#include <QGraphicsOpacityEffect>
#include <QLabel>
#include <QPropertyAnimation>
#include <QTimer>
#include <QVariant>
#include <QWidget>
#include <algorithm>
#include <cmath>
#include "reader/reader_view.h"

namespace novel {
namespace {

constexpr int kLineHeight = 22;
// The line stays this long after the last change, then fades out.
constexpr int kLineShownMs = 2500;
constexpr int kFadeMs = 800;
// A change of fewer percent than this is the page's own scrolling, not a page turned.
constexpr int kWakeStep = 3;
constexpr int kPollMs = 1000;

}  // namespace

int chapterPercent(double scrollTop, double contentHeight, double viewHeight) {
    const double range = contentHeight - viewHeight;
    // A page that cannot scroll shows all of itself.
    if (!(range > 1)) return 100;
    const double percent = std::round(100 * std::clamp(scrollTop / range, 0.0, 1.0));
    return static_cast<int>(percent);
}

QString readingProgressText(const ReadingPlace& place, int percent) {
    QStringList parts;
    if (!place.chapterTitle.isEmpty()) parts << place.chapterTitle;
    if (place.chapter > 0 && place.chapters > 0)
        parts << QStringLiteral("第 %1/%2 章").arg(place.chapter).arg(place.chapters);
    parts << QStringLiteral("%1%").arg(percent);
    return parts.join(QStringLiteral("　"));
}

ImmersiveMode::ImmersiveMode(QWidget* window, ReaderView* view, std::function<ReadingPlace()> place)
    : QObject(window),
      window_(window),
      view_(view),
      viewWidget_(view ? view->widget() : nullptr),
      place_(std::move(place)) {
    line_ = new QLabel(window);
    line_->setObjectName(QStringLiteral("ImmersiveProgressLabel"));
    line_->setAlignment(Qt::AlignCenter);
    // The line never takes a click or the focus from the page under it.
    line_->setAttribute(Qt::WA_TransparentForMouseEvents);
    line_->hide();
    opacity_ = new QGraphicsOpacityEffect(line_);
    line_->setGraphicsEffect(opacity_);
    fade_ = new QPropertyAnimation(opacity_, "opacity", this);
    fade_->setDuration(kFadeMs);
    fade_->setEndValue(0.0);
    idle_ = new QTimer(this);
    idle_->setSingleShot(true);
    idle_->setInterval(kLineShownMs);
    connect(idle_, &QTimer::timeout, fade_, [this] { fade_->start(); });
    // Scrolling by the page's own script or a selection drag reports no event worth trusting.
    poll_ = new QTimer(this);
    poll_->setInterval(kPollMs);
    connect(poll_, &QTimer::timeout, this, &ImmersiveMode::refresh);
    setColors(QColor(Qt::white), QColor(Qt::darkGray));

    if (view_) {
        view_->onScrollChanged([self = QPointer<ImmersiveMode>(this)] {
            if (self) self->refresh();
        });
        view_->onLoadFinished([self = QPointer<ImmersiveMode>(this)](bool) {
            if (self) self->refresh();
        });
    }
}

void ImmersiveMode::setColors(const QColor& background, const QColor& text) {
    line_->setStyleSheet(QStringLiteral("QLabel{background:%1;color:%2;font-size:13px;}")
                             .arg(background.name(), text.name()));
}

void ImmersiveMode::enter() {
    if (active_ || !view_) return;
    active_ = true;
    formerState_ = window_->windowState();
    hidden_.clear();
    for (QObject* child : window_->children()) {
        auto* widget = qobject_cast<QWidget*>(child);
        if (!widget || widget == viewWidget_ || widget == line_ || widget->isWindow() ||
            !widget->isVisibleTo(window_))
            continue;
        hidden_.emplace_back(widget);
        widget->hide();
    }
    window_->showFullScreen();
    fitView();
    line_->show();
    line_->raise();
    shownPercent_ = -1;
    refresh();
    poll_->start();
    viewWidget_->setFocus();
    emit activeChanged(true);
}

void ImmersiveMode::leave() {
    if (!active_) return;
    active_ = false;
    idle_->stop();
    poll_->stop();
    fade_->stop();
    line_->hide();
    for (const QPointer<QWidget>& widget : hidden_)
        if (widget) widget->show();
    hidden_.clear();
    // Back to the former state, maximised included; the window lays itself out on the resize.
    window_->setWindowState(formerState_ & ~Qt::WindowFullScreen);
    window_->show();
    emit activeChanged(false);
}

void ImmersiveMode::toggle() {
    if (active_)
        leave();
    else
        enter();
}

void ImmersiveMode::fitView() {
    if (!active_ || !view_) return;
    viewWidget_->setGeometry(window_->rect());
    line_->setGeometry(0, window_->height() - kLineHeight, window_->width(), kLineHeight);
}

void ImmersiveMode::flash(const QString& text) {
    if (!active_) return;
    if (text.isEmpty())
        refresh();
    else
        showLine(text);
}

void ImmersiveMode::refresh() {
    if (!active_ || !view_) return;
    // The view's own scroll position follows the page's frames and lags behind; the page knows.
    QPointer<ImmersiveMode> self(this);
    view_->runJavaScript(
        QStringLiteral("[window.scrollY,(document.scrollingElement||document.documentElement)"
                       ".scrollHeight,window.innerHeight]"),
        [self](const QVariant& answer) {
            const QVariantList numbers = answer.toList();
            if (!self || numbers.size() != 3) return;
            self->update(chapterPercent(numbers[0].toDouble(), numbers[1].toDouble(),
                                        numbers[2].toDouble()));
        });
}

void ImmersiveMode::update(int now) {
    if (!active_) return;
    const QString text = readingProgressText(place_ ? place_() : ReadingPlace{}, now);
    // The line comes back for a new chapter or a page turned, not for each step of the page's
    // own slow scrolling, which would keep it in sight for good.
    const bool wake =
        text != line_->text() && (shownPercent_ < 0 || std::abs(now - shownPercent_) >= kWakeStep ||
                                  !text.startsWith(shownPlace_));
    if (!wake) {
        line_->setText(text);
        return;
    }
    shownPercent_ = now;
    shownPlace_ = text.left(text.lastIndexOf(QChar(u'　')) + 1);
    showLine(text);
}

void ImmersiveMode::showLine(const QString& text) {
    line_->setText(text);
    fade_->stop();
    opacity_->setOpacity(1.0);
    idle_->start();
}

}  // namespace novel
