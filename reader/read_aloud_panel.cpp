#include "reader/read_aloud_panel.h"

#include "reader/reader_view.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QSlider>
#include <QTimer>
#include <cmath>

#include "app/app_state.h"
#include "app/controls.h"
#include "app/message_box.h"
#include "app/page_request.h"
#include "app/qt_text.h"
#include "reader/chapter.h"
#include "reader/reader_settings.h"
#include "reader/reader_window.h"
#include "speech/qt_speaker.h"

namespace novel {
namespace {

// The slider moves in tenths of the engine's rate range (-1 to 1).
constexpr int kRateSteps = 10;

const QString kReadTip = QStringLiteral("从页面上正在看的段落开始朗读，读完一章接着读下一章");

// Clears the mark of the sentence last said and, for paragraph >= 0, marks the characters
// [offset, offset + length) of <p id="p{paragraph}"> and scrolls them into view when they are
// not. Characters count as the speech side counts them: code points of the paragraph's text with
// every run of blanks read as one blank and the blanks at its start left out. Answers the marked
// text.
const char* const kMarkScript = R"JS(
(function (p, off, len, cls) {
  if (!document.body) return '';
  if (!document.getElementById('novel-speaking-style')) {
    var style = document.createElement('style');
    style.id = 'novel-speaking-style';
    style.textContent = 'span.' + cls +
        '{background:#ffd54f !important;color:#000 !important;border-radius:2px}';
    (document.head || document.body).appendChild(style);
  }
  var old = document.querySelectorAll('span.' + cls);
  for (var k = 0; k < old.length; ++k) {
    var s = old[k], parent = s.parentNode;
    while (s.firstChild) parent.insertBefore(s.firstChild, s);
    parent.removeChild(s);
    parent.normalize();
  }
  if (p < 0 || len <= 0) return '';
  var el = document.getElementById('p' + p);
  if (!el) return '';
  var nodes = [];
  var walker = document.createTreeWalker(el, NodeFilter.SHOW_TEXT);
  for (var n = walker.nextNode(); n; n = walker.nextNode()) nodes.push(n);
  var blank = /^[ \t\r\n\f\v\u00a0\u3000]$/;
  var count = 0, seen = false, gap = false, end = off + len, from = null, to = null;
  for (var i = 0; i < nodes.length && !to; ++i) {
    var t = nodes[i].data;
    for (var j = 0; j < t.length;) {
      var w = t.codePointAt(j) > 0xffff ? 2 : 1;
      if (blank.test(t.substr(j, w))) { gap = seen; j += w; continue; }
      if (gap) { ++count; gap = false; }
      seen = true;
      if (count === off && !from) from = [i, j];
      ++count;
      j += w;
      if (count === end) { to = [i, j]; break; }
    }
  }
  if (!from || !to) return '';
  var spans = [];
  for (var i = from[0]; i <= to[0]; ++i) {
    var node = nodes[i];
    var a = i === from[0] ? from[1] : 0;
    var b = i === to[0] ? to[1] : node.data.length;
    if (b <= a) continue;
    var mid = a > 0 ? node.splitText(a) : node;
    if (b - a < mid.data.length) mid.splitText(b - a);
    var span = document.createElement('span');
    span.className = cls;
    mid.parentNode.insertBefore(span, mid);
    span.appendChild(mid);
    spans.push(span);
  }
  if (!spans.length) return '';
  var top = spans[0].getBoundingClientRect().top;
  var bottom = spans[spans.length - 1].getBoundingClientRect().bottom;
  var height = window.innerHeight || document.documentElement.clientHeight;
  if (top < 0 || bottom > height) spans[0].scrollIntoView({block: 'center'});
  return spans.map(function (s) { return s.textContent; }).join('');
})(%1, %2, %3, '%4')
)JS";

// The first paragraph in sight, or 0 while the page is at its top (the title is read then).
const char* const kFirstParagraphInSightScript = R"JS(
(function () {
  var ps = document.querySelectorAll('p[id^="p"]');
  var scroller = document.scrollingElement || document.body;
  if (!ps.length || (scroller.scrollTop <= 0 && document.body.scrollTop <= 0)) return 0;
  for (var i = 0; i < ps.length; ++i)
    if (ps[i].getBoundingClientRect().bottom > 0) return parseInt(ps[i].id.substring(1), 10);
  return 0;
})()
)JS";

