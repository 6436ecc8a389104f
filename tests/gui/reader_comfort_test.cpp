// Reading comfort in the reader window: themes, the text layout, paging keys and the wheel at a
// chapter's end, and immersive reading.

#include <QCheckBox>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QTreeWidget>
#include <QWebEnginePage>
#include <QWebEngineView>
#include <QWheelEvent>
#include <memory>

#include "app/app_state.h"
#include "app/message_box.h"
#include "app/qt_text.h"
#include "app/windows.h"
#include "catalogue/book_page.h"
#include "demo/demo_catalogue.h"
#include "demo/demo_site.h"
#include "gui_test.h"
#include "page_test.h"
#include "reader/chapter.h"
#include "reader/immersive_mode.h"
#include "reader/layout_dialog.h"
#include "reader/reader_keys.h"
#include "reader/reader_settings.h"
#include "reader/reader_themes.h"
#include "reader/reader_window.h"
#include "web/file_io.h"

namespace novel {
namespace {

QString computed(QWebEngineView* view, const char* selector, const char* property) {
    return evaluate(view, QStringLiteral("getComputedStyle(document.querySelector('%1')).%2")
                              .arg(QLatin1String(selector), QLatin1String(property)))
        .toString();
}

int scrollY(QWebEngineView* view) {
    return evaluate(view, QStringLiteral("window.scrollY")).toInt();
}

bool atEnd(QWebEngineView* view) {
    return evaluate(view, QStringLiteral("var s=document.scrollingElement;"
                                         "window.scrollY+window.innerHeight>=s.scrollHeight-2"))
        .toBool();
}

}  // namespace

class ReaderComfortTest : public QObject {
    Q_OBJECT

  private:
    DemoSite site_;
    std::unique_ptr<QTemporaryDir> folder_;
    std::unique_ptr<AppState> state_;
    std::unique_ptr<QWidget> main_;
    std::unique_ptr<Windows> windows_;
    QStringList messages_;

    QString htmlFolder() const { return folder_->path() + QStringLiteral("/html"); }
    std::filesystem::path htmlPath() const { return htmlFolder().toStdString(); }
    QString pagePath() const { return htmlFolder() + QStringLiteral("/web.html"); }

    void makeState() {
        windows_.reset();
        main_.reset();
        state_ =
            std::make_unique<AppState>(SiteConfig{}, site_.url(), folder_->path(), htmlFolder());
        main_ = std::make_unique<QWidget>();
        windows_ = std::make_unique<Windows>(*state_, main_.get());
    }

    ReaderWindow* reader() { return windows_->reader(); }
    QWebEngineView* browser() { return reader()->findChild<QWebEngineView*>("ReaderBrowser"); }
    template <typename T>
    T* control(const char* name) {
        return reader()->findChild<T*>(QLatin1String(name));
    }

    template <typename Action>
    void actAndWaitForPage(Action action) {
        QSignalSpy loaded(browser(), &QWebEngineView::loadFinished);
        action();
        QTRY_VERIFY_WITH_TIMEOUT(!loaded.isEmpty() && loaded.last().at(0).toBool(), kPageTimeout);
    }

    // The reader on the first chapter of the 500-chapter book, active, the page focused.
    void openBook() {
        const int id = demo_books::kFiveHundred;
        CurrentBook book;
        book.title = toGbk(DemoCatalogue::shared().book(id)->title);
        book.bookUrl = site_.url() + "/book/" + std::to_string(id) + ".html";
        book.bookUrlStem = bookUrlStem(book.bookUrl);
        book.tocUrl = site_.url() + "/book/" + std::to_string(id) + "/index.html";
        ReaderWindow* window = windows_->showReader();
        actAndWaitForPage([&] { window->openBook(book, ReadStart::FirstChapter); });
        QCOMPARE(reader()->selectedRow(), 0);
        window->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(window));
        browser()->setFocus();
        QTRY_VERIFY(browser()->focusProxy() && browser()->focusProxy()->hasFocus());
    }

    QWidget* page() { return browser()->focusProxy(); }

