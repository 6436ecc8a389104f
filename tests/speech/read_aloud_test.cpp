// Reading aloud driven through the fake speaker: the order of sentences and the position they
// report, chapter ends, the sleep timer, pause and stop.

#include <QSignalSpy>
#include <QTest>

#include "reader/reader_settings.h"
#include "speech/qt_speaker.h"
#include "speech/read_aloud.h"
#include "support/fake_speaker.h"
#include "web/gbk.h"

using namespace novel;
using namespace std::chrono_literals;

namespace {

struct Book {
    QStringList titles;
    QList<QByteArray> texts;  // GBK HTML as the reader holds it
};

Book threeChapters() {
    Book b;
    b.titles = {QStringLiteral("第一章"), QStringLiteral("第二章"), QStringLiteral("第三章")};
    for (const char* t : {"&nbsp;&nbsp;甲说：“走吧。”乙没动。<br />\r\n<br />\r\n丙来了！",
                          "天亮了……<br/>他醒了？", "完。"})
        b.texts.append(QByteArray::fromStdString(toGbk(t)));
    return b;
}

// Serves chapters as the reader does: asynchronously, after the request.
struct Provider {
    Provider(ReadAloud* reader, const Book& book) {
        QObject::connect(reader, &ReadAloud::requestChapter, reader, [=, this](int k) {
            requests.append(k);
            QTimer::singleShot(0, reader, [=] {
                reader->chapterArrived(k, book.titles.value(k), book.texts.value(k));
            });
        });
    }
    QList<int> requests;
};

struct Started {
    int chapter, paragraph, offset, length;
};

}  // namespace

class ReadAloudTest : public QObject {
    Q_OBJECT
  private slots:
    void sentencesInOrderThroughChapterEndsToTheBookEnd();
    void startsAtAParagraphAndSkipsTheTitle();
    void pauseResumeAndStop();
    void sleepTimerChoices();
    void sleepTimerAtChapterEnd();
    void unavailableSpeakerAndEmptyChapters();
    void realSpeakerWithoutAnEngine();
};

void ReadAloudTest::sentencesInOrderThroughChapterEndsToTheBookEnd() {
    FakeSpeaker speaker;
    ReadAloud reader(&speaker);
    const Book book = threeChapters();
    reader.setChapterCount(3);
    Provider provider(&reader, book);
    QList<Started> started;
    connect(&reader, &ReadAloud::sentenceStarted, this, [&](int c, int p, int o, int l) {
        started.append({c, p, o, l});
    });
    QSignalSpy stopped(&reader, &ReadAloud::stopped);

    QVERIFY(reader.start(0));
    QTRY_COMPARE(speaker.said.size(), 1);
    // The next chapter is asked for as soon as this one starts, before its first sentence ends.
    QCOMPARE(provider.requests, (QList<int>{0, 1}));
    while (reader.state() != ReadAloud::State::Stopped) {
        const int before = speaker.said.size();
        speaker.finish();
        QTRY_VERIFY(speaker.said.size() > before || reader.state() == ReadAloud::State::Stopped);
    }
    const QStringList expected = {"第一章",   "甲说：“走吧。”", "乙没动。", "丙来了！", "第二章",
                                  "天亮了……", "他醒了？",       "第三章",   "完。"};
    QCOMPARE(speaker.said, expected);
    QCOMPARE(provider.requests, (QList<int>{0, 1, 2}));
    QCOMPARE(stopped.size(), 1);
    QCOMPARE(stopped[0][0].value<ReadAloud::StopReason>(), ReadAloud::StopReason::BookEnd);

    // Each reported position names exactly the sentence being said, so a highlight and the
    // reading position follow the speech.
    QCOMPARE(started.size(), expected.size());
    for (int i = 0; i < started.size(); ++i) {
        const Started& s = started[i];
        const QString paragraph = s.paragraph == ReadAloud::kTitleParagraph
                                      ? book.titles[s.chapter]
                                      : QString::fromStdString(chapterParagraphs(
                                            book.texts[s.chapter].toStdString())[s.paragraph]);
        QCOMPARE(paragraph.mid(s.offset, s.length), expected[i]);
    }
    QCOMPARE(started[3].paragraph, 1);  // "丙来了！" is the chapter's second paragraph
    QCOMPARE(started[6].chapter, 1);
}

