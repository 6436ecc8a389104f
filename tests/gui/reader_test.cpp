// The reader window against the demo site: opening a book, moving through it, auto-advance, the
// page's scrolling script, the arrow keys, the appearance files and the layout rules.

#include <unistd.h>

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QMoveEvent>
#include <QPushButton>
#include <QResizeEvent>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTimer>
#include <QTreeWidget>
#include <QWebEnginePage>
#include <QWebEngineView>
#include <memory>

#include "app/app_state.h"
#include "app/book_detail_window.h"
#include "app/controls.h"
#include "app/message_box.h"
#include "app/qt_text.h"
#include "app/windows.h"
#include "bookmarks/bookmark_file.h"
#include "catalogue/book_page.h"
#include "commands/desktop_open.h"
#include "demo/demo_catalogue.h"
#include "demo/demo_faults.h"
#include "demo/demo_site.h"
#include "gui_test.h"
#include "page_test.h"
#include "reader/chapter.h"
#include "reader/reader_settings.h"
#include "reader/reader_style.h"
#include "reader/reader_themes.h"
#include "reader/reader_window.h"
#include "reader/toc_parser.h"
#include "web/file_io.h"
#include "web/http.h"

namespace novel {
namespace {

int scrollTop(QWebEngineView* view) {
    return evaluate(view, QStringLiteral("document.body.scrollTop")).toInt();
}

}  // namespace

class ReaderTest : public QObject {
    Q_OBJECT

  private:
    DemoSite site_;
    std::unique_ptr<QTemporaryDir> folder_;
    std::unique_ptr<AppState> state_;
    std::unique_ptr<QWidget> main_;
    std::unique_ptr<Windows> windows_;
    CurrentBook book_;  // the book the detail window shows
    QStringList messages_;
    QStringList captions_;

    QString htmlFolder() const { return folder_->path() + QStringLiteral("/html"); }
    QString pagePath() const { return htmlFolder() + QStringLiteral("/web.html"); }

    void makeState(const QString& htmlFolder) {
        windows_.reset();
        main_.reset();
        state_ = std::make_unique<AppState>(SiteConfig{}, site_.url(), folder_->path(), htmlFolder);
        main_ = std::make_unique<QWidget>();
        windows_ = std::make_unique<Windows>(*state_, main_.get());
    }

    void setBook(int id) {
        const DemoBook* book = DemoCatalogue::shared().book(id);
        QVERIFY(book);
        CurrentBook& current = book_;
        current = {};
        current.title = toGbk(book->title);
        current.bookUrl = site_.url() + "/book/" + std::to_string(id) + ".html";
        current.bookUrlStem = bookUrlStem(current.bookUrl);
        current.tocUrl = site_.url() + "/book/" + std::to_string(id) + "/index.html";
    }

    std::vector<ChapterEntry> chaptersOf(int id) const {
        const Bytes page = fetchPlain(state_->site + "/book/" + std::to_string(id) + "/index.html");
        return parseTableOfContents(
            textOf(page), bookUrlStem(site_.url() + "/book/" + std::to_string(id) + ".html"));
    }

    // The page as it must be written for a chapter.
    Bytes expectedPage(const ChapterEntry& chapter, const ReaderTemplates& templates) const {
        const Text text =
            chapterTextFromPage(textOf(httpFetch(chapter.url)), state_->config.brandWords());
        return buildReaderPage(templates.head, templates.bodyStyle, templates.script, chapter.title,
                               text);
    }

    ReaderWindow* reader() { return windows_->reader(); }
    QTreeWidget* chapterList() { return reader()->findChild<QTreeWidget*>("ChapterList"); }
    QWebEngineView* browser() { return reader()->findChild<QWebEngineView*>("ReaderBrowser"); }
    template <typename T>
    T* control(const char* name) {
        return reader()->findChild<T*>(QLatin1String(name));
    }

    // Clicks one of the detail window's read buttons and waits for the page to be shown.
    void openThroughDetailWindow(int bookId, const char* button) {
        setBook(bookId);
        QSignalSpy loaded(browser(), &QWebEngineView::loadFinished);
        bool clicked = false;
        QTimer::singleShot(0, this, [&] {
            auto* detail = main_->findChild<BookDetailWindow*>();
            if (!detail) return;
            detail->findChild<QPushButton*>(QLatin1String(button))->click();
            clicked = !detail->isVisible();
        });
        windows_->showBookDetail(book_, main_.get());
        QVERIFY(clicked);
        QVERIFY(reader()->isVisible());
        QTRY_VERIFY_WITH_TIMEOUT(!loaded.isEmpty() && loaded.last().at(0).toBool(), kPageTimeout);
    }

    // Runs a chapter move and waits until its page has loaded.
    template <typename Move>
    void moveAndWait(Move move) {
        QSignalSpy loaded(browser(), &QWebEngineView::loadFinished);
        move();
        QTRY_VERIFY_WITH_TIMEOUT(!loaded.isEmpty() && loaded.last().at(0).toBool(), kPageTimeout);
    }