    void sendWheelDown() {
        const QPointF at(50, 50);
        QWheelEvent wheel(at, page()->mapToGlobal(at), QPoint(), QPoint(0, -120), Qt::NoButton,
                          Qt::NoModifier, Qt::NoScrollPhase, false);
        QCoreApplication::sendEvent(page(), &wheel);
    }

  private slots:
    void initTestCase() {
        QVERIFY(site_.start());
        setMessageHook([this](const QString& text, const QString&) { messages_ << text; });
    }

    void init() {
        folder_ = std::make_unique<QTemporaryDir>();
        messages_.clear();
        // Each chapter is read when asked for, so a move is a request these tests can watch.
        ReaderSettings settings;
        settings.setValue("read_ahead", "0");
        QVERIFY(!writeReaderSettingsFile((folder_->path() + "/html").toStdString(), settings));
        makeState();
    }

    void cleanup() {
        windows_.reset();
        main_.reset();
        state_.reset();
    }

    void cleanupTestCase() { setMessageHook({}); }

    void keysAndProgressText() {
        QCOMPARE(readerKeyOf(Qt::Key_Space, Qt::NoModifier), ReaderKey::ScreenDown);
        QCOMPARE(readerKeyOf(Qt::Key_Space, Qt::ShiftModifier), ReaderKey::ScreenUp);
        QCOMPARE(readerKeyOf(Qt::Key_PageDown, Qt::KeypadModifier), ReaderKey::ScreenDown);
        QCOMPARE(readerKeyOf(Qt::Key_PageUp, Qt::ShiftModifier), ReaderKey::None);
        QCOMPARE(readerKeyOf(Qt::Key_End, Qt::ControlModifier), ReaderKey::None);
        QCOMPARE(readerKeyOf(Qt::Key_A, Qt::NoModifier), ReaderKey::None);

        QCOMPARE(chapterPercent(0, 500, 600), 100);  // nothing to scroll
        QCOMPARE(chapterPercent(0, 2000, 500), 0);
        QCOMPARE(chapterPercent(750, 2000, 500), 50);
        QCOMPARE(chapterPercent(1600, 2000, 500), 100);  // overscrolled
        QCOMPARE(readingProgressText({QStringLiteral("第三章"), 3, 500}, 42),
                 QStringLiteral("第三章　第 3/500 章　42%"));
        QCOMPARE(readingProgressText({}, 7), QStringLiteral("7%"));
    }

    void themeColoursThePageAndIsSavedByName() {
        // A first start reads in the day theme, whose colours no colour box lists.
        ReaderWindow* window = windows_->showReader();
        QCOMPARE(window->templates(), firstStartTemplates());
        auto* theme = control<QComboBox>("ThemeCombo");
        auto* background = control<QComboBox>("BackgroundColorCombo");
        auto* textColor = control<QComboBox>("TextColorCombo");
        QCOMPARE(theme->count(), 4);
        QCOMPARE(theme->currentText(), QStringLiteral("日间"));
        QCOMPARE(background->currentIndex(), -1);
        QCOMPARE(textColor->currentIndex(), -1);
        QCOMPARE(control<QLineEdit>("FontSizeEdit")->text(), QStringLiteral("20"));

        openBook();
        QCOMPARE(computed(browser(), "body", "backgroundColor"),
                 QStringLiteral("rgb(250, 248, 242)"));

        // The next theme, chosen with the keyboard: the page shows it at once.
        theme->setFocus();
        actAndWaitForPage([&] { QTest::keyClick(theme, Qt::Key_Down); });
        QCOMPARE(theme->currentText(), QStringLiteral("夜间"));
        QCOMPARE(computed(browser(), "body", "backgroundColor"), QStringLiteral("rgb(18, 18, 18)"));
        QCOMPARE(computed(browser(), "body", "color"), QStringLiteral("rgb(189, 189, 189)"));
        QCOMPARE(computed(browser(), "p", "color"), QStringLiteral("rgb(189, 189, 189)"));
        // Nothing is stored before "保存设置".
        QCOMPARE(fileBytes(htmlFolder() + "/config1.txt"), firstStartTemplates().bodyStyle);

        control<QPushButton>("SaveSettingsButton")->click();
        QCOMPARE(messages_, QStringList({"保存成功!"}));
        QVERIFY(fileBytes(htmlFolder() + "/config1.txt").find("background-color:#121212;") !=
                Bytes::npos);
        QVERIFY(fileBytes(htmlFolder() + "/config.txt").find("color:#BDBDBD;") != Bytes::npos);
        QCOMPARE(readReaderSettingsFile(htmlPath()).theme(), std::string("夜间"));

        // After a restart the theme is shown again; a colour picked by hand is no theme's, and
        // its save forgets the name.
        makeState();
        theme = control<QComboBox>("ThemeCombo");
        QCOMPARE(theme->currentText(), QStringLiteral("夜间"));
        background = control<QComboBox>("BackgroundColorCombo");
        background->setFocus();
        QTest::keyClick(background, Qt::Key_Down);
        QCOMPARE(background->currentIndex(), 0);
        QCOMPARE(theme->currentIndex(), -1);
        control<QPushButton>("SaveSettingsButton")->click();
        QCOMPARE(styleOf(reader()->templates()).background, Text("#FFffff"));
        QCOMPARE(styleOf(reader()->templates()).textColor, Text("BDBDBD"));  // kept
        QCOMPARE(readReaderSettingsFile(htmlPath()).theme(), std::string());
    }