QPushButton* panelButton(const QString& text, const char* name, QWidget* parent) {
    auto* button = named(new QPushButton(text, parent), name);
    button->setFlat(true);
    return button;
}

}  // namespace

ReadAloudPanel::ReadAloudPanel(ReaderWindow& reader, AppState& state,
                               const SpeakerFactory& makeSpeaker)
    : QWidget(&reader), reader_(reader), state_(state) {
    setObjectName(QStringLiteral("ReadAloudPanel"));
    if (makeSpeaker) speaker_ = makeSpeaker(this);
    readAloud_ = new ReadAloud(speaker_, this);
    chapterRequest_ = new PageRequest(state_.engine(), this);

    readAloudButton_ = panelButton(QStringLiteral("朗读"), "ReadAloudButton", this);
    pauseButton_ = panelButton(QStringLiteral("暂停"), "PauseReadingButton", this);
    stopButton_ = panelButton(QStringLiteral("停止朗读"), "StopReadingButton", this);
    auto* rateCaption = named(new QLabel(QStringLiteral("语速："), this), "RateCaptionLabel");
    rateSlider_ = named(new QSlider(Qt::Horizontal, this), "RateSlider");
    rateSlider_->setRange(-kRateSteps, kRateSteps);
    rateSlider_->setPageStep(2);
    rateSlider_->setFixedWidth(60);
    rateSlider_->setToolTip(QStringLiteral("朗读的快慢"));
    voiceCombo_ = named(new QComboBox(this), "VoiceCombo");
    voiceCombo_->setFixedWidth(150);
    voiceCombo_->setToolTip(QStringLiteral("朗读的声音"));
    sleepTimerCombo_ = named(new QComboBox(this), "SleepTimerCombo");
    for (auto choice : {ReadAloud::SleepChoice::Off, ReadAloud::SleepChoice::Minutes15,
                        ReadAloud::SleepChoice::Minutes30, ReadAloud::SleepChoice::Minutes60,
                        ReadAloud::SleepChoice::ChapterEnd})
        sleepTimerCombo_->addItem(sleepChoiceLabel(choice), QVariant::fromValue(choice));
    sleepTimerCombo_->setToolTip(QStringLiteral("定时停止"));
    sleepTimerCombo_->setFixedWidth(80);

    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(3);
    for (QWidget* control :
         std::initializer_list<QWidget*>{readAloudButton_, pauseButton_, stopButton_, rateCaption,
                                         rateSlider_, voiceCombo_, sleepTimerCombo_})
        layout->addWidget(control);

    connect(readAloudButton_, &QPushButton::clicked, this, &ReadAloudPanel::startReading);
    connect(pauseButton_, &QPushButton::clicked, this, &ReadAloudPanel::onPauseClicked);
    connect(stopButton_, &QPushButton::clicked, readAloud_, &ReadAloud::stop);
    connect(rateSlider_, &QSlider::valueChanged, this, [this](int value) {
        if (speaker_) speaker_->setRate(static_cast<double>(value) / kRateSteps);
    });
    connect(voiceCombo_, &QComboBox::activated, this, &ReadAloudPanel::onVoiceChosen);
    connect(sleepTimerCombo_, &QComboBox::activated, this, [this](int index) {
        readAloud_->setSleepTimer(
            sleepTimerCombo_->itemData(index).value<ReadAloud::SleepChoice>());
    });
    connect(readAloud_, &ReadAloud::sleepTimerChanged, this, [this](ReadAloud::SleepChoice choice) {
        sleepTimerCombo_->setCurrentIndex(sleepTimerCombo_->findData(QVariant::fromValue(choice)));
    });
    connect(readAloud_, &ReadAloud::requestChapter, this, &ReadAloudPanel::onRequestChapter);
    connect(readAloud_, &ReadAloud::chapterStarted, this, &ReadAloudPanel::onChapterStarted);
    connect(readAloud_, &ReadAloud::sentenceStarted, this, &ReadAloudPanel::onSentenceStarted);
    connect(readAloud_, &ReadAloud::stateChanged, this, &ReadAloudPanel::onStateChanged);
    connect(readAloud_, &ReadAloud::stopped, this, &ReadAloudPanel::onStopped);
    if (ReaderView* view = reader_.browser())
        view->onLoadFinished([panel = QPointer<ReadAloudPanel>(this)](bool ok) {
            if (panel) panel->onPageLoaded(ok);
        });
    if (speaker_)
        connect(speaker_, &Speaker::availabilityChanged, this,
                &ReadAloudPanel::onAvailabilityChanged);

    onAvailabilityChanged();
    onStateChanged(ReadAloud::State::Stopped);
}