void ReadAloudTest::startsAtAParagraphAndSkipsTheTitle() {
    FakeSpeaker speaker;
    ReadAloud reader(&speaker);
    reader.setChapterCount(3);
    Provider provider(&reader, threeChapters());
    QSignalSpy chapterStarted(&reader, &ReadAloud::chapterStarted);
    reader.start(0, 1);
    QTRY_COMPARE(speaker.said, QStringList{"丙来了！"});
    QCOMPARE(chapterStarted.size(), 1);
    QCOMPARE(reader.currentSentence().paragraph, 1);
}

void ReadAloudTest::pauseResumeAndStop() {
    FakeSpeaker speaker;
    ReadAloud reader(&speaker);
    reader.setChapterCount(3);
    Provider provider(&reader, threeChapters());
    reader.start(0);
    QTRY_COMPARE(reader.state(), ReadAloud::State::Speaking);

    reader.pause();
    QCOMPARE(reader.state(), ReadAloud::State::Paused);
    QCOMPARE(speaker.state(), Speaker::State::Paused);
    reader.resume();
    QCOMPARE(speaker.state(), Speaker::State::Speaking);
    QCOMPARE(speaker.said.size(), 1);

    // A sentence the engine finished just as the pause came is not said again: resuming goes on
    // with the next one.
    reader.pause();
    emit speaker.sentenceFinished();
    QCOMPARE(speaker.said.size(), 1);
    reader.resume();
    QCOMPARE(speaker.said, (QStringList{"第一章", "甲说：“走吧。”"}));

    QSignalSpy stopped(&reader, &ReadAloud::stopped);
    reader.stop();
    QCOMPARE(reader.state(), ReadAloud::State::Stopped);
    QCOMPARE(speaker.state(), Speaker::State::Ready);
    QCOMPARE(stopped.size(), 1);
    QCOMPARE(stopped[0][0].value<ReadAloud::StopReason>(), ReadAloud::StopReason::User);
    // Late arrivals and finishes after a stop change nothing.
    emit speaker.sentenceFinished();
    reader.chapterArrived(1, "第二章", "x");
    QTest::qWait(10);
    QCOMPARE(speaker.said.size(), 2);
    QCOMPARE(reader.state(), ReadAloud::State::Stopped);

    // Pausing while a chapter is still on its way holds it until resumed.
    reader.start(2);
    reader.pause();
    QTest::qWait(10);
    QCOMPARE(speaker.said.size(), 2);
    reader.resume();
    QTRY_COMPARE(speaker.said.size(), 3);
    QCOMPARE(speaker.said.last(), QStringLiteral("第三章"));
}

void ReadAloudTest::sleepTimerChoices() {
    FakeSpeaker speaker;
    ReadAloud reader(&speaker);
    reader.setChapterCount(3);
    Provider provider(&reader, threeChapters());
    reader.setMinuteLength(1000ms);
    reader.start(0);
    const std::pair<ReadAloud::SleepChoice, int> choices[] = {
        {ReadAloud::SleepChoice::Minutes15, 15},
        {ReadAloud::SleepChoice::Minutes30, 30},
        {ReadAloud::SleepChoice::Minutes60, 60}};
    for (const auto& [choice, minutes] : choices) {
        reader.setSleepTimer(choice);
        const auto left = reader.sleepTimerRemaining();
        QVERIFY2(left > std::chrono::milliseconds((minutes - 1) * 1000) &&
                     left <= std::chrono::milliseconds(minutes * 1000),
                 qPrintable(sleepChoiceLabel(choice)));
    }
    reader.setSleepTimer(ReadAloud::SleepChoice::Off);
    QCOMPARE(reader.sleepTimerRemaining(), 0ms);

    // When the time runs out, reading stops mid-chapter and the choice goes back to off.
    reader.setMinuteLength(1ms);
    QSignalSpy stopped(&reader, &ReadAloud::stopped);
    reader.setSleepTimer(ReadAloud::SleepChoice::Minutes15);
    QVERIFY(stopped.wait(5000));
    QCOMPARE(stopped[0][0].value<ReadAloud::StopReason>(), ReadAloud::StopReason::SleepTimer);
    QCOMPARE(reader.state(), ReadAloud::State::Stopped);
    QCOMPARE(reader.sleepTimer(), ReadAloud::SleepChoice::Off);
    QCOMPARE(speaker.state(), Speaker::State::Ready);
}