    // An appearance saved by an earlier version (no reader.ini, colours of no theme) loads as it
    // was: no theme is forced on it, and a save of the untouched toolbar keeps the files.
    void anOldAppearanceLoadsUnchanged() {
        const ReaderTemplates old = ReaderTemplates::initial();
        QVERIFY(!writeFileAtomically(htmlPath() / "config.txt", old.head));
        QVERIFY(!writeFileAtomically(htmlPath() / "config1.txt", old.bodyStyle));
        QVERIFY(!writeFileAtomically(htmlPath() / "config2.txt", old.script));
        ReaderWindow* window = windows_->showReader();
        QCOMPARE(window->templates(), old);
        QCOMPARE(control<QComboBox>("ThemeCombo")->currentIndex(), -1);
        QCOMPARE(control<QComboBox>("BackgroundColorCombo")->currentText(), QStringLiteral("黑色"));
        QCOMPARE(control<QLineEdit>("FontSizeEdit")->text(), QStringLiteral("28"));

        control<QPushButton>("SaveSettingsButton")->click();
        QCOMPARE(fileBytes(htmlFolder() + "/config.txt"), old.head);
        QCOMPARE(fileBytes(htmlFolder() + "/config1.txt"), old.bodyStyle);
        QCOMPARE(fileBytes(htmlFolder() + "/config2.txt"), old.script);
        QVERIFY(!readReaderSettingsFile(htmlPath()).contains("theme") ||
                readReaderSettingsFile(htmlPath()).theme().empty());
    }

