#include "reader/reader_keys.h"

#include <QAbstractButton>
#include <QAbstractItemView>
#include <QAbstractSpinBox>
#include <QComboBox>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTextEdit>
#include <QVariant>
#include <utility>
#include "reader/reader_view.h"

namespace novel {
namespace {

// A touchpad sends a stream of small wheel events for one flick, and more while it coasts; only
// a turn after a pause this long counts as the user's second one.
constexpr qint64 kWheelGestureGapMs = 400;

// The page has no doctype, so it may be in quirks mode: window.scrollY and the scrolling element
// give the position in either mode. One screen keeps a little of the last one in sight.
constexpr char kPrelude[] =
    "var s=document.scrollingElement||document.documentElement;var h=window.innerHeight;"
    "var atEnd=window.scrollY+h>=s.scrollHeight-2;var atStart=window.scrollY<=1;"
    "var step=Math.max(h/2,h-Math.min(60,h/5));";

QString script(const char* body) {
    return QStringLiteral("(function(){%1%2})()").arg(QLatin1String(kPrelude), QLatin1String(body));
}

}  // namespace

ReaderKey readerKeyOf(int key, Qt::KeyboardModifiers modifiers) {
    const Qt::KeyboardModifiers other = modifiers & ~Qt::KeypadModifier;
    if (other == Qt::ShiftModifier && key == Qt::Key_Space) return ReaderKey::ScreenUp;
    if (other != Qt::NoModifier) return ReaderKey::None;
    switch (key) {
        case Qt::Key_Space:
        case Qt::Key_PageDown:
            return ReaderKey::ScreenDown;
        case Qt::Key_PageUp:
            return ReaderKey::ScreenUp;
        case Qt::Key_Home:
            return ReaderKey::Top;
        case Qt::Key_End:
            return ReaderKey::End;
        case Qt::Key_Right:
            return ReaderKey::NextChapter;
        case Qt::Key_Left:
            return ReaderKey::PreviousChapter;
        default:
            return ReaderKey::None;
    }
}

bool isTextInput(const QWidget* widget) {
    if (!widget) return false;
    if (qobject_cast<const QLineEdit*>(widget) || qobject_cast<const QAbstractSpinBox*>(widget) ||
        qobject_cast<const QPlainTextEdit*>(widget) || qobject_cast<const QTextEdit*>(widget))
        return true;
    const auto* combo = qobject_cast<const QComboBox*>(widget);
    return combo && combo->isEditable();
}

bool keepsPagingKeys(const QWidget* focus) {
    return isTextInput(focus) || qobject_cast<const QAbstractButton*>(focus) ||
           qobject_cast<const QAbstractItemView*>(focus);
}

PageTurner::PageTurner(ReaderView* view, QObject* parent) : QObject(parent), view_(view) {
    if (!view_) return;
    view_->onLoadStarted([this, self = QPointer<PageTurner>(this)] {
        if (!self) return;
        ++generation_;
        disarm();
    });
    view_->onLoadFinished([this, self = QPointer<PageTurner>(this)](bool ok) {
        if (!self) return;
        const Landing landing = std::exchange(landing_, Landing::Kept);
        if (!ok || landing == Landing::Kept) return;
        view_->runJavaScript(script(landing == Landing::End ? "window.scrollTo(0,s.scrollHeight);"
                                                            : "window.scrollTo(0,0);"));
    });
}

void PageTurner::ask(const QString& code, std::function<void(Answer)> act) {
    if (!view_) return;
    const quint64 asked = generation_;
    QPointer<PageTurner> self(this);
    view_->runJavaScript(code, [self, asked, act = std::move(act)](const QVariant& value) {
        if (!self || self->generation_ != asked) return;
        const QString answer = value.toString();
        act(answer == QLatin1String("end")     ? Answer::AtEnd
            : answer == QLatin1String("start") ? Answer::AtStart
                                               : Answer::Moved);
    });
}

void PageTurner::onPagingAnswer(Answer answer) {
    if (answer == Answer::Moved) return;
    // Held keys queue several questions about the same page; only the first answer turns.
    ++generation_;
    if (answer == Answer::AtEnd)
        emit endPassed();
    else
        emit startPassed();
}

void PageTurner::screenDown() {
    disarm();
    ask(script("if(atEnd)return 'end';window.scrollBy(0,step);return 'moved';"),
        [this](Answer a) { onPagingAnswer(a); });
}

void PageTurner::screenUp() {
    disarm();
    ask(script("if(atStart)return 'start';window.scrollBy(0,-step);return 'moved';"),
        [this](Answer a) { onPagingAnswer(a); });
}

void PageTurner::toTop() {
    disarm();
    ask(script("window.scrollTo(0,0);return 'moved';"), [](Answer) {});
}

void PageTurner::toEnd() {
    disarm();
    ask(script("window.scrollTo(0,s.scrollHeight);return 'moved';"), [](Answer) {});
}

void PageTurner::wheel(int delta) {
    const bool newGesture = !sinceWheel_.isValid() || sinceWheel_.elapsed() > kWheelGestureGapMs;
    sinceWheel_.start();
    if (delta >= 0) {
        disarm();
        return;
    }
    // The page scrolls by the wheel on its own; the question only says whether it stands at the
    // end.
    ask(script("return atEnd?'end':'moved';"), [this, newGesture](Answer answer) {
        if (answer != Answer::AtEnd) return disarm();
        if (armed_ && newGesture) {
            disarm();
            ++generation_;
            emit endPassed();
            return;
        }
        if (armed_) return;
        armed_ = true;
        emit hint(QStringLiteral("已到本章末尾，再滚动一次进入下一章"));
    });
}

void PageTurner::disarm() {
    if (!armed_) return;
    armed_ = false;
    emit hint({});
}

}  // namespace novel
