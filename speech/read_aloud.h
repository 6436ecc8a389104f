#pragma once
// Reading a book aloud sentence by sentence, from a chapter and paragraph on through the chapters
// that follow, with pause, stop and a sleep timer. It holds no window: the reader hands it chapter
// texts when asked (requestChapter -> chapterArrived) and follows its signals to highlight the
// sentence and keep the reading position.

#include <QByteArray>
#include <QObject>
#include <QPointer>
#include <QTimer>
#include <chrono>
#include <map>
#include <set>
#include <vector>

#include "speech/sentences.h"
#include "speech/speaker.h"

namespace novel {

class ReaderSettings;

class ReadAloud : public QObject {
    Q_OBJECT
  public:
    enum class State { Stopped, Loading, Speaking, Paused };
    Q_ENUM(State)
    enum class StopReason { User, BookEnd, SleepTimer, Unavailable, SpeakerError, NoText };
    Q_ENUM(StopReason)
    // The choices of "定时停止".
    enum class SleepChoice { Off, Minutes15, Minutes30, Minutes60, ChapterEnd };
    Q_ENUM(SleepChoice)

    // Sentences of the title are reported with this paragraph index.
    static constexpr int kTitleParagraph = -1;
    // Chapters in a row with nothing to say before reading gives up (a site that fails every
    // fetch would otherwise be run through to the book's end).
    static constexpr int kMaxEmptyChapters = 3;

    explicit ReadAloud(Speaker* speaker, QObject* parent = nullptr);

    void setChapterCount(int count);
    int chapterCount() const { return chapterCount_; }

    // Starts reading at `chapter`, from the first sentence of `paragraph` (0: the title first).
    // False, with stopped(Unavailable), when the speaker has no voice.
    bool start(int chapter, int paragraph = 0);
    void pause();
    void resume();
    void stop();

    // Counting starts now (or at start() when stopped); a minute choice that runs out stops
    // reading, ChapterEnd stops at the end of the chapter being read. Reset to Off by any stop.
    void setSleepTimer(SleepChoice choice);
    SleepChoice sleepTimer() const { return sleep_; }
    // Time left of a minute choice; zero when none is counting.
    std::chrono::milliseconds sleepTimerRemaining() const;
    // The length of a minute for the sleep timer (tests shorten it).
    void setMinuteLength(std::chrono::milliseconds length) { minute_ = length; }

    State state() const { return state_; }
    int chapter() const { return chapter_; }
    // The sentence being read (paragraph, offset, length); paragraph 0, length 0 before any.
    Sentence currentSentence() const;

  public slots:
    // The text of `chapter` as the reader holds it (GBK HTML), and its title. A chapter that
    // could not be fetched must still arrive, with an empty text.
    void chapterArrived(int chapter, const QString& title, const QByteArray& gbkHtml);

  signals:
    // Asks the reader for a chapter's text; asked ahead for the next chapter when one starts.
    void requestChapter(int chapter);
    // Reading has moved into `chapter` (the reader shows it).
    void chapterStarted(int chapter);
    // A sentence is being said: highlight it and keep it as the position. `paragraph` indexes
    // chapterParagraphs() of the chapter's text (kTitleParagraph: the title); offset and length
    // are characters within it.
    void sentenceStarted(int chapter, int paragraph, int offset, int length);
    void stateChanged(novel::ReadAloud::State state);
    void stopped(novel::ReadAloud::StopReason reason);
    void sleepTimerChanged(novel::ReadAloud::SleepChoice choice);

  private:
    void beginChapter();
    void speakCurrent();
    void onSentenceFinished();
    void advance();
    void chapterEnded();
    void finish(StopReason reason);
    void setState(State state);
    void startSleepCount();

    enum class Pending { None, Loading, Advance };

    QPointer<Speaker> speaker_;
    int chapterCount_ = 0;
    int chapter_ = -1;
    int startParagraph_ = 0;
    State state_ = State::Stopped;
    Pending pending_ = Pending::None;
    std::vector<Sentence> sentences_;
    size_t index_ = 0;
    std::map<int, std::vector<Sentence>> ready_;  // arrived, not yet read
    std::set<int> requested_;
    int emptyRun_ = 0;
    quint64 generation_ = 0;  // moves on at every start and stop, so stale work is dropped
    SleepChoice sleep_ = SleepChoice::Off;
    QTimer sleepTimer_;
    std::chrono::milliseconds minute_{60000};
};

// The label of a "定时停止" choice, for a menu or combo box.
QString sleepChoiceLabel(ReadAloud::SleepChoice choice);
// What to tell the user when reading stopped by itself; empty when there is nothing to say.
QString stopMessage(ReadAloud::StopReason reason, const Speaker& speaker);

// The rate and voice kept in reader.ini, given to the speaker.
void applySpeechSettings(const ReaderSettings& settings, Speaker* speaker);

}  // namespace novel
