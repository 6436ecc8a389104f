#include "speech/read_aloud.h"

#include "reader/reader_settings.h"

namespace novel {

ReadAloud::ReadAloud(Speaker* speaker, QObject* parent) : QObject(parent), speaker_(speaker) {
    sleepTimer_.setSingleShot(true);
    // A coarse timer may be rounded by seconds at these lengths; the remaining time is shown.
    sleepTimer_.setTimerType(Qt::PreciseTimer);
    connect(&sleepTimer_, &QTimer::timeout, this, [this] { finish(StopReason::SleepTimer); });
    if (!speaker) return;
    connect(speaker, &Speaker::sentenceFinished, this, &ReadAloud::onSentenceFinished);
    connect(speaker, &Speaker::stateChanged, this, [this](Speaker::State s) {
        if (s == Speaker::State::Error && state_ != State::Stopped)
            finish(StopReason::SpeakerError);
    });
    connect(speaker, &Speaker::availabilityChanged, this, [this] {
        if (speaker_ && !speaker_->available() && state_ != State::Stopped)
            finish(StopReason::Unavailable);
    });
}

void ReadAloud::setChapterCount(int count) {
    chapterCount_ = std::max(count, 0);
}

bool ReadAloud::start(int chapter, int paragraph) {
    if (state_ != State::Stopped) {
        ++generation_;
        if (speaker_) speaker_->stop();
    }
    if (!speaker_ || !speaker_->available() || chapter < 0 || chapter >= chapterCount_) {
        setState(State::Stopped);
        emit stopped(speaker_ && speaker_->available() ? StopReason::BookEnd
                                                       : StopReason::Unavailable);
        return false;
    }
    ++generation_;
    chapter_ = chapter;
    startParagraph_ = paragraph;
    emptyRun_ = 0;
    sentences_.clear();
    index_ = 0;
    pending_ = Pending::None;
    setState(State::Loading);
    startSleepCount();
    if (ready_.count(chapter)) {
        beginChapter();
    } else if (requested_.insert(chapter).second) {
        emit requestChapter(chapter);
    }
    return true;
}

void ReadAloud::pause() {
    if (state_ == State::Speaking) {
        if (speaker_) speaker_->pause();
        pending_ = Pending::None;
        setState(State::Paused);
    } else if (state_ == State::Loading) {
        pending_ = Pending::Loading;
        setState(State::Paused);
    }
}

void ReadAloud::resume() {
    if (state_ != State::Paused) return;
    const Pending pending = pending_;
    pending_ = Pending::None;
    if (pending == Pending::Loading) {
        setState(State::Loading);
        if (ready_.count(chapter_)) beginChapter();
    } else if (pending == Pending::Advance) {
        setState(State::Speaking);
        advance();
    } else {
        setState(State::Speaking);
        if (speaker_) speaker_->resume();
    }
}

void ReadAloud::stop() {
    finish(StopReason::User);
}

void ReadAloud::setSleepTimer(SleepChoice choice) {
    sleepTimer_.stop();
    const bool changed = sleep_ != choice;
    sleep_ = choice;
    if (state_ != State::Stopped) startSleepCount();
    if (changed) emit sleepTimerChanged(choice);
}

void ReadAloud::startSleepCount() {
    int minutes = sleep_ == SleepChoice::Minutes15   ? 15
                  : sleep_ == SleepChoice::Minutes30 ? 30
                  : sleep_ == SleepChoice::Minutes60 ? 60
                                                     : 0;
    if (minutes == 0 || sleepTimer_.isActive()) return;
    sleepTimer_.start(std::chrono::milliseconds(minute_ * minutes));
}

std::chrono::milliseconds ReadAloud::sleepTimerRemaining() const {
    return sleepTimer_.isActive() ? sleepTimer_.remainingTimeAsDuration()
                                  : std::chrono::milliseconds(0);
}

Sentence ReadAloud::currentSentence() const {
    if (index_ < sentences_.size()) return sentences_[index_];
    return {};
}

void ReadAloud::chapterArrived(int chapter, const QString& title, const QByteArray& gbkHtml) {
    if (state_ == State::Stopped || !requested_.erase(chapter)) return;
    std::vector<Sentence> sentences =
        splitSentences({title.simplified().toStdString()}, kMaxSentenceChars);
    for (Sentence& s : sentences) s.paragraph = kTitleParagraph;
    std::vector<Sentence> body =
        chapterSentences(std::string_view(gbkHtml.constData(), gbkHtml.size()));
    sentences.insert(sentences.end(), std::make_move_iterator(body.begin()),
                     std::make_move_iterator(body.end()));
    ready_[chapter] = std::move(sentences);
    if (chapter == chapter_ && state_ == State::Loading) beginChapter();
}

void ReadAloud::beginChapter() {
    sentences_ = std::move(ready_[chapter_]);
    // Only the chapter after this one is worth keeping.
    std::erase_if(ready_, [this](const auto& entry) { return entry.first != chapter_ + 1; });
    index_ = 0;
    if (startParagraph_ > 0) {
        while (index_ < sentences_.size() && sentences_[index_].paragraph < startParagraph_)
            ++index_;
    }
    const quint64 generation = generation_;
    emit chapterStarted(chapter_);
    if (generation != generation_) return;
    const int next = chapter_ + 1;
    if (next < chapterCount_ && !ready_.count(next) && requested_.insert(next).second) {
        emit requestChapter(next);
        if (generation != generation_) return;
    }
    if (index_ >= sentences_.size()) {
        if (sentences_.empty() && ++emptyRun_ >= kMaxEmptyChapters) {
            finish(StopReason::NoText);
            return;
        }
        chapterEnded();
        return;
    }
    emptyRun_ = 0;
    setState(State::Speaking);
    speakCurrent();
}

void ReadAloud::speakCurrent() {
    const Sentence& s = sentences_[index_];
    const quint64 generation = generation_;
    emit sentenceStarted(chapter_, s.paragraph, s.offset, s.length);
    // A slot of sentenceStarted may have stopped or restarted reading.
    if (generation != generation_ || state_ != State::Speaking || !speaker_) return;
    speaker_->say(QString::fromStdString(sentences_[index_].text));
}

void ReadAloud::onSentenceFinished() {
    if (state_ == State::Paused && pending_ == Pending::None) {
        pending_ = Pending::Advance;
        return;
    }
    if (state_ != State::Speaking) return;
    advance();
}

void ReadAloud::advance() {
    ++index_;
    if (index_ < sentences_.size()) {
        speakCurrent();
    } else {
        chapterEnded();
    }
}

void ReadAloud::chapterEnded() {
    if (sleep_ == SleepChoice::ChapterEnd) {
        finish(StopReason::SleepTimer);
        return;
    }
    if (chapter_ + 1 >= chapterCount_) {
        finish(StopReason::BookEnd);
        return;
    }
    ++chapter_;
    startParagraph_ = 0;
    setState(State::Loading);
    if (ready_.count(chapter_)) {
        beginChapter();
    } else if (requested_.insert(chapter_).second) {
        emit requestChapter(chapter_);
    }
}

void ReadAloud::finish(StopReason reason) {
    ++generation_;
    sleepTimer_.stop();
    const bool wasRunning = state_ != State::Stopped;
    if (wasRunning && speaker_) speaker_->stop();
    ready_.clear();
    requested_.clear();
    pending_ = Pending::None;
    setState(State::Stopped);
    if (sleep_ != SleepChoice::Off) {
        sleep_ = SleepChoice::Off;
        emit sleepTimerChanged(sleep_);
    }
    if (wasRunning) emit stopped(reason);
}

void ReadAloud::setState(State state) {
    if (state_ == state) return;
    state_ = state;
    emit stateChanged(state);
}

QString sleepChoiceLabel(ReadAloud::SleepChoice choice) {
    switch (choice) {
        case ReadAloud::SleepChoice::Off:
            return QStringLiteral("不定时");
        case ReadAloud::SleepChoice::Minutes15:
            return QStringLiteral("15分钟后");
        case ReadAloud::SleepChoice::Minutes30:
            return QStringLiteral("30分钟后");
        case ReadAloud::SleepChoice::Minutes60:
            return QStringLiteral("60分钟后");
        case ReadAloud::SleepChoice::ChapterEnd:
            return QStringLiteral("本章读完");
    }
    return {};
}

QString stopMessage(ReadAloud::StopReason reason, const Speaker& speaker) {
    switch (reason) {
        case ReadAloud::StopReason::User:
            return {};
        case ReadAloud::StopReason::SleepTimer:
            return {};
        case ReadAloud::StopReason::BookEnd:
            return QStringLiteral("已经读到最后一章了！");
        case ReadAloud::StopReason::Unavailable:
            return speaker.unavailableReason();
        case ReadAloud::StopReason::SpeakerError:
            return speaker.unavailableReason().isEmpty() ? QStringLiteral("朗读出错，已停止。")
                                                         : speaker.unavailableReason();
        case ReadAloud::StopReason::NoText:
            return QStringLiteral("章节没有可朗读的文字，已停止朗读。");
    }
    return {};
}

void applySpeechSettings(const ReaderSettings& settings, Speaker* speaker) {
    if (!speaker) return;
    speaker->setRate(settings.speechRate());
    const QString voice = QString::fromStdString(settings.speechVoice());
    if (!voice.isEmpty()) speaker->setVoice(voice);
}

}  // namespace novel