void ReadAloudPanel::loadSettings(const ReaderSettings& settings) {
    rateSlider_->setValue(static_cast<int>(std::lround(settings.speechRate() * kRateSteps)));
    wantedVoice_ = QString::fromStdString(settings.speechVoice());
    if (speaker_ && speaker_->voices().contains(wantedVoice_)) speaker_->setVoice(wantedVoice_);
    onAvailabilityChanged();
}

void ReadAloudPanel::storeSettings(ReaderSettings& settings) const {
    settings.setSpeechRate(static_cast<double>(rateSlider_->value()) / kRateSteps);
    // A voice the engine does not list (yet) is kept as it was chosen.
    const QString voice =
        voiceCombo_->currentIndex() >= 0 ? voiceCombo_->currentText() : wantedVoice_;
    settings.setSpeechVoice(voice.toStdString());
}

void ReadAloudPanel::onAvailabilityChanged() {
    const bool available = speaker_ && speaker_->available();
    const QStringList voices = speaker_ ? speaker_->voices() : QStringList();
    voiceCombo_->clear();
    voiceCombo_->addItems(voices);
    if (speaker_ && voices.contains(wantedVoice_) && speaker_->voice() != wantedVoice_)
        speaker_->setVoice(wantedVoice_);
    if (speaker_) voiceCombo_->setCurrentIndex(voices.indexOf(speaker_->voice()));
    voiceCombo_->setEnabled(available && !voices.isEmpty());
    // The button stays clickable without a voice: a click says how to install one.
    readAloudButton_->setToolTip(available  ? kReadTip
                                 : speaker_ ? speaker_->unavailableReason()
                                            : noEngineReason());
}

void ReadAloudPanel::onVoiceChosen(int index) {
    if (!speaker_ || index < 0) return;
    wantedVoice_ = voiceCombo_->itemText(index);
    speaker_->setVoice(wantedVoice_);
}

void ReadAloudPanel::startReading() {
    if (!speaker_ || !speaker_->available()) {
        showMessage(&reader_, speaker_ ? speaker_->unavailableReason() : noEngineReason());
        return;
    }
    const int row = reader_.selectedRow();
    if (row < 0 || reader_.chapterAt(row).url.empty()) {
        showMessage(&reader_, QStringLiteral("请先获取章节并选中章节"));
        return;
    }
    // A restart drops what the last reading asked for; its answers must not count. (A stop when
    // stopped would also drop the sleep timer chosen beforehand.)
    if (readAloud_->state() != ReadAloud::State::Stopped) readAloud_->stop();
    readAloud_->setChapterCount(reader_.chapterCount());
    const quint64 generation = ++startGeneration_;
    if (reader_.shownRow() != row) {
        readAloud_->start(row, 0);
        return;
    }
    if (!reader_.browser()) return;
    reader_.browser()->runJavaScript(
        QString::fromLatin1(kFirstParagraphInSightScript),
        [panel = QPointer<ReadAloudPanel>(this), row, generation](const QVariant& answer) {
            if (!panel || generation != panel->startGeneration_) return;
            panel->readAloud_->start(row, std::max(answer.toInt(), 0));
        });
}

