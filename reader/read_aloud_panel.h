#pragma once
// Reading aloud in the reader window: the buttons, the rate, voice and sleep-timer choices, and
// the work between the read-aloud controller and the window. Chapters are fetched for speech on
// their own, so the page on display changes only when the speech moves into the next chapter; the
// sentence being said is marked on the page and kept in view.

#include <QWidget>
#include "speech/read_aloud.h"

class QComboBox;
class QPushButton;
class QSlider;

namespace novel {

class AppState;
class PageRequest;
class ReaderSettings;
class ReaderWindow;

// The class the page gives the sentence being said.
inline constexpr const char* kSpeakingClass = "novel-speaking";

class ReadAloudPanel : public QWidget {
    Q_OBJECT
  public:
    // An empty factory leaves the panel without an engine: the read button says how to get one.
    ReadAloudPanel(ReaderWindow& reader, AppState& state, const SpeakerFactory& makeSpeaker);

    ReadAloud& controller() { return *readAloud_; }
    Speaker* speaker() const { return speaker_; }

    // The rate and voice as reader.ini keeps them.
    void loadSettings(const ReaderSettings& settings);
    void storeSettings(ReaderSettings& settings) const;

    // "朗读": reads from the selected chapter on, from the paragraph at the top of the page when
    // that chapter is the one shown. Without a voice the user is told why and nothing starts.
    void startReading();

  signals:
    // The paragraph being read, as the library's reading position counts it.
    void readingPositionChanged(int chapterRow, int paragraph);

  private:
    void onRequestChapter(int chapter);
    void onChapterStarted(int chapter);
    void onSentenceStarted(int chapter, int paragraph, int offset, int length);
    void onStateChanged(ReadAloud::State state);
    void onStopped(ReadAloud::StopReason reason);
    void onAvailabilityChanged();
    void onPageLoaded(bool ok);
    void onPauseClicked();
    void onVoiceChosen(int index);
    // Marks the sentence last started on the page, or clears the mark when none is being read.
    void markSentence();

    ReaderWindow& reader_;
    AppState& state_;
    Speaker* speaker_ = nullptr;
    ReadAloud* readAloud_;
    PageRequest* chapterRequest_;
    QPushButton* readAloudButton_;
    QPushButton* pauseButton_;
    QPushButton* stopButton_;
    QSlider* rateSlider_;
    QComboBox* voiceCombo_;
    QComboBox* sleepTimerCombo_;

    QString wantedVoice_;  // from reader.ini; the engine may list its voices only later
    int sentenceChapter_ = -1;
    int sentenceParagraph_ = 0;
    int sentenceOffset_ = 0;
    int sentenceLength_ = 0;
    int reportedChapter_ = -1;
    int reportedParagraph_ = -1;
    quint64 startGeneration_ = 0;  // a start still asking the page where to begin
};

}  // namespace novel
