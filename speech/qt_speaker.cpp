#include "speech/qt_speaker.h"

#include <QTextToSpeech>
#include <QThread>
#include <algorithm>

namespace novel {

QString noVoiceReason() {
    return QStringLiteral(
        "没有可用的朗读语音：请安装 speech-dispatcher 和 espeak-ng（sudo apt-get install "
        "speech-dispatcher speech-dispatcher-espeak-ng espeak-ng）");
}

QString noEngineReason() {
    return QStringLiteral(
        "没有可用的朗读引擎：请安装 speech-dispatcher 和 espeak-ng（sudo apt-get install "
        "qt6-speech-speechd-plugin speech-dispatcher speech-dispatcher-espeak-ng espeak-ng）");
}

QList<int> chineseVoices(const QStringList& names, const QList<QLocale>& locales) {
    // espeak-ng's Mandarin voices reach Qt with no usable locale ("cmn" is unknown to it), so
    // their names count first.
    auto rank = [&](int i) {
        const QString& name = names[i];
        const bool chineseLocale = i < locales.size() && locales[i].language() == QLocale::Chinese;
        int r = name.contains(QLatin1String("Mandarin"), Qt::CaseInsensitive)  ? 0
                : chineseLocale                                                ? 1
                : name.contains(QLatin1String("Chinese"), Qt::CaseInsensitive) ? 2
                                                                               : -1;
        if (r < 0) return -1;
        return r * 2 + (name.contains(QLatin1Char('+')) ? 1 : 0);
    };
    QList<int> out;
    for (int i = 0; i < names.size(); ++i)
        if (rank(i) >= 0) out.append(i);
    std::stable_sort(out.begin(), out.end(), [&](int a, int b) { return rank(a) < rank(b); });
    return out;
}

// Owns the QTextToSpeech on the speech thread; every call reaches it queued.
class SpeechWorker : public QObject {
    Q_OBJECT
  public:
    Q_INVOKABLE void start(const QString& engine) {
        const QStringList engines = QTextToSpeech::availableEngines();
        QString chosen = engine;
        if (chosen.isEmpty())
            chosen = engines.contains(QLatin1String(kPreferredSpeechEngine))
                         ? QString::fromLatin1(kPreferredSpeechEngine)
                         : engines.value(0);
        if (chosen.isEmpty() || !engines.contains(chosen)) {
            emit started(false, noEngineReason(), {}, {});
            return;
        }
        tts_ = new QTextToSpeech(chosen, this);
        if (tts_->state() == QTextToSpeech::Error) {
            emit started(false,
                         QStringLiteral("朗读引擎无法启动（%1）。").arg(tts_->errorString()) +
                             noVoiceReason(),
                         {}, {});
            return;
        }
        connect(tts_, &QTextToSpeech::stateChanged, this, &SpeechWorker::onState);
        connect(tts_, &QTextToSpeech::errorOccurred, this,
                [this](QTextToSpeech::ErrorReason, const QString& text) { emit failed(text); });
        voices_ = tts_->availableVoices();
        QStringList names;
        QList<QLocale> locales;
        for (const QVoice& v : voices_) {
            names.append(v.name());
            locales.append(v.locale());
        }
        const QList<int> chinese = chineseVoices(names, locales);
        if (chinese.isEmpty()) {
            emit started(false, noVoiceReason(), {}, {});
            return;
        }
        QStringList offered;
        for (int i : chinese) offered.append(names[i]);
        tts_->setVoice(voices_[chinese.first()]);
        emit started(true, {}, offered, offered.first());
    }
    Q_INVOKABLE void say(const QString& text, quint64 utterance) {
        if (!tts_) return;
        utterance_ = utterance;
        sawSpeaking_ = false;
        tts_->say(text);
    }
    Q_INVOKABLE void pause() {
        if (tts_) tts_->pause();
    }
    Q_INVOKABLE void resume() {
        if (tts_) tts_->resume();
    }
    Q_INVOKABLE void stop() {
        if (tts_) tts_->stop();
    }
    Q_INVOKABLE void setRate(double rate) {
        if (tts_) tts_->setRate(rate);
    }
    Q_INVOKABLE void setVoice(const QString& name) {
        if (!tts_) return;
        for (const QVoice& v : voices_)
            if (v.name() == name) return tts_->setVoice(v);
    }

  signals:
    void started(bool ok, const QString& reason, const QStringList& voices, const QString& voice);
    void finished(quint64 utterance);
    void engineState(int state);
    void failed(const QString& reason);