    void checkShown(int bookId, const ChapterEntry& chapter) {
        QCOMPARE(chapterList()->currentItem()->text(0), toQString(chapter.id));
        QCOMPARE(fileBytes(pagePath()), expectedPage(chapter, reader()->templates()));
        QCOMPARE(reader()->windowTitle(),
                 toQString(toGbk(DemoCatalogue::shared().book(bookId)->title) + chapter.title));
    }

  private slots:
    void initTestCase() {
        QVERIFY(site_.start());
        setMessageHook([this](const QString& text, const QString& caption) {
            messages_ << text;
            captions_ << caption;
        });
    }

    void init() {
        folder_ = std::make_unique<QTemporaryDir>();
        messages_.clear();
        captions_.clear();
        makeState(htmlFolder());
    }

    void cleanup() {
        windows_.reset();
        main_.reset();
        state_.reset();
    }

    void cleanupTestCase() { setMessageHook({}); }

    void readFromFirstAndLatestChapter() {
        const auto chapters = chaptersOf(demo_books::kFiveHundred);
        QCOMPARE(chapters.size(), size_t(500));

        openThroughDetailWindow(demo_books::kFiveHundred, "ReadFirstChapterButton");
        QTreeWidget* list = chapterList();
        QCOMPARE(list->topLevelItemCount(), 500);
        QCOMPARE(list->topLevelItem(499)->text(2), toQString(chapters[499].url));
        checkShown(demo_books::kFiveHundred, chapters[0]);
        QCOMPARE(reader()->firstChapterTitle(), chapters[0].title);
        QVERIFY(reader()->latestChapterTitle().empty());
        QCOMPARE(browser()->url(), QUrl::fromLocalFile(pagePath()));
        // The page is really shown, its GBK text read as such.
        QVERIFY(evaluate(browser(), QStringLiteral("document.body.innerText.indexOf('%1') >= 0")
                                        .arg(toQString(chapters[0].title)))
                    .toBool());

        openThroughDetailWindow(demo_books::kFiveHundred, "ReadLatestChapterButton");
        QCOMPARE(list->topLevelItemCount(), 500);  // replaced, not appended
        QCOMPARE(list->currentItem()->text(0), QStringLiteral("500"));
        checkShown(demo_books::kFiveHundred, chapters[499]);
        QCOMPARE(reader()->latestChapterTitle(), chapters[499].title);
        QCOMPARE(reader()->firstChapterTitle(), chapters[0].title);  // kept
        // The selected row is in sight.
        const QRect row = list->visualItemRect(list->currentItem());
        QVERIFY(!row.isEmpty());
        QVERIFY(list->viewport()->rect().contains(row));
        QVERIFY(messages_.isEmpty());
    }

    // A chapter or table of contents that cannot be read leaves the page, the selection and the
    // list as they were; a chapter of 10 MB is shown.
    void badPagesLeaveTheReaderAsItWas() {
        DemoSite faulty;
        faulty.addRoutes(&demoFaultRoutes);
        QVERIFY(faulty.start());
        const auto faultUrl = [&](const char* kind, QString url) {
            return url.replace(0, static_cast<qsizetype>(site_.url().size()),
                               toQString(faulty.url() + "/fault/" + kind));
        };
        openThroughDetailWindow(demo_books::kFiveHundred, "ReadFirstChapterButton");
        const Bytes firstPage = fileBytes(pagePath());
        QTreeWidget* list = chapterList();
        QTreeWidgetItem* second = list->topLevelItem(1);

        second->setText(2, faultUrl("reset", second->text(2)));
        reader()->nextChapter();
        QTRY_COMPARE_WITH_TIMEOUT(
            messages_, QStringList{QStringLiteral("读取章节失败：网页没有读完，连接中断了")},
            kPageTimeout);
        QCOMPARE(list->currentItem()->text(0), QStringLiteral("1"));
        QCOMPARE(fileBytes(pagePath()), firstPage);

        // Another book whose table of contents cannot be read: the reader keeps its own.
        const CurrentBook shown = reader()->book();
        CurrentBook broken = shown;
        broken.title = toGbk("读不出的书");
        broken.tocUrl = faulty.url() + "/fault/404/book/2/index.html";
        reader()->openBook(broken, ReadStart::FirstChapter);
        QTRY_COMPARE_WITH_TIMEOUT(messages_.last(),
                                  QStringLiteral("读取目录失败：网站返回错误 404"), kPageTimeout);
        QCOMPARE(list->topLevelItemCount(), 500);
        QVERIFY(reader()->book() == shown);

        // The page is written and handed to the view, which lays it out in its own time.
        second->setText(2, faultUrl("bigchapter", list->topLevelItem(2)->text(2)));
        reader()->nextChapter();
        QTRY_COMPARE_WITH_TIMEOUT(list->currentItem()->text(0), QStringLiteral("2"), kPageTimeout);
        QVERIFY(fileBytes(pagePath()).size() > (10u << 20));
        QCOMPARE(messages_.size(), 2);
    }