    void theWindowWritesTheSavedLayout() {
        ReaderSettings settings;
        settings.setValue("auto_next_interval", "15000");
        settings.setValue("measure", "24");
        settings.setValue("line_height", "2.2");
        settings.setValue("paragraph_spacing", "1");
        QVERIFY(!writeReaderSettingsFile(htmlPath(), settings));
        openBook();
        const ReaderLayout saved{24, 2.2, 1.0};
        QCOMPARE(reader()->layout(), saved);
        QVERIFY(fileBytes(pagePath()).find(readerLayoutStyle(saved)) != Bytes::npos);
        // The first-start font size is 20 px.
        QCOMPARE(computed(browser(), "center", "maxWidth"), QStringLiteral("480px"));
        QCOMPARE(computed(browser(), "p", "lineHeight"), QStringLiteral("44px"));
        QCOMPARE(computed(browser(), "p", "textIndent"), QStringLiteral("40px"));
        QCOMPARE(computed(browser(), "p", "marginBottom"), QStringLiteral("20px"));
        QCOMPARE(computed(browser(), "p", "textAlign"), QStringLiteral("justify"));

        // The "版式" dialog shows the layout, and its choice is stored and shown at once.
        control<QPushButton>("LayoutButton")->click();
        auto* dialog = reader()->findChild<LayoutDialog*>("LayoutDialog");
        QVERIFY(dialog && dialog->isVisible());
        auto* measure = dialog->findChild<QSpinBox*>("MeasureSpin");
        QCOMPARE(measure->value(), 24);
        QCOMPARE(dialog->findChild<QDoubleSpinBox*>("LineHeightSpin")->value(), 2.2);
        measure->setValue(30);
        dialog->findChild<QDoubleSpinBox*>("LineHeightSpin")->setValue(1.5);
        actAndWaitForPage([&] { dialog->findChild<QPushButton*>("LayoutOkButton")->click(); });
        QVERIFY(!dialog->isVisible());
        QCOMPARE(computed(browser(), "center", "maxWidth"), QStringLiteral("600px"));
        QCOMPARE(computed(browser(), "p", "lineHeight"), QStringLiteral("30px"));
        const ReaderSettings stored = readReaderSettingsFile(htmlPath());
        QCOMPARE(stored.layout(), (ReaderLayout{30, 1.5, 1.0}));
        QCOMPARE(stored.autoNextInterval(), std::string("15000"));  // the rest kept

        // "保存设置" redraws the page with the layout too, and the next chapter has it.
        control<QPushButton>("SaveSettingsButton")->click();
        QVERIFY(fileBytes(pagePath()).find(readerLayoutStyle({30, 1.5, 1.0})) != Bytes::npos);
        actAndWaitForPage([&] { control<QPushButton>("NextChapterButton")->click(); });
        QCOMPARE(reader()->selectedRow(), 1);
        QVERIFY(fileBytes(pagePath()).find(readerLayoutStyle({30, 1.5, 1.0})) != Bytes::npos);
        actAndWaitForPage([&] { control<QPushButton>("PrevChapterButton")->click(); });
        QCOMPARE(reader()->selectedRow(), 0);
    }

    void spaceAndTheWheelTurnAtTheChapterEnd() {
        openBook();
        QWebEngineView* view = browser();
        QVERIFY(evaluate(view, QStringLiteral("document.scrollingElement.scrollHeight")).toInt() >
                2 * view->height());

        // Space scrolls a screen, Shift+Space back; Home and End jump.
        QTest::keyClick(page(), Qt::Key_Space);
        QTRY_VERIFY(scrollY(view) > view->height() / 2);
        QVERIFY(scrollY(view) < view->height());
        QTest::keyClick(page(), Qt::Key_Space, Qt::ShiftModifier);
        QTRY_COMPARE(scrollY(view), 0);
        QTest::keyClick(page(), Qt::Key_End);
        QTRY_VERIFY(atEnd(view));
        QTest::keyClick(page(), Qt::Key_Home);
        QTRY_COMPARE(scrollY(view), 0);
        QTest::keyClick(page(), Qt::Key_PageDown);
        QTRY_VERIFY(scrollY(view) > 0);
        QCOMPARE(reader()->selectedRow(), 0);

        // At the end Space opens the next chapter, at its top.
        QTest::keyClick(page(), Qt::Key_End);
        QTRY_VERIFY(atEnd(view));
        actAndWaitForPage([&] { QTest::keyClick(page(), Qt::Key_Space); });
        QCOMPARE(reader()->selectedRow(), 1);
        QTRY_COMPARE(scrollY(view), 0);

        // Page Up at the top goes back a chapter and lands at its end.
        actAndWaitForPage([&] { QTest::keyClick(page(), Qt::Key_PageUp); });
        QCOMPARE(reader()->selectedRow(), 0);
        QTRY_VERIFY(atEnd(view) && scrollY(view) > 0);

        // The wheel past the end: a hint first, the next chapter on the next separate turn.
        auto* status = control<QLabel>("ReaderStatusLabel");
        sendWheelDown();
        QTRY_COMPARE(status->text(), QStringLiteral("已到本章末尾，再滚动一次进入下一章"));
        QCOMPARE(reader()->selectedRow(), 0);
        QTest::qWait(600);  // a pause ends the wheel gesture
        actAndWaitForPage([&] { sendWheelDown(); });
        QCOMPARE(reader()->selectedRow(), 1);
        QVERIFY(status->text().isEmpty());
        QVERIFY(messages_.isEmpty());
    }