void ReadAloudTest::sleepTimerAtChapterEnd() {
    FakeSpeaker speaker;
    speaker.setAutoFinish(1);
    ReadAloud reader(&speaker);
    reader.setChapterCount(3);
    Provider provider(&reader, threeChapters());
    QSignalSpy stopped(&reader, &ReadAloud::stopped);
    reader.setSleepTimer(ReadAloud::SleepChoice::ChapterEnd);
    reader.start(1);
    QVERIFY(stopped.wait(5000));
    QCOMPARE(stopped[0][0].value<ReadAloud::StopReason>(), ReadAloud::StopReason::SleepTimer);
    QCOMPARE(speaker.said, (QStringList{"第二章", "天亮了……", "他醒了？"}));
    QCOMPARE(reader.chapter(), 1);
}

void ReadAloudTest::unavailableSpeakerAndEmptyChapters() {
    FakeSpeaker speaker;
    ReadAloud reader(&speaker);
    reader.setChapterCount(10);
    QSignalSpy stopped(&reader, &ReadAloud::stopped);
    // Chapters that could not be fetched arrive empty: a few in a row stop reading.
    connect(&reader, &ReadAloud::requestChapter, this, [&](int k) {
        QTimer::singleShot(0, &reader, [&, k] { reader.chapterArrived(k, {}, {}); });
    });
    reader.start(0);
    QVERIFY(stopped.wait(5000));
    QCOMPARE(stopped[0][0].value<ReadAloud::StopReason>(), ReadAloud::StopReason::NoText);
    QVERIFY(reader.chapter() < ReadAloud::kMaxEmptyChapters);
    QVERIFY(speaker.said.isEmpty());

    // A speaker that loses its voice stops reading and says why.
    reader.start(0);
    speaker.setVoices({});
    QCOMPARE(stopped.size(), 2);
    QCOMPARE(stopped[1][0].value<ReadAloud::StopReason>(), ReadAloud::StopReason::Unavailable);
    QVERIFY(!reader.start(0));
    QCOMPARE(stopped.size(), 3);
    QVERIFY(stopMessage(ReadAloud::StopReason::Unavailable, speaker).contains("espeak-ng"));

    // Saved rate and voice reach the speaker; a voice it lacks is ignored.
    speaker.setVoices({"Chinese (Mandarin)", "Chinese (Mandarin)+Annie"});
    ReaderSettings settings;
    settings.setSpeechRate(-0.5);
    settings.setSpeechVoice("Chinese (Mandarin)+Annie");
    applySpeechSettings(settings, &speaker);
    QCOMPARE(speaker.rate_, -0.5);
    QCOMPARE(speaker.voice(), QStringLiteral("Chinese (Mandarin)+Annie"));
}

void ReadAloudTest::realSpeakerWithoutAnEngine() {
    QtSpeaker speaker(nullptr, QStringLiteral("no-such-engine"));
    QVERIFY(!speaker.available());
    QTRY_VERIFY(speaker.started());
    QVERIFY(!speaker.available());
    QVERIFY(speaker.unavailableReason().contains("speech-dispatcher"));
    QVERIFY(speaker.voices().isEmpty());
    speaker.say("不会说出来");
    QCOMPARE(speaker.state(), Speaker::State::Ready);

    // espeak-ng's Mandarin voices come without a Chinese locale; they are still found, before
    // Chinese-locale and other Chinese voices, each before its variants; others are left out.
    const QStringList names = {"English",
                               "Hakka Chinese",
                               "Chinese (Mandarin)+Annie",
                               "Cantonese zh",
                               "Chinese (Mandarin, latin as English)",
                               "Chinese (Mandarin, latin as Pinyin)"};
    const QList<QLocale> locales = {QLocale::c(), QLocale::c(),
                                    QLocale::c(), QLocale(QLocale::Chinese, QLocale::China),
                                    QLocale::c(), QLocale::c()};
    QCOMPARE(chineseVoices(names, locales), (QList<int>{4, 5, 2, 3, 1}));
}

QTEST_GUILESS_MAIN(ReadAloudTest)
#include "read_aloud_test.moc"