    // The reader keeps its own book: another book's details opened meanwhile change nothing, and
    // a bookmark saved then names the reader's book and its chapters.
    void theReaderKeepsItsOwnBook() {
        openThroughDetailWindow(demo_books::kFiveHundred, "ReadFirstChapterButton");
        const CurrentBook reading = reader()->book();
        const QString caption = reader()->windowTitle();
        setBook(demo_books::kOneChapterBlank);
        QTimer::singleShot(0, this, [this] {
            if (auto* detail = main_->findChild<BookDetailWindow*>()) detail->reject();
        });
        windows_->showBookDetail(book_, main_.get());
        QVERIFY(reader()->book() == reading);
        QCOMPARE(reader()->windowTitle(), caption);

        reader()->findChild<QAction*>(QStringLiteral("SaveBookmarkMenuItem"))->trigger();
        QCOMPARE(messages_, QStringList({"保存成功！"}));
        const Bookmark saved =
            parseBookmark(readTextFile(bookmarkSlotPath(htmlFolder().toStdString(), 1)));
        QCOMPARE(saved.bookTitle, reading.title);
        const auto chapters = chaptersOf(demo_books::kFiveHundred);
        QCOMPARE(saved.chapters.size(), chapters.size());
        QCOMPARE(saved.chapters[0].url, chapters[0].url);
        QCOMPARE(saved.chapterUrl, chapters[0].url);
    }

    // On a slow site: two quick presses of the next chapter land two chapters on, once; Esc stops
    // a chapter on its way and changes nothing; a reader closed while it loads is left alone.
    void slowSiteQuickMovesStopAndClose() {
        // Each chapter is read when asked for, so a move is a request on the slow site.
        ReaderSettings settings;
        settings.setValue("read_ahead", "0");
        QVERIFY(!writeReaderSettingsFile(htmlFolder().toStdString(), settings));
        const auto chapters = chaptersOf(demo_books::kFiveHundred);
        openThroughDetailWindow(demo_books::kFiveHundred, "ReadFirstChapterButton");
        DemoSite slow(DemoSite::Options{.latencyMs = 400});
        QVERIFY(slow.start());
        QTreeWidget* list = chapterList();
        for (int row = 1; row <= 4; ++row) {
            QString url = list->topLevelItem(row)->text(2);
            url.replace(0, static_cast<qsizetype>(site_.url().size()), toQString(slow.url()));
            list->topLevelItem(row)->setText(2, url);
        }
        QSignalSpy loaded(browser(), &QWebEngineView::loadFinished);
        reader()->nextChapter();
        reader()->nextChapter();
        QVERIFY(reader()->loading());
        QTRY_VERIFY_WITH_TIMEOUT(!reader()->loading(), kPageTimeout);
        QTRY_VERIFY_WITH_TIMEOUT(!loaded.isEmpty(), kPageTimeout);
        QCOMPARE(reader()->selectedRow(), 2);
        QTest::qWait(200);
        QCOMPARE(loaded.size(), 1);  // row 1 was never shown

        const Bytes page = fileBytes(pagePath());
        reader()->nextChapter();
        QVERIFY(reader()->loading());
        QCOMPARE(control<QLabel>("ReaderStatusLabel")->text(), QStringLiteral("正在读取……"));
        QTest::keyClick(reader(), Qt::Key_Escape);
        QVERIFY(!reader()->loading());
        QTest::qWait(800);
        QCOMPARE(reader()->selectedRow(), 2);
        QCOMPARE(fileBytes(pagePath()), page);
        QVERIFY(control<QLabel>("ReaderStatusLabel")->text().isEmpty());

        reader()->nextChapter();
        QVERIFY(reader()->loading());
        delete reader();
        QTest::qWait(800);
        QCOMPARE(fileBytes(pagePath()), page);
        QVERIFY(messages_.isEmpty());
    }

    void nextAndPreviousAtTheEnds() {
        const auto chapters = chaptersOf(demo_books::kFiveHundred);
        openThroughDetailWindow(demo_books::kFiveHundred, "ReadLatestChapterButton");
        auto* autoNext = control<QCheckBox>("AutoNextCheck");
        auto* timer = control<QTimer>("AutoNextTimer");
        control<QLineEdit>("AutoNextIntervalEdit")->setText(QStringLiteral("50"));

        // Two rows before the end, auto-advance shows the next row at once, then one per tick,
        // and switches itself off at the last row.
        reader()->setSelectedRow(497);
        autoNext->click();
        QVERIFY(reader()->loading());  // row 498, at once
        QVERIFY(timer->isActive());
        QCOMPARE(timer->interval(), 50);
        QTRY_VERIFY_WITH_TIMEOUT(messages_.contains(QStringLiteral("已经是最后一章了！")),
                                 kPageTimeout);
        QCOMPARE(messages_, QStringList({"已经是最后一章了！"}));
        QCOMPARE(captions_, QStringList({"信息："}));
        QCOMPARE(reader()->selectedRow(), 499);
        QVERIFY(!autoNext->isChecked());
        QVERIFY(!timer->isActive());
        QTRY_COMPARE_WITH_TIMEOUT(fileBytes(pagePath()),
                                  expectedPage(chapters[499], reader()->templates()), kPageTimeout);

        // At the first row nothing moves and the page stays as it is.
        messages_.clear();
        reader()->setSelectedRow(0);
        const Bytes before = fileBytes(pagePath());
        reader()->previousChapter();
        QCOMPARE(messages_, QStringList({"已经是第一章了！"}));
        QCOMPARE(reader()->selectedRow(), 0);
        QCOMPARE(fileBytes(pagePath()), before);

        // Right then left: row 4, then row 3 again.
        reader()->setSelectedRow(3);
        moveAndWait([&] { reader()->nextChapter(); });
        QCOMPARE(reader()->selectedRow(), 4);
        checkShown(demo_books::kFiveHundred, chapters[4]);
        moveAndWait([&] { reader()->previousChapter(); });
        QCOMPARE(reader()->selectedRow(), 3);
        checkShown(demo_books::kFiveHundred, chapters[3]);
    }

