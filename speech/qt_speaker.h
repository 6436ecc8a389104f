#pragma once
// The system's speech engine through Qt TextToSpeech (speech-dispatcher preferred), speaking with
// a Mandarin voice. The engine runs on a thread of its own: the speech-dispatcher client library
// blocks while its service is hung, and that must never freeze a window.

#include <QList>
#include <QLocale>
#include <QTimer>

#include "speech/speaker.h"

class QThread;

namespace novel {

class SpeechWorker;

// The engine asked for first, when it is installed.
inline constexpr const char* kPreferredSpeechEngine = "speechd";

class QtSpeaker : public Speaker {
    Q_OBJECT
  public:
    // `engine` empty: the preferred engine, else the first installed one.
    explicit QtSpeaker(QObject* parent = nullptr, const QString& engine = {});
    ~QtSpeaker() override;

    void say(const QString& text) override;
    void pause() override;
    void resume() override;
    void stop() override;
    void setRate(double rate) override;
    void setVoice(const QString& name) override;
    QString voice() const override { return voice_; }
    QStringList voices() const override { return voices_; }
    bool available() const override { return available_; }
    QString unavailableReason() const override { return reason_; }
    State state() const override { return state_; }
    // Whether the engine has answered (available() is final from then on, unless it fails).
    bool started() const { return started_; }

  private:
    void onStarted(bool ok, const QString& reason, const QStringList& voices, const QString& voice);
    void onFinished(quint64 utterance);
    void onEngineState(int state);
    void onFailed(const QString& reason);
    void setState(State state);

    QThread* thread_ = nullptr;
    SpeechWorker* worker_ = nullptr;
    QTimer startTimeout_;
    bool started_ = false;
    bool available_ = false;
    QString reason_;
    QStringList voices_;
    QString voice_;
    State state_ = State::Ready;
    quint64 utterance_ = 0;  // the sentence whose end counts; stop() moves it on
};

// The voices to offer for Chinese text, best first: Mandarin voices by name, then voices whose
// locale is Chinese, then other voices named Chinese; each voice before its variants ("+name").
// Indexes into `names`.
QList<int> chineseVoices(const QStringList& names, const QList<QLocale>& locales);

// What the user reads when no voice can speak (with how to install one).
QString noVoiceReason();
QString noEngineReason();

}  // namespace novel
