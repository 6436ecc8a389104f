// Reading aloud in the reader window against the demo site, with a fake speaker: the page follows
// the speech into the next chapter, the sentence said is marked on the page, the sleep timer, the
// buttons, the reading position, the speech settings and a system without a voice.

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QSlider>
#include <QTemporaryDir>
#include <QTimer>
#include <QTreeWidget>
#include <QWebEnginePage>
#include <QWebEngineView>
#include <memory>

#include "app/app_state.h"
#include "app/message_box.h"
#include "app/qt_text.h"
#include "app/windows.h"
#include "catalogue/book_page.h"
#include "demo/demo_catalogue.h"
#include "demo/demo_site.h"
#include "gui_test.h"
#include "library/library.h"
#include "page_test.h"
#include "reader/read_aloud_panel.h"
#include "reader/reader_settings.h"
#include "reader/reader_window.h"
#include "speech/qt_speaker.h"
#include "support/fake_speaker.h"
#include "web/file_io.h"

namespace novel {
namespace {

// The text the page marks as being said, blanks collapsed as the speech side collapses them.
QString markedText(QWebEngineView* view) {
    return evaluate(view, QStringLiteral("Array.from(document.querySelectorAll('span.%1'))"
                                         ".map(s => s.textContent).join('')")
                              .arg(QLatin1String(kSpeakingClass)))
        .toString()
        .simplified();
}

}  // namespace

class ReadAloudTest : public QObject {
    Q_OBJECT

  private:
    DemoSite site_;
    std::unique_ptr<QTemporaryDir> folder_;
    std::unique_ptr<AppState> state_;
    std::unique_ptr<QWidget> main_;
    std::unique_ptr<Windows> windows_;
    FakeSpeaker* speaker_ = nullptr;
    bool withSpeaker_ = true;
    QStringList messages_;

    void makeState() {
        windows_.reset();
        main_.reset();
        speaker_ = nullptr;
        state_ = std::make_unique<AppState>(SiteConfig{}, site_.url(), folder_->path(),
                                            folder_->path() + QStringLiteral("/html"));
        if (withSpeaker_) {
            state_->speakerFactory = [this](QObject* parent) {
                speaker_ = new FakeSpeaker(parent);
                speaker_->setVoices({QStringLiteral("Chinese (Mandarin)"),
                                     QStringLiteral("Chinese (Mandarin)+f2")});
                return speaker_;
            };
        }
        main_ = std::make_unique<QWidget>();
        windows_ = std::make_unique<Windows>(*state_, main_.get());
    }

    ReaderWindow* reader() { return windows_->reader(); }
    QWebEngineView* browser() { return reader()->findChild<QWebEngineView*>("ReaderBrowser"); }
    ReadAloud& controller() { return reader()->readAloudPanel()->controller(); }
    template <typename T>
    T* control(const char* name) {
        T* found = reader()->findChild<T*>(QLatin1String(name));
        if (!found) qFatal("no control %s", name);
        return found;
    }

    // Opens a demo book on its first chapter and waits until the page is shown.
    void openBook(int id) {
        const DemoBook* demo = DemoCatalogue::shared().book(id);
        QVERIFY(demo);
        CurrentBook book;
        book.title = toGbk(demo->title);
        book.bookUrl = site_.url() + "/book/" + std::to_string(id) + ".html";
        book.bookUrlStem = bookUrlStem(book.bookUrl);
        book.tocUrl = site_.url() + "/book/" + std::to_string(id) + "/index.html";
        QSignalSpy loaded(browser(), &QWebEngineView::loadFinished);
        reader()->show();
        reader()->openBook(book, ReadStart::FirstChapter);
        QTRY_VERIFY_WITH_TIMEOUT(!loaded.isEmpty() && loaded.last().at(0).toBool(), kPageTimeout);
        QCOMPARE(reader()->shownRow(), 0);
    }

    bool pageShowsTitleOf(int row) {
        return evaluate(browser(), QStringLiteral("document.body.innerText.indexOf('%1') >= 0")
                                       .arg(toQString(reader()->chapterAt(row).title)))
            .toBool();
    }