    void autoAdvanceRunsOnEachTick() {
        openThroughDetailWindow(demo_books::kFiveHundred, "ReadFirstChapterButton");
        auto* autoNext = control<QCheckBox>("AutoNextCheck");
        auto* interval = control<QLineEdit>("AutoNextIntervalEdit");
        auto* timer = control<QTimer>("AutoNextTimer");

        // No interval: the box stays ticked, the timer as it was.
        interval->clear();
        autoNext->click();
        QCOMPARE(messages_, QStringList({"您还没有输入间隔时间，1000毫秒等于一秒！"}));
        QVERIFY(autoNext->isChecked());
        QVERIFY(!timer->isActive());
        QCOMPARE(reader()->selectedRow(), 0);
        autoNext->click();  // unticked
        QVERIFY(!timer->isActive());

        interval->setText(QStringLiteral("50"));
        autoNext->click();
        // At once, not after the first tick (a chapter read ahead is there without a request).
        QVERIFY(reader()->loading() || reader()->selectedRow() == 1);
        QTRY_VERIFY_WITH_TIMEOUT(reader()->selectedRow() >= 4, kPageTimeout);
        autoNext->click();
        QVERIFY(!timer->isActive());
        QTRY_VERIFY_WITH_TIMEOUT(!reader()->loading(), kPageTimeout);  // a chapter on its way
        const int stoppedAt = reader()->selectedRow();
        QTest::qWait(300);
        QCOMPARE(reader()->selectedRow(), stoppedAt);

        // A text that is no number leaves the timer stopped, but the next chapter still comes.
        interval->setText(QStringLiteral("abc"));
        autoNext->click();
        QVERIFY(!timer->isActive());
        QTRY_COMPARE_WITH_TIMEOUT(reader()->selectedRow(), stoppedAt + 1, kPageTimeout);
        QTRY_VERIFY_WITH_TIMEOUT(!reader()->loading(), kPageTimeout);

        // Without a selected row nothing starts.
        messages_.clear();
        autoNext->setChecked(false);
        chapterList()->clearSelection();
        chapterList()->setCurrentItem(nullptr);
        interval->setText(QStringLiteral("50"));
        autoNext->click();
        QCOMPARE(messages_, QStringList({"请先获取章节并选中章节!"}));
        QVERIFY(!autoNext->isChecked());
        QVERIFY(!timer->isActive());
        reader()->nextChapter();
        reader()->previousChapter();
        QCOMPARE(messages_, QStringList({"请先获取章节并选中章节!", "请先获取章节并选中章节",
                                         "请先获取章节并选中章节"}));
    }

    void closingTheReaderStopsAutoAdvance() {
        openThroughDetailWindow(demo_books::kFiveHundred, "ReadFirstChapterButton");
        control<QLineEdit>("AutoNextIntervalEdit")->setText(QStringLiteral("60000"));
        control<QCheckBox>("AutoNextCheck")->click();
        QVERIFY(control<QTimer>("AutoNextTimer")->isActive());
        reader()->close();
        QVERIFY(!control<QTimer>("AutoNextTimer")->isActive());
        QVERIFY(!control<QCheckBox>("AutoNextCheck")->isChecked());
    }

    void placeholderRowAsksForTheChapters() {
        windows_->showReader();
        QTreeWidget* list = chapterList();
        QCOMPARE(list->topLevelItemCount(), 3);
        const QRect row = list->visualItemRect(list->topLevelItem(1));
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, row.center());
        QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, row.center());
        QCOMPARE(reader()->selectedRow(), 1);
        QCOMPARE(messages_, QStringList({"请先获取所有章节!!"}));
        QVERIFY(!QFile::exists(pagePath()));