  private:
    void onState(QTextToSpeech::State state) {
        emit engineState(state);
        // The Ready that a stop() leaves may arrive after the next say(); only a Ready that
        // follows this sentence's Speaking ends it.
        if (state == QTextToSpeech::Speaking) sawSpeaking_ = true;
        if (state == QTextToSpeech::Ready && sawSpeaking_) {
            sawSpeaking_ = false;
            emit finished(utterance_);
        }
    }

    QTextToSpeech* tts_ = nullptr;
    QList<QVoice> voices_;
    quint64 utterance_ = 0;
    bool sawSpeaking_ = false;
};

QtSpeaker::QtSpeaker(QObject* parent, const QString& engine) : Speaker(parent) {
    reason_ = QStringLiteral("正在启动朗读引擎，请稍候。");
    thread_ = new QThread;
    thread_->setObjectName(QStringLiteral("speech"));
    worker_ = new SpeechWorker;
    worker_->moveToThread(thread_);
    connect(thread_, &QThread::finished, worker_, &QObject::deleteLater);
    connect(worker_, &SpeechWorker::started, this, &QtSpeaker::onStarted);
    connect(worker_, &SpeechWorker::finished, this, &QtSpeaker::onFinished);
    connect(worker_, &SpeechWorker::engineState, this, &QtSpeaker::onEngineState);
    connect(worker_, &SpeechWorker::failed, this, &QtSpeaker::onFailed);
    thread_->start();
    QMetaObject::invokeMethod(worker_, "start", Qt::QueuedConnection, Q_ARG(QString, engine));
    startTimeout_.setSingleShot(true);
    startTimeout_.setInterval(10000);
    connect(&startTimeout_, &QTimer::timeout, this, [this] {
        if (started_) return;
        reason_ = QStringLiteral("朗读服务没有响应：请重新启动 speech-dispatcher 后再试。");
        emit availabilityChanged();
    });
    startTimeout_.start();
}

QtSpeaker::~QtSpeaker() {
    QMetaObject::invokeMethod(worker_, "stop", Qt::QueuedConnection);
    thread_->quit();
    // A thread stuck in a hung speech service is left to the process's end rather than waited
    // for, so closing the program never hangs.
    if (thread_->wait(3000)) delete thread_;
}

void QtSpeaker::say(const QString& text) {
    if (!available_) return;
    ++utterance_;
    QMetaObject::invokeMethod(worker_, "say", Qt::QueuedConnection, Q_ARG(QString, text),
                              Q_ARG(quint64, utterance_));
    setState(State::Speaking);
}

void QtSpeaker::pause() {
    QMetaObject::invokeMethod(worker_, "pause", Qt::QueuedConnection);
    if (state_ == State::Speaking) setState(State::Paused);
}

void QtSpeaker::resume() {
    QMetaObject::invokeMethod(worker_, "resume", Qt::QueuedConnection);
    if (state_ == State::Paused) setState(State::Speaking);
}

void QtSpeaker::stop() {
    ++utterance_;
    QMetaObject::invokeMethod(worker_, "stop", Qt::QueuedConnection);
    if (state_ != State::Error) setState(State::Ready);
}

void QtSpeaker::setRate(double rate) {
    QMetaObject::invokeMethod(worker_, "setRate", Qt::QueuedConnection,
                              Q_ARG(double, std::clamp(rate, -1.0, 1.0)));
}

void QtSpeaker::setVoice(const QString& name) {
    if (!voices_.contains(name)) return;
    voice_ = name;
    QMetaObject::invokeMethod(worker_, "setVoice", Qt::QueuedConnection, Q_ARG(QString, name));
}

void QtSpeaker::onStarted(bool ok, const QString& reason, const QStringList& voices,
                          const QString& voice) {
    started_ = true;
    available_ = ok;
    reason_ = reason;
    voices_ = voices;
    voice_ = voice;
    emit availabilityChanged();
}

void QtSpeaker::onFinished(quint64 utterance) {
    if (utterance != utterance_ || state_ == State::Ready || state_ == State::Error) return;
    setState(State::Ready);
    emit sentenceFinished();
}

void QtSpeaker::onEngineState(int state) {
    if (state == QTextToSpeech::Error) onFailed({});
}

void QtSpeaker::onFailed(const QString& reason) {
    reason_ = QStringLiteral("朗读出错：%1")
                  .arg(reason.isEmpty() ? QStringLiteral("引擎报告错误") : reason);
    setState(State::Error);
}

void QtSpeaker::setState(State state) {
    if (state_ == state) return;
    state_ = state;
    emit stateChanged(state);
}

}  // namespace novel

#include "qt_speaker.moc"