    void chooseSleep(ReadAloud::SleepChoice choice) {
        auto* combo = control<QComboBox>("SleepTimerCombo");
        const int index = combo->findData(QVariant::fromValue(choice));
        QVERIFY(index >= 0);
        combo->setCurrentIndex(index);
        emit combo->activated(index);
    }

  private slots:
    void initTestCase() {
        QVERIFY(site_.start());
        setMessageHook([this](const QString& text, const QString&) { messages_ << text; });
    }

    void init() {
        folder_ = std::make_unique<QTemporaryDir>();
        messages_.clear();
        withSpeaker_ = true;
        makeState();
    }

    void cleanup() {
        windows_.reset();
        main_.reset();
        state_.reset();
    }

    void cleanupTestCase() { setMessageHook({}); }

    // Each sentence is marked on the page as it is said, and the reading position follows it.
    void markAndPositionFollowTheSentence() {
        openBook(demo_books::kRevisable);
        QSignalSpy sentences(&controller(), &ReadAloud::sentenceStarted);
        QSignalSpy positions(reader(), &ReaderWindow::readingPositionChanged);
        control<QPushButton>("ReadAloudButton")->click();
        for (int i = 0; i < 12; ++i) {
            QTRY_COMPARE_WITH_TIMEOUT(sentences.size(), i + 1, kPageTimeout);
            const int paragraph = sentences.last().at(1).toInt();
            QCOMPARE(sentences.last().at(0).toInt(), 0);
            if (paragraph == ReadAloud::kTitleParagraph) {
                QCOMPARE(i, 0);  // the page at its top: the title comes first
                QTRY_COMPARE_WITH_TIMEOUT(markedText(browser()), QString(), kPageTimeout);
            } else {
                QTRY_COMPARE_WITH_TIMEOUT(markedText(browser()), speaker_->said.last(),
                                          kPageTimeout);
            }
            QCOMPARE(positions.last().at(0).toInt(), 0);
            QCOMPARE(positions.last().at(1).toInt(), std::max(paragraph, 0));
            speaker_->finish();
        }
        // Only one sentence at a time is marked, and each paragraph is reported once.
        QCOMPARE(evaluate(browser(), QStringLiteral("document.querySelectorAll('p span.%1').length"
                                                    " > 0 && new Set(Array.from(document."
                                                    "querySelectorAll('span.%1')).map(s => "
                                                    "s.closest('p').id)).size")
                                         .arg(QLatin1String(kSpeakingClass)))
                     .toInt(),
                 1);
        for (qsizetype i = 1; i < positions.size(); ++i)
            QVERIFY(positions[i].at(1).toInt() > positions[i - 1].at(1).toInt());
        QVERIFY(positions.last().at(1).toInt() > 0);
        // The library keeps the paragraph being read as the reading position.
        const auto kept = [this] {
            const std::optional<ShelfBook> last = state_->library().continueReading();
            return last && last->lastRead ? last->lastRead->anchor.index : -1;
        };
        QTRY_COMPARE(kept(), positions.last().at(1).toInt());
    }

    // Reading starts from the paragraph at the top of the page when the page has been scrolled.
    void startsAtTheParagraphInSight() {
        openBook(demo_books::kRevisable);
        QVERIFY(evaluate(browser(), QStringLiteral("document.getElementById('p6').scrollIntoView();"
                                                   "document.getElementById('p6') != null"))
                    .toBool());
        QSignalSpy sentences(&controller(), &ReadAloud::sentenceStarted);
        control<QPushButton>("ReadAloudButton")->click();
        QTRY_VERIFY_WITH_TIMEOUT(!sentences.isEmpty(), kPageTimeout);
        QCOMPARE(sentences.first().at(1).toInt(), 6);
        QCOMPARE(sentences.first().at(2).toInt(), 0);
    }