void ReadAloudPanel::onPauseClicked() {
    if (readAloud_->state() == ReadAloud::State::Paused)
        readAloud_->resume();
    else
        readAloud_->pause();
}

void ReadAloudPanel::onRequestChapter(int chapter) {
    const ChapterEntry entry = reader_.chapterAt(chapter);
    const QString title = toQString(entry.title);
    if (entry.url.empty()) {
        // The controller asked from inside its own step; the answer comes after it.
        QTimer::singleShot(
            0, this, [this, chapter, title] { readAloud_->chapterArrived(chapter, title, {}); });
        return;
    }
    chapterRequest_->start({entry.url}, [this, chapter, title](const FetchResult& result) {
        // A chapter that cannot be read arrives empty: the controller goes on past it and gives
        // up after a few.
        const Text text = result.ok()
                              ? chapterTextFromPage(textOf(result.body), state_.config.brandWords())
                              : Text();
        readAloud_->chapterArrived(chapter, title, QByteArray(text.data(), qsizetype(text.size())));
    });
}

void ReadAloudPanel::onChapterStarted(int chapter) {
    sentenceChapter_ = chapter;
    sentenceLength_ = 0;
    if (reader_.shownRow() == chapter) return;
    // The page follows the speech; the chapter is read for the page as any chapter move does.
    reader_.showChapter(chapter, [this, chapter] { reader_.setSelectedRow(chapter); });
}

void ReadAloudPanel::onSentenceStarted(int chapter, int paragraph, int offset, int length) {
    sentenceChapter_ = chapter;
    sentenceParagraph_ = paragraph;
    sentenceOffset_ = offset;
    sentenceLength_ = length;
    markSentence();
    const int position = std::max(paragraph, 0);
    if (chapter != reportedChapter_ || position != reportedParagraph_) {
        reportedChapter_ = chapter;
        reportedParagraph_ = position;
        emit readingPositionChanged(chapter, position);
    }
}

void ReadAloudPanel::onPageLoaded(bool ok) {
    // A new page (the next chapter, or the same one redrawn in a new style) has no mark yet.
    if (ok && readAloud_->state() != ReadAloud::State::Stopped) markSentence();
}

void ReadAloudPanel::markSentence() {
    const bool reading = readAloud_->state() != ReadAloud::State::Stopped;
    const bool onPage = reading && reader_.shownRow() == sentenceChapter_ && sentenceLength_ > 0;
    if (!reader_.browser()) return;
    reader_.browser()->runJavaScript(QString::fromLatin1(kMarkScript)
                                         .arg(onPage ? sentenceParagraph_ : -1)
                                         .arg(sentenceOffset_)
                                         .arg(sentenceLength_)
                                         .arg(QLatin1String(kSpeakingClass)));
}

void ReadAloudPanel::onStateChanged(ReadAloud::State state) {
    const bool reading = state != ReadAloud::State::Stopped;
    pauseButton_->setEnabled(reading);
    pauseButton_->setText(state == ReadAloud::State::Paused ? QStringLiteral("继续")
                                                            : QStringLiteral("暂停"));
    stopButton_->setEnabled(reading);
    readAloudButton_->setEnabled(!reading);
    // The speech moves the page; the page's own scrolling and auto-advance wait meanwhile.
    reader_.holdForSpeech(reading);
}

void ReadAloudPanel::onStopped(ReadAloud::StopReason reason) {
    ++startGeneration_;
    chapterRequest_->cancel();
    reportedChapter_ = -1;
    reportedParagraph_ = -1;
    sentenceLength_ = 0;
    markSentence();
    const QString message = speaker_ ? stopMessage(reason, *speaker_) : noEngineReason();
    if (!message.isEmpty()) showMessage(&reader_, message);
}

}  // namespace novel
