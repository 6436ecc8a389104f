#pragma once
// A speaker for tests: it records what it is asked to say and finishes a sentence when the test
// says so (finish()) or, with an interval set, by itself after that time.

#include <QTimer>

#include "speech/speaker.h"

namespace novel {

class FakeSpeaker : public Speaker {
    Q_OBJECT
  public:
    explicit FakeSpeaker(QObject* parent = nullptr);

    void say(const QString& text) override;
    void pause() override;
    void resume() override;
    void stop() override;
    void setRate(double rate) override { rate_ = rate; }
    void setVoice(const QString& name) override;
    QString voice() const override { return voice_; }
    QStringList voices() const override { return voices_; }
    bool available() const override { return !voices_.isEmpty(); }
    QString unavailableReason() const override;
    State state() const override { return state_; }

    // Ends the sentence being said, as an engine does when it has said it.
    void finish();
    // Finish each sentence by itself this long after it started (0: only finish() does).
    void setAutoFinish(int milliseconds) { autoFinishMs_ = milliseconds; }
    void setVoices(const QStringList& voices);

    QStringList said;  // every sentence given to say(), in order
    double rate_ = 0;

  private:
    void setState(State state);

    QStringList voices_{QStringLiteral("Chinese (Mandarin)")};
    QString voice_ = voices_.first();
    State state_ = State::Ready;
    int autoFinishMs_ = 0;
    QTimer timer_;
};

}  // namespace novel
