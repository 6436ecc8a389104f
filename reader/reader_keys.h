#pragma once
// The reader's reading keys and the wheel at the chapter's ends. The page is a web view whose
// scroll position lives in its own process: a key asks the page where it stands and acts on the
// answer, so a press at the end of a chapter turns to the next one instead of scrolling nowhere.

#include <QElapsedTimer>
#include <QObject>
#include <QPointer>
#include <Qt>
#include <functional>

class QWidget;

namespace novel {

class ReaderView;

enum class ReaderKey { None, ScreenDown, ScreenUp, Top, End, NextChapter, PreviousChapter };

// What a key press means to the reader: Space and Page Down one screen on, Shift+Space and Page Up
// one screen back, Home and End the chapter's top and end, the right and left arrows the next and
// the previous chapter. Keypad keys count as the plain ones; any other modifier means no reading
// key.
ReaderKey readerKeyOf(int key, Qt::KeyboardModifiers modifiers);

// Keys typed into a text box belong to it: the arrows move its cursor there.
bool isTextInput(const QWidget* widget);

// Whether the focused control uses the paging keys itself (a text box, a button or check box that
// Space presses, a list that Page Down and Home move through); the arrows are not asked about.
bool keepsPagingKeys(const QWidget* focus);

class PageTurner : public QObject {
    Q_OBJECT
  public:
    // `view` may be null (no web engine): the turner then does nothing.
    explicit PageTurner(ReaderView* view, QObject* parent = nullptr);

    // One screen on or back; at the chapter's end (start) this asks for the next (previous)
    // chapter instead.
    void screenDown();
    void screenUp();
    void toTop();
    void toEnd();
    // A wheel turn on the page (`delta` as the wheel reports it, negative downwards). A turn down
    // while the page already stands at its end shows a hint; the next separate turn goes on to
    // the next chapter.
    void wheel(int delta);
    // Where the next page shown starts: a new chapter at its top (the view would keep the
    // position of the page it replaces, the same file), one gone back to with the paging keys at
    // its end. A page shown again in a new style keeps its place.
    void landAtTopOfNextPage() {
        if (landing_ != Landing::End) landing_ = Landing::Top;
    }
    void landAtEndOfNextPage() { landing_ = Landing::End; }
    // A move that was stopped shows no page; the next one shown keeps its place.
    void forgetLanding() { landing_ = Landing::Kept; }

  signals:
    void endPassed();
    void startPassed();
    // A hint for the status line; an empty text takes it away.
    void hint(const QString& text);

  private:
    enum class Answer { Moved, AtEnd, AtStart };
    // Runs `script` on the page and hands its answer to `act`, unless the page changed meanwhile.
    void ask(const QString& script, std::function<void(Answer)> act);
    void onPagingAnswer(Answer answer);
    void disarm();

    ReaderView* view_;  // goes with the reader window, which owns this turner too
    // Counts the pages shown; an answer about an older page is dropped, and one chapter turn
    // makes the answers still under way about the same page void.
    quint64 generation_ = 0;
    bool armed_ = false;        // the hint is shown; the next separate wheel turn turns the chapter
    QElapsedTimer sinceWheel_;  // since the last wheel event: a pause ends one gesture
    enum class Landing { Kept, Top, End };
    Landing landing_ = Landing::Kept;
};

}  // namespace novel