        // A real row is read as it is selected, and the selection stays where it is.
        messages_.clear();
        setBook(demo_books::kFiveHundred);
        moveAndWait([&] { reader()->openBook(book_, ReadStart::FirstChapter); });
        QCOMPARE(list->topLevelItemCount(), 500);
        // "获取全部章节" reads the reader's table of contents again.
        list->topLevelItem(0)->setText(1, QStringLiteral("changed"));
        control<QPushButton>("GetAllChaptersButton")->click();
        QTRY_COMPARE_WITH_TIMEOUT(list->topLevelItem(0)->text(1),
                                  toQString(chaptersOf(demo_books::kFiveHundred)[0].title),
                                  kPageTimeout);
        QCOMPARE(list->topLevelItemCount(), 500);
        QCOMPARE(list->topLevelItem(0)->text(0), QStringLiteral("1"));
        reader()->setSelectedRow(7);
        const QPoint seventh = list->visualItemRect(list->topLevelItem(7)).center();
        moveAndWait([&] {
            QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, seventh);
            QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, seventh);
        });
        QCOMPARE(reader()->selectedRow(), 7);
        checkShown(demo_books::kFiveHundred, chaptersOf(demo_books::kFiveHundred)[7]);
        QVERIFY(messages_.isEmpty());
    }

    void arrowKeysTurnTheChapterOnlyInTheReaderAndNotWhileTyping() {
        openThroughDetailWindow(demo_books::kFiveHundred, "ReadFirstChapterButton");
        reader()->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(reader()));
        reader()->setSelectedRow(3);
        auto* list = chapterList();
        list->setFocus();

        // Right then left: the chapter after, then the one before.
        moveAndWait([&] { QTest::keyClick(list, Qt::Key_Right); });
        QCOMPARE(reader()->selectedRow(), 4);
        moveAndWait([&] { QTest::keyClick(list, Qt::Key_Left); });
        QCOMPARE(reader()->selectedRow(), 3);

        auto* background = control<QComboBox>("BackgroundColorCombo");
        const int backgroundItem = background->currentIndex();
        background->setFocus();
        moveAndWait([&] { QTest::keyClick(background, Qt::Key_Right); });
        QCOMPARE(reader()->selectedRow(), 4);
        QCOMPARE(background->currentIndex(), backgroundItem);

        // While the user types in a box, the arrows move the cursor there and turn nothing.
        auto* fontSize = control<QLineEdit>("FontSizeEdit");
        fontSize->setFocus();
        fontSize->setCursorPosition(1);
        QTest::keyClick(fontSize, Qt::Key_Right);
        QCOMPARE(fontSize->cursorPosition(), 2);
        QTest::keyClick(fontSize, Qt::Key_Left);
        QTest::keyClick(fontSize, Qt::Key_Left);
        QCOMPARE(fontSize->cursorPosition(), 0);
        QTest::qWait(200);
        QCOMPARE(reader()->selectedRow(), 4);

        // In another window the keys work as usual, and back in the reader they turn again.
        QLineEdit other;
        other.setText(QStringLiteral("abc"));
        other.show();
        other.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&other));
        other.setFocus();
        other.setCursorPosition(3);
        QTest::keyClick(&other, Qt::Key_Left);
        QCOMPARE(other.cursorPosition(), 2);
        QCOMPARE(reader()->selectedRow(), 4);

        reader()->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(reader()));
        list->setFocus();
        moveAndWait([&] { QTest::keyClick(list, Qt::Key_Right); });
        QCOMPARE(reader()->selectedRow(), 5);
        QVERIFY(messages_.isEmpty());
    }

    void firstStartCreatesTheConfigurationFiles() {
        QVERIFY(!QFile::exists(htmlFolder()));
        reader();
        // A first start reads in the first theme, whose colours no colour box lists.
        const ReaderTemplates first = firstStartTemplates();
        QCOMPARE(fileBytes(htmlFolder() + "/config.txt"), first.head);
        QCOMPARE(fileBytes(htmlFolder() + "/config1.txt"), first.bodyStyle);
        QCOMPARE(fileBytes(htmlFolder() + "/config2.txt"), Bytes(kPageScriptTemplate));
        QCOMPARE(reader()->templates(), first);
        QCOMPARE(control<QComboBox>("BackgroundColorCombo")->currentIndex(), -1);
        QCOMPARE(control<QComboBox>("FontCombo")->currentIndex(), 0);
        QCOMPARE(control<QComboBox>("TextColorCombo")->currentIndex(), -1);

        // A saved style is what the next start loads, and the toolbar shows it.
        ReaderTemplates saved = first;
        saved.bodyStyle = replaceText(saved.bodyStyle, "#FAF8F2", "#eefaee");
        QVERIFY(
            !writeFileAtomically((htmlFolder() + "/config1.txt").toStdString(), saved.bodyStyle));
        makeState(htmlFolder());
        QCOMPARE(reader()->templates(), saved);
        QCOMPARE(control<QComboBox>("BackgroundColorCombo")->currentText(), QStringLiteral("绿色"));
    }

    // Saved, restarted, one box changed and saved again: the other saved values stay.
    void theToolbarShowsTheSavedAppearanceAfterARestart() {
        windows_->showReader();
        control<QComboBox>("BackgroundColorCombo")->setCurrentText(QStringLiteral("绿色"));
        control<QComboBox>("FontCombo")->setCurrentText(QStringLiteral("楷体"));
        control<QComboBox>("TextColorCombo")->setCurrentText(QStringLiteral("黑色"));
        control<QLineEdit>("FontSizeEdit")->setText(QStringLiteral("22"));
        control<QLineEdit>("ScrollSpeedEdit")->setText(QStringLiteral("60"));
        control<QLineEdit>("AutoNextIntervalEdit")->setText(QStringLiteral("15000"));
        control<QPushButton>("SaveSettingsButton")->click();
        QCOMPARE(messages_, QStringList({"保存成功!"}));

        makeState(htmlFolder());
        QCOMPARE(control<QComboBox>("BackgroundColorCombo")->currentText(), QStringLiteral("绿色"));
        QCOMPARE(control<QComboBox>("FontCombo")->currentText(), QStringLiteral("楷体"));
        QCOMPARE(control<QComboBox>("TextColorCombo")->currentText(), QStringLiteral("黑色"));
        QCOMPARE(control<QLineEdit>("FontSizeEdit")->text(), QStringLiteral("22"));
        QCOMPARE(control<QLineEdit>("ScrollSpeedEdit")->text(), QStringLiteral("60"));
        QCOMPARE(control<QLineEdit>("AutoNextIntervalEdit")->text(), QStringLiteral("15000"));

        control<QLineEdit>("FontSizeEdit")->setText(QStringLiteral("26"));
        control<QPushButton>("SaveSettingsButton")->click();
        const ReaderStyle style = styleOf(reader()->templates());
        QCOMPARE(style.background, Text("#eefaee"));
        QCOMPARE(style.fontFamily, toGbk("楷体"));
        QCOMPARE(style.textColor, Text("000000"));
        QCOMPARE(style.fontSize, Text("26"));
        QCOMPARE(style.scrollInterval, Text("60"));

        // A colour no item stands for (a hand-edited file) leaves its box empty and survives a
        // save.
        ReaderTemplates edited = reader()->templates();
        edited.bodyStyle = replaceText(edited.bodyStyle, "#eefaee", "#123456");
        QVERIFY(
            !writeFileAtomically((htmlFolder() + "/config1.txt").toStdString(), edited.bodyStyle));
        makeState(htmlFolder());
        QCOMPARE(control<QComboBox>("BackgroundColorCombo")->currentIndex(), -1);
        control<QPushButton>("SaveSettingsButton")->click();
        QCOMPARE(styleOf(reader()->templates()).background, Text("#123456"));
    }

    void savingTheExampleStyle() {
        // An appearance saved by an earlier version, in the initial templates.
        const ReaderTemplates initial = ReaderTemplates::initial();
        for (const auto& [name, text] : {std::pair{"/config.txt", &initial.head},
                                         {"/config1.txt", &initial.bodyStyle},
                                         {"/config2.txt", &initial.script}})
            QVERIFY(!writeFileAtomically((htmlFolder() + name).toStdString(), *text));
        makeState(htmlFolder());
        openThroughDetailWindow(demo_books::kFiveHundred, "ReadFirstChapterButton");
        const ChapterEntry first = chaptersOf(demo_books::kFiveHundred)[0];
        control<QComboBox>("BackgroundColorCombo")->setCurrentText(QStringLiteral("浅红"));
        control<QComboBox>("FontCombo")->setCurrentText(QStringLiteral("楷体"));
        control<QComboBox>("TextColorCombo")->setCurrentText(QStringLiteral("蓝色"));
        control<QLineEdit>("FontSizeEdit")->setText(QStringLiteral("30"));
        control<QLineEdit>("ScrollSpeedEdit")->setText(QStringLiteral("40"));

        ReaderTemplates expected = ReaderTemplates::initial();
        expected.head =
            replaceText(expected.head, toGbk("font-family: 宋体;"), toGbk("font-family: 楷体;"));
        expected.head = replaceText(expected.head, "font-size:28px;", "font-size:30px;");
        expected.head = replaceText(expected.head, "color:#660000;", "color:#0000ff;");
        expected.bodyStyle = replaceText(expected.bodyStyle, "background-color:#000000;",
                                         "background-color:#CD5C5C;");
        expected.script =
            replaceText(expected.script, "timer=setInterval (\"scrollwindow ()\",80);",
                        "timer=setInterval (\"scrollwindow ()\",40);");

        QSignalSpy loaded(browser(), &QWebEngineView::loadFinished);
        control<QPushButton>("SaveSettingsButton")->click();
        QCOMPARE(messages_, QStringList({"保存成功!"}));
        QCOMPARE(captions_, QStringList({"提示:"}));
        QCOMPARE(fileBytes(htmlFolder() + "/config.txt"), expected.head);
        QCOMPARE(fileBytes(htmlFolder() + "/config1.txt"), expected.bodyStyle);
        QCOMPARE(fileBytes(htmlFolder() + "/config2.txt"), expected.script);
        QCOMPARE(reader()->templates(), expected);
        QCOMPARE(fileBytes(pagePath()), expectedPage(first, expected));

        // The browser shows the chapter again, in the new colours.
        QTRY_VERIFY_WITH_TIMEOUT(!loaded.isEmpty() && loaded.last().at(0).toBool(), kPageTimeout);
        QCOMPARE(
            evaluate(browser(), QStringLiteral("getComputedStyle(document.body).backgroundColor")),
            QVariant(QStringLiteral("rgb(205, 92, 92)")));
        QCOMPARE(evaluate(browser(), QStringLiteral("getComputedStyle(document.body).color")),
                 QVariant(QStringLiteral("rgb(0, 0, 255)")));
        QCOMPARE(evaluate(browser(), QStringLiteral("getComputedStyle(document.body).fontSize")),
                 QVariant(QStringLiteral("30px")));

        // Saving again with the same choices changes nothing.
        control<QPushButton>("SaveSettingsButton")->click();
        QCOMPARE(messages_, QStringList({"保存成功!", "保存成功!"}));
        QCOMPARE(fileBytes(htmlFolder() + "/config.txt"), expected.head);
        QCOMPARE(fileBytes(htmlFolder() + "/config1.txt"), expected.bodyStyle);
        QCOMPARE(fileBytes(htmlFolder() + "/config2.txt"), expected.script);

        // An interval of 0 and back to 80 gives the original script again.
        control<QLineEdit>("ScrollSpeedEdit")->setText(QStringLiteral("0"));
        control<QPushButton>("SaveSettingsButton")->click();
        control<QLineEdit>("ScrollSpeedEdit")->setText(QStringLiteral("80"));
        control<QPushButton>("SaveSettingsButton")->click();
        QCOMPARE(fileBytes(htmlFolder() + "/config2.txt"), Bytes(kPageScriptTemplate));

        // A value that would not be found again is refused and nothing is written.
        messages_.clear();
        control<QLineEdit>("FontSizeEdit")->setText(QStringLiteral("30px"));
        control<QPushButton>("SaveSettingsButton")->click();
        QCOMPARE(messages_.size(), 1);
        QVERIFY(messages_[0].startsWith(QStringLiteral("保存失败")));
        QCOMPARE(fileBytes(htmlFolder() + "/config.txt"), expected.head);
    }

    void savingWithoutAChapterLeavesThePageEmpty() {
        windows_->showReader();
        control<QLineEdit>("FontSizeEdit")->setText(QStringLiteral("20"));
        control<QPushButton>("SaveSettingsButton")->click();
        QCOMPARE(messages_, QStringList({"保存成功!"}));
        QVERIFY(QFile::exists(pagePath()));
        QCOMPARE(fileBytes(pagePath()), Bytes());
    }

    void failedWritesAreReported() {
        // A file where the html folder should be: nothing can be written into it.
        const QString blocked = folder_->path() + QStringLiteral("/blocked");
        QVERIFY(!writeFileAtomically(blocked.toStdString(), "x"));
        makeState(blocked);
        QCOMPARE(reader()->templates(), firstStartTemplates());  // kept in memory

        control<QPushButton>("SaveSettingsButton")->click();
        QCOMPARE(messages_.size(), 1);
        QVERIFY(messages_[0].startsWith(QStringLiteral("保存失败：无法写入配置文件")));
        QVERIFY(messages_[0].contains(QStringLiteral("config.txt")));
        QCOMPARE(captions_, QStringList({"提示:"}));

        messages_.clear();
        setBook(demo_books::kFiveHundred);
        windows_->showReader()->openBook(book_, ReadStart::FirstChapter);
        QTRY_COMPARE_WITH_TIMEOUT(messages_.size(), 1, kPageTimeout);
        QVERIFY(messages_[0].startsWith(QStringLiteral("无法写入阅读页面")));

        if (geteuid() != 0) {  // root writes into read-only folders anyway
            makeState(htmlFolder());
            reader();
            QFile::setPermissions(htmlFolder(), QFile::ReadOwner | QFile::ExeOwner);
            messages_.clear();
            control<QPushButton>("SaveSettingsButton")->click();
            QFile::setPermissions(htmlFolder(),
                                  QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
            QCOMPARE(messages_.size(), 1);
            QVERIFY(messages_[0].contains(QStringLiteral("没有写入权限")));
        }
    }

    void htmlFolderMovesToTheDataFolderWhereNothingCanBeMade() {
        QCOMPARE(htmlFolderFor(folder_->path()), htmlFolder());
        // A program folder below a regular file cannot be written, not even by root.
        const QString blocked = folder_->path() + QStringLiteral("/file.txt");
        QVERIFY(!writeFileAtomically(blocked.toStdString(), "x"));
        const QString dataHtml =
            QStandardPaths::writableLocation(QStandardPaths::AppDataLocation) + "/html";
        QCOMPARE(htmlFolderFor(blocked + "/sub"), dataHtml);
        // An html folder that is a file beside a writable program folder is no place either.
        QVERIFY(!writeFileAtomically((folder_->path() + "/other/html").toStdString(), "x"));
        QCOMPARE(htmlFolderFor(folder_->path() + "/other"), dataHtml);
    }

    void pageScriptScrollsOnTheSynthesizedDoubleClick() {
        openThroughDetailWindow(demo_books::kFiveHundred, "ReadFirstChapterButton");
        QWebEngineView* view = browser();
        QCOMPARE(scrollTop(view), 0);
        QVERIFY(evaluate(view, QStringLiteral("document.body.scrollHeight")).toInt() >
                view->height() * 2);

        auto* scroll = control<QCheckBox>("ScrollCheck");
        scroll->click();  // ticked: a double-click starts the script
        QTRY_VERIFY_WITH_TIMEOUT(scrollTop(view) > 20, kPageTimeout);

        scroll->click();  // unticked: a click stops it
        QTest::qWait(500);
        const int stopped = scrollTop(view);
        QTest::qWait(1000);
        QCOMPARE(scrollTop(view), stopped);

        // With the box ticked, a new chapter starts scrolling by itself once it has loaded.
        scroll->click();
        moveAndWait([&] { reader()->nextChapter(); });
        QTRY_VERIFY_WITH_TIMEOUT(scrollTop(view) > 20, kPageTimeout);
        scroll->click();
    }

    // The reader view shows the generated page only: a link in the chapter goes to the user's
    // browser, anything else that would move the page elsewhere is refused.
    void theReaderViewStaysOnTheGeneratedPage() {
        QList<QUrl> opened;
        setUrlOpenHook([&](const QUrl& url) { opened << url; });
        windows_->showReader();
        const Text page = buildReaderPage(
            kPageHeadTemplate, kPageBodyStyleTemplate, kPageScriptTemplate, "title",
            "<a id=\"out\" href=\"http://127.0.0.1:9/elsewhere.html\">link</a>"
            "<a id=\"blank\" target=\"_blank\" href=\"https://127.0.0.1:9/new.html\">new</a>"
            "<form id=\"form\" action=\"http://127.0.0.1:9/form\"></form>");
        QVERIFY(!writeFileAtomically(pagePath().toStdString(), page));
        moveAndWait([&] { browser()->load(QUrl::fromLocalFile(pagePath())); });
        const QUrl shown = browser()->url();

        evaluate(browser(), QStringLiteral("document.getElementById('out').click(); 1"));
        QTRY_COMPARE(opened.size(), 1);
        QCOMPARE(opened[0], QUrl(QStringLiteral("http://127.0.0.1:9/elsewhere.html")));
        evaluate(browser(), QStringLiteral("document.getElementById('blank').click(); 1"));
        QTRY_COMPARE(opened.size(), 2);
        QCOMPARE(opened[1], QUrl(QStringLiteral("https://127.0.0.1:9/new.html")));

        // A form (submitted by a script here) neither moves the page nor reaches the browser.
        evaluate(browser(), QStringLiteral("document.getElementById('form').submit(); 1"));
        QTest::qWait(300);
        QCOMPARE(browser()->url(), shown);
        QCOMPARE(opened.size(), 2);
        setUrlOpenHook({});
    }

    void layoutRules() {
        ReaderWindow* window = windows_->showReader();
        QVERIFY(QTest::qWaitForWindowExposed(window));
        auto* list = chapterList();
        auto* view = browser();
        auto* status = control<QLabel>("ReaderStatusLabel");
        auto* hide = control<QCheckBox>("HideChapterListCheck");

        // Outer 1000 x 700: the client area is 984 x 662 with the nominal frame.
        window->resize(clientSizeFor(1000, 700));
        QTRY_COMPARE(window->size(), clientSizeFor(1000, 700));
        QCOMPARE(view->geometry(), QRect(0, 23, 830, 622));
        QVERIFY(list->isVisible());
        QCOMPARE(list->geometry(), QRect(830, 23, 154, 622));
        QCOMPARE(status->y(), 645);
        QCOMPARE(status->width(), 984);

        hide->click();
        QVERIFY(!list->isVisible());
        QCOMPARE(view->geometry(), QRect(0, 23, 984, 622));
        window->resize(clientSizeFor(900, 600));
        QTRY_COMPARE(window->size(), clientSizeFor(900, 600));
        QVERIFY(!list->isVisible());
        QCOMPARE(view->geometry(), QRect(0, 23, 884, 522));
        QCOMPARE(status->y(), 545);
        hide->click();
        QVERIFY(list->isVisible());
        QCOMPARE(view->geometry(), QRect(0, 23, 730, 522));
        QCOMPARE(list->geometry(), QRect(730, 23, 154, 522));

        // Maximised, the window keeps the same proportions: the list stays unless the box hides
        // it, also after a move.
        window->showMaximized();
        QTRY_VERIFY(window->isMaximized());
        QTRY_VERIFY(list->isVisible());
        QMoveEvent moved(QPoint(0, 0), QPoint(5, 5));
        QCoreApplication::sendEvent(window, &moved);
        QVERIFY(list->isVisible());
        QVERIFY(!hide->isChecked());
        QCOMPARE(view->width(), window->width() + 16 - 170);
        QCOMPARE(view->height(), window->height() + 38 - 78);
        QCOMPARE(status->y(), window->height() + 38 - 55);
        QCOMPARE(list->geometry().right(), window->width() - 1);
        hide->click();
        QCoreApplication::sendEvent(window, &moved);
        QVERIFY(!list->isVisible());
        QCOMPARE(view->width(), window->width());
        hide->click();
        window->showNormal();
    }
};

}  // namespace novel

NOVEL_GUI_TEST_MAIN(novel::ReaderTest)
#include "reader_test.moc"