    // At a chapter's end the speech goes on with the next one: the page shows it, its row is
    // selected and its sentences are marked there.
    void goesOnIntoTheNextChapter() {
        openBook(demo_books::kRevisable);
        QSignalSpy started(&controller(), &ReadAloud::chapterStarted);
        connect(&controller(), &ReadAloud::chapterStarted, speaker_, [this](int chapter) {
            if (chapter == 1) speaker_->setAutoFinish(0);
        });
        speaker_->setAutoFinish(1);
        control<QPushButton>("ReadAloudButton")->click();
        QTRY_VERIFY_WITH_TIMEOUT(started.size() >= 2, kPageTimeout);
        QCOMPARE(started.at(1).at(0).toInt(), 1);
        QTRY_COMPARE_WITH_TIMEOUT(reader()->shownRow(), 1, kPageTimeout);
        QTRY_COMPARE_WITH_TIMEOUT(reader()->selectedRow(), 1, kPageTimeout);
        QTRY_VERIFY_WITH_TIMEOUT(pageShowsTitleOf(1), kPageTimeout);
        // The title of the new chapter is said first, then its text, marked on its page.
        QCOMPARE(speaker_->said.last(), toQString(reader()->chapterAt(1).title).simplified());
        speaker_->finish();
        QTRY_VERIFY_WITH_TIMEOUT(controller().currentSentence().paragraph == 0, kPageTimeout);
        QTRY_COMPARE_WITH_TIMEOUT(markedText(browser()), speaker_->said.last(), kPageTimeout);
        QCOMPARE(controller().state(), ReadAloud::State::Speaking);
    }

    // "本章读完" stops at the end of the chapter being read; the page stays on it.
    void sleepTimerStopsAtTheChapterEnd() {
        openBook(demo_books::kRevisable);
        QSignalSpy stopped(&controller(), &ReadAloud::stopped);
        chooseSleep(ReadAloud::SleepChoice::ChapterEnd);
        speaker_->setAutoFinish(1);
        control<QPushButton>("ReadAloudButton")->click();
        // A running event loop, not a polling wait: a polling wait sleeps between sentences.
        QVERIFY(stopped.wait(kPageTimeout));
        QCOMPARE(stopped.first().at(0).value<ReadAloud::StopReason>(),
                 ReadAloud::StopReason::SleepTimer);
        QCOMPARE(controller().chapter(), 0);
        QVERIFY(!speaker_->said.contains(toQString(reader()->chapterAt(1).title).simplified()));
        QCOMPARE(reader()->shownRow(), 0);
        QCOMPARE(reader()->selectedRow(), 0);
        QVERIFY(messages_.isEmpty());
        // The choice is used up, the buttons are back and the mark is gone.
        QCOMPARE(
            control<QComboBox>("SleepTimerCombo")->currentData().value<ReadAloud::SleepChoice>(),
            ReadAloud::SleepChoice::Off);
        QVERIFY(control<QPushButton>("ReadAloudButton")->isEnabled());
        QVERIFY(!control<QPushButton>("StopReadingButton")->isEnabled());
        QTRY_COMPARE_WITH_TIMEOUT(markedText(browser()), QString(), kPageTimeout);
    }

