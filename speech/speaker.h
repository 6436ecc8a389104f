#pragma once
// What reading aloud needs from a speech engine: say one sentence, tell when it is done. The real
// engine (QtSpeaker) and the tests' fake both implement it.

#include <QObject>
#include <QString>
#include <QStringList>
#include <functional>

namespace novel {

class Speaker : public QObject {
    Q_OBJECT
  public:
    enum class State { Ready, Speaking, Paused, Error };
    Q_ENUM(State)

    using QObject::QObject;

    // Speaks one sentence; sentenceFinished() follows when it has been said (not after stop()).
    virtual void say(const QString& text) = 0;
    virtual void pause() = 0;
    virtual void resume() = 0;
    // Drops what is being said; no sentenceFinished() for it.
    virtual void stop() = 0;
    // -1 (slowest) to 1 (fastest), 0 the engine's normal speed.
    virtual void setRate(double rate) = 0;
    // One of voices(); an unknown name keeps the current voice.
    virtual void setVoice(const QString& name) = 0;
    virtual QString voice() const = 0;
    virtual QStringList voices() const = 0;
    virtual bool available() const = 0;
    // Why available() is false, in words for the user; empty while available.
    virtual QString unavailableReason() const = 0;
    virtual State state() const = 0;

  signals:
    void sentenceFinished();
    void stateChanged(novel::Speaker::State state);
    // available(), voices() or voice() changed (an engine that starts up late, or fails).
    void availabilityChanged();
};

// Makes a window's speech engine (the program's is QtSpeaker; tests use a fake).
using SpeakerFactory = std::function<Speaker*(QObject* parent)>;

}  // namespace novel
