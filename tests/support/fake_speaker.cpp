#include "support/fake_speaker.h"

#include "speech/qt_speaker.h"

namespace novel {

FakeSpeaker::FakeSpeaker(QObject* parent) : Speaker(parent) {
    timer_.setSingleShot(true);
    connect(&timer_, &QTimer::timeout, this, &FakeSpeaker::finish);
}

void FakeSpeaker::say(const QString& text) {
    said.append(text);
    setState(State::Speaking);
    if (autoFinishMs_ > 0) timer_.start(autoFinishMs_);
}

void FakeSpeaker::pause() {
    if (state_ != State::Speaking) return;
    timer_.stop();
    setState(State::Paused);
}

void FakeSpeaker::resume() {
    if (state_ != State::Paused) return;
    setState(State::Speaking);
    if (autoFinishMs_ > 0) timer_.start(autoFinishMs_);
}

void FakeSpeaker::stop() {
    timer_.stop();
    setState(State::Ready);
}

void FakeSpeaker::setVoice(const QString& name) {
    if (voices_.contains(name)) voice_ = name;
}

QString FakeSpeaker::unavailableReason() const {
    return available() ? QString() : noVoiceReason();
}

void FakeSpeaker::finish() {
    if (state_ != State::Speaking) return;
    setState(State::Ready);
    emit sentenceFinished();
}

void FakeSpeaker::setVoices(const QStringList& voices) {
    voices_ = voices;
    voice_ = voices.value(0);
    emit availabilityChanged();
}

void FakeSpeaker::setState(State state) {
    if (state_ == state) return;
    state_ = state;
    emit stateChanged(state);
}

}  // namespace novel