    void pagingKeysLeaveTextBoxesAndListsAlone() {
        openBook();
        QWebEngineView* view = browser();
        auto* fontSize = control<QLineEdit>("FontSizeEdit");
        fontSize->setFocus();
        fontSize->setCursorPosition(2);
        QTest::keyClick(fontSize, Qt::Key_Home);
        QCOMPARE(fontSize->cursorPosition(), 0);
        QTest::keyClick(fontSize, Qt::Key_End);
        QCOMPARE(fontSize->cursorPosition(), 2);
        QTest::keyClick(fontSize, Qt::Key_Space);
        QCOMPARE(fontSize->text(), QStringLiteral("20 "));
        QTest::keyClick(fontSize, Qt::Key_PageDown);

        auto* list = reader()->findChild<QTreeWidget*>("ChapterList");
        list->setFocus();
        QTest::keyClick(list, Qt::Key_End);
        QCOMPARE(list->currentItem(), list->topLevelItem(499));

        // The page never moved; a key on the page still does.
        QTest::qWait(300);
        QCOMPARE(scrollY(view), 0);
        browser()->setFocus();
        QTRY_VERIFY(page()->hasFocus());
        QTest::keyClick(page(), Qt::Key_PageDown);
        QTRY_VERIFY(scrollY(view) > 0);
        QVERIFY(messages_.isEmpty());
    }

    void immersiveReadingHidesAndRestoresTheControls() {
        openBook();
        ReaderWindow* window = reader();
        control<QCheckBox>("HideChapterListCheck")->click();  // kept hidden after leaving
        const QRect formerView = browser()->geometry();
        QList<QWidget*> shown, hidden;
        for (QWidget* child : window->findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
            if (child->isWindow()) continue;
            (child->isVisible() ? shown : hidden) << child;
        }
        QVERIFY(shown.contains(control<QWidget>("ReadingBar")));
        QVERIFY(control<QPushButton>("ImmersiveButton")->isVisible());
        QVERIFY(hidden.contains(window->findChild<QTreeWidget*>("ChapterList")));

        QTest::keyClick(page(), Qt::Key_F11);
        QTRY_VERIFY(window->isFullScreen());
        QVERIFY(window->immersive());
        for (QWidget* child : shown)
            if (child != browser()) QVERIFY2(!child->isVisible(), qPrintable(child->objectName()));
        QTRY_COMPARE(browser()->geometry(), window->rect());
        auto* line = control<QLabel>("ImmersiveProgressLabel");
        QVERIFY(line->isVisible());
        QVERIFY(line->y() + line->height() == window->height());
        const QString title =
            window->findChild<QTreeWidget*>("ChapterList")->topLevelItem(0)->text(1);
        QTRY_COMPARE(line->text(), title + QStringLiteral("　第 1/500 章　0%"));
        // Paging goes on as before, and the line follows the page.
        QTest::keyClick(page(), Qt::Key_End);
        QTRY_COMPARE(line->text(), title + QStringLiteral("　第 1/500 章　100%"));

        // Esc leaves: the controls shown before are shown again, the hidden ones stay hidden.
        QTest::keyClick(page(), Qt::Key_Escape);
        QTRY_VERIFY(!window->isFullScreen());
        QVERIFY(!window->immersive());
        for (QWidget* child : shown) QVERIFY2(child->isVisible(), qPrintable(child->objectName()));
        for (QWidget* child : hidden)
            QVERIFY2(!child->isVisible(), qPrintable(child->objectName()));
        QTRY_COMPARE(browser()->geometry(), formerView);

        // Esc outside immersive reading stops loading, as before.
        window->nextChapter();
        QVERIFY(window->loading());
        QTest::keyClick(page(), Qt::Key_Escape);
        QVERIFY(!window->loading());
        QCOMPARE(window->selectedRow(), 0);

        // The toolbar button enters, F11 leaves.
        control<QPushButton>("ImmersiveButton")->click();
        QTRY_VERIFY(window->isFullScreen());
        QTest::keyClick(page(), Qt::Key_F11);
        QTRY_VERIFY(!window->isFullScreen());
        QVERIFY(control<QComboBox>("ThemeCombo")->isVisible());
    }
};

}  // namespace novel

NOVEL_GUI_TEST_MAIN(novel::ReaderComfortTest)
#include "reader_comfort_test.moc"