    // Pause and stop: the buttons follow the state; auto-advance waits while speech runs.
    void pauseAndStop() {
        openBook(demo_books::kRevisable);
        auto* read = control<QPushButton>("ReadAloudButton");
        auto* pause = control<QPushButton>("PauseReadingButton");
        auto* stop = control<QPushButton>("StopReadingButton");
        QVERIFY(read->isEnabled());
        QVERIFY(!pause->isEnabled());
        QVERIFY(!stop->isEnabled());

        // Auto-advance ticked with a long interval: it moves one chapter now, then its timer runs.
        control<QLineEdit>("AutoNextIntervalEdit")->setText(QStringLiteral("600000"));
        QSignalSpy loaded(browser(), &QWebEngineView::loadFinished);
        control<QCheckBox>("AutoNextCheck")->click();
        QTRY_COMPARE_WITH_TIMEOUT(reader()->shownRow(), 1, kPageTimeout);
        QTRY_VERIFY_WITH_TIMEOUT(!loaded.isEmpty(), kPageTimeout);
        auto* autoNext = control<QTimer>("AutoNextTimer");
        QVERIFY(autoNext->isActive());

        read->click();
        QTRY_COMPARE_WITH_TIMEOUT(speaker_->state(), Speaker::State::Speaking, kPageTimeout);
        QCOMPARE(controller().chapter(), 1);
        QVERIFY(!read->isEnabled());
        QVERIFY(pause->isEnabled());
        QVERIFY(stop->isEnabled());
        QCOMPARE(pause->text(), QStringLiteral("暂停"));
        QVERIFY(!autoNext->isActive());

        pause->click();
        QCOMPARE(pause->text(), QStringLiteral("继续"));
        QCOMPARE(speaker_->state(), Speaker::State::Paused);
        QCOMPARE(controller().state(), ReadAloud::State::Paused);
        const qsizetype said = speaker_->said.size();
        pause->click();
        QCOMPARE(pause->text(), QStringLiteral("暂停"));
        QCOMPARE(speaker_->state(), Speaker::State::Speaking);
        speaker_->finish();
        QCOMPARE(speaker_->said.size(), said + 1);  // went on with the next sentence

        stop->click();
        QCOMPARE(controller().state(), ReadAloud::State::Stopped);
        QCOMPARE(speaker_->state(), Speaker::State::Ready);
        QVERIFY(read->isEnabled());
        QVERIFY(!pause->isEnabled());
        QVERIFY(!stop->isEnabled());
        QCOMPARE(pause->text(), QStringLiteral("暂停"));
        QVERIFY(autoNext->isActive());
        QVERIFY(messages_.isEmpty());  // a stop by the user needs no message
        QTRY_COMPARE_WITH_TIMEOUT(markedText(browser()), QString(), kPageTimeout);

        // Closing the reader ends the reading too.
        read->click();
        QTRY_COMPARE_WITH_TIMEOUT(speaker_->state(), Speaker::State::Speaking, kPageTimeout);
        reader()->close();
        QCOMPARE(controller().state(), ReadAloud::State::Stopped);
        QCOMPARE(speaker_->state(), Speaker::State::Ready);
    }

    // The rate and voice are saved with the appearance into reader.ini and read back.
    void speechSettingsAreSaved() {
        openBook(demo_books::kRevisable);
        control<QSlider>("RateSlider")->setValue(5);
        QCOMPARE(speaker_->rate_, 0.5);
        auto* voices = control<QComboBox>("VoiceCombo");
        QCOMPARE(voices->count(), 2);
        voices->setCurrentIndex(1);
        emit voices->activated(1);
        QCOMPARE(speaker_->voice(), QStringLiteral("Chinese (Mandarin)+f2"));
        control<QPushButton>("SaveSettingsButton")->click();
        QCOMPARE(messages_.value(0), QStringLiteral("保存成功!"));

        const ReaderSettings saved =
            readReaderSettingsFile(std::filesystem::path(state_->htmlFolder.toStdString()));
        QCOMPARE(saved.speechRate(), 0.5);
        QCOMPARE(saved.speechVoice(), std::string("Chinese (Mandarin)+f2"));

        makeState();
        reader();
        QCOMPARE(control<QSlider>("RateSlider")->value(), 5);
        QCOMPARE(speaker_->rate_, 0.5);
        QCOMPARE(speaker_->voice(), QStringLiteral("Chinese (Mandarin)+f2"));
        QCOMPARE(control<QComboBox>("VoiceCombo")->currentText(),
                 QStringLiteral("Chinese (Mandarin)+f2"));
    }

    // Without a voice the read button says how to install one, and a click tells it again.
    void noVoiceSaysHowToInstallOne() {
        openBook(demo_books::kRevisable);
        speaker_->setVoices({});
        auto* read = control<QPushButton>("ReadAloudButton");
        QCOMPARE(read->toolTip(), noVoiceReason());
        QVERIFY(read->toolTip().contains(QStringLiteral("apt-get install")));
        read->click();
        QCOMPARE(messages_, QStringList{noVoiceReason()});
        QCOMPARE(controller().state(), ReadAloud::State::Stopped);
        QVERIFY(speaker_->said.isEmpty());
        QVERIFY(!control<QComboBox>("VoiceCombo")->isEnabled());

        // No engine at all (the factory gives none).
        withSpeaker_ = false;
        makeState();
        QCOMPARE(control<QPushButton>("ReadAloudButton")->toolTip(), noEngineReason());
    }
};

}  // namespace novel

NOVEL_GUI_TEST_MAIN(novel::ReadAloudTest)
#include "read_aloud_test.moc"
