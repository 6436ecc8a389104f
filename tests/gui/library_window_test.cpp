// The library in the windows against the demo site: chapters kept and read ahead (read again with
// the site down), the shelf through the detail window, the reader and the shelf window,
// continuing after a restart at the stored paragraph, the paragraph kept across a font change,
// the start-up update check, and a broken library file reported once.

#include <QAction>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTimer>
#include <QTreeWidget>
#include <QWebEnginePage>
#include <QWebEngineView>
#include <memory>

#include "app/app_state.h"
#include "app/book_detail_window.h"
#include "app/main_window.h"
#include "app/message_box.h"
#include "app/qt_text.h"
#include "catalogue/book_page.h"
#include "demo/demo_catalogue.h"
#include "demo/demo_site.h"
#include "gui_test.h"
#include "library/reading_tracker.h"
#include "library/shelf_entry.h"
#include "library/shelf_window.h"
#include "page_test.h"
#include "reader/chapter.h"
#include "reader/reader_settings.h"
#include "reader/toc_parser.h"
#include "web/file_io.h"
#include "web/gbk.h"
#include "web/http.h"

namespace novel {
namespace {

constexpr int kBook = demo_books::kRevisable;  // 30 chapters

// The paragraph the reader sees first, as a user would judge it: the first one not wholly above
// the top of the page.
int firstVisibleParagraph(QWebEngineView* view) {
    return evaluate(view, QStringLiteral("(function(){var n=document.querySelectorAll('p');"
                                         "for(var i=0;i<n.length;i++){if(n[i]."
                                         "getBoundingClientRect().bottom>1)return parseInt(n[i]."
                                         "id.substring(1),10);}return -1;})()"))
        .toInt();
}

}  // namespace

class LibraryWindowTest : public QObject {
    Q_OBJECT

  private:
    std::unique_ptr<DemoSite> site_;
    std::string siteUrl_;
    std::unique_ptr<QTemporaryDir> folder_;
    std::unique_ptr<AppState> state_;
    std::unique_ptr<MainWindow> main_;
    QStringList messages_;

    QString htmlFolder() const { return folder_->path() + QStringLiteral("/html"); }
    std::filesystem::path libraryFile() const {
        return std::filesystem::path(htmlFolder().toStdString()) / "library.db";
    }

    // A program run on the same folders: a new state and main window (its start-up runs).
    void restart() {
        main_.reset();
        state_.reset();
        state_ = std::make_unique<AppState>(SiteConfig{}, siteUrl_, folder_->path(), htmlFolder());
        main_ = std::make_unique<MainWindow>(*state_);
        QTest::qWait(50);  // the start-up step queued by the main window
    }

    Windows& windows() { return main_->windows(); }
    ReaderWindow* reader() { return windows().reader(); }
    QWebEngineView* browser() { return reader()->findChild<QWebEngineView*>("ReaderBrowser"); }
    QTreeWidget* chapterList() { return reader()->findChild<QTreeWidget*>("ChapterList"); }
    ReadingTracker* tracker() { return reader()->findChild<ReadingTracker*>(); }

    CurrentBook book(int id) const {
        const DemoBook* demo = DemoCatalogue::shared().book(id);
        CurrentBook current;
        current.title = toGbk(demo->title);
        current.author = toGbk(demo->author);
        current.bookUrl = siteUrl_ + "/book/" + std::to_string(id) + ".html";
        current.bookUrlStem = bookUrlStem(current.bookUrl);
        current.tocUrl = siteUrl_ + "/book/" + std::to_string(id) + "/index.html";
        return current;
    }
    std::vector<ChapterEntry> chaptersOf(int id) const {
        const CurrentBook current = book(id);
        return parseTableOfContents(textOf(fetchPlain(current.tocUrl)), current.bookUrlStem);
    }

    template <typename Move>
    void showAndWait(Move move) {
        QSignalSpy loaded(browser(), &QWebEngineView::loadFinished);
        move();
        QTRY_VERIFY_WITH_TIMEOUT(!loaded.isEmpty() && loaded.last().at(0).toBool(), kPageTimeout);
    }
    void openBook(int id) {
        windows().showReader();
        showAndWait([&] { reader()->openBook(book(id), ReadStart::FirstChapter); });
    }
    // A paragraph well down the chapter on display, scrolled to the top of the page.
    int scrollToMiddle() {
        const int paragraph = static_cast<int>(splitParagraphs(reader()->chapterText()).size()) / 2;
        evaluate(
            browser(),
            QStringLiteral("document.getElementById('p%1').scrollIntoView(true)").arg(paragraph));
        return paragraph;
    }
    QTreeWidget* shelfList(ShelfWindow* shelf) {
        return shelf->findChild<QTreeWidget*>("ShelfList");
    }

  private slots:
    void initTestCase() {
        setMessageHook([this](const QString& text, const QString&) { messages_ << text; });
    }

    void init() {
        site_ = std::make_unique<DemoSite>();
        QVERIFY(site_->start());
        siteUrl_ = site_->url();
        folder_ = std::make_unique<QTemporaryDir>();
        messages_.clear();
        restart();
    }

    void cleanup() {
        if (QTest::currentTestFailed()) qWarning("messages: %s", qPrintable(messages_.join('|')));
        main_.reset();
        state_.reset();
        site_.reset();
    }

    void cleanupTestCase() { setMessageHook({}); }

    void keptChaptersReadAheadAndReadWithTheSiteDown() {
        const std::vector<ChapterEntry> chapters = chaptersOf(kBook);
        QVERIFY(chapters.size() >= 5);
        openBook(kBook);
        Library& library = state_->library();
        QVERIFY(library.hasChapter(chapters[0].url));
        // The next two chapters arrive by themselves, and no more.
        QCOMPARE(tracker()->readAheadDepth(), 2);
        QTRY_VERIFY_WITH_TIMEOUT(library.hasChapter(chapters[1].url) &&
                                     library.hasChapter(chapters[2].url) &&
                                     tracker()->readAheadPending() == 0,
                                 kPageTimeout);
        QVERIFY(!library.hasChapter(chapters[3].url));

        site_->stop();
        for (int row : {1, 2}) {
            showAndWait([&] { reader()->nextChapter(); });
            QCOMPARE(reader()->selectedRow(), row);
            QCOMPARE(reader()->chapterText(),
                     library.lookupChapter(chapters[row].url, state_->cleaning())->text);
        }
        QVERIFY2(messages_.isEmpty(), qPrintable(messages_.join('\n')));
        // What was never kept cannot be read offline: the page and the row stay.
        reader()->nextChapter();
        QTRY_VERIFY_WITH_TIMEOUT(!reader()->loading(), kPageTimeout);
        QCOMPARE(messages_.size(), 1);
        QVERIFY(messages_[0].startsWith(QStringLiteral("读取章节失败")));
        QCOMPARE(reader()->selectedRow(), 2);
    }

    void readAheadFollowsTheSetting() {
        ReaderSettings settings;
        settings.setValue("read_ahead", "0");
        std::filesystem::create_directories(htmlFolder().toStdString());
        QVERIFY(!writeReaderSettingsFile(htmlFolder().toStdString(), settings));
        restart();
        openBook(kBook);
        QCOMPARE(tracker()->readAheadDepth(), 0);
        QCOMPARE(tracker()->readAheadPending(), 0);
        QVERIFY(!state_->library().hasChapter(chaptersOf(kBook)[1].url));
    }

    void shelfAddListRemoveThroughTheWindows() {
        // "加入书架" in the detail window.
        bool clicked = false;
        QTimer::singleShot(0, this, [&] {
            auto* detail = main_->findChild<BookDetailWindow*>();
            if (!detail) return;
            detail->findChild<QPushButton*>("AddToShelfButton")->click();
            detail->close();
            clicked = true;
        });
        windows().showBookDetail(book(kBook), main_.get());
        QVERIFY(clicked);
        QTRY_COMPARE_WITH_TIMEOUT(messages_, QStringList{QStringLiteral("已加入书架")},
                                  kPageTimeout);

        main_->findChild<QPushButton*>("ShelfButton")->click();
        ShelfWindow* shelf = main_->findChild<ShelfWindow*>();
        QVERIFY(shelf && shelf->isVisible());
        QCOMPARE(shelfList(shelf)->topLevelItemCount(), 1);
        const QTreeWidgetItem* row = shelfList(shelf)->topLevelItem(0);
        QCOMPARE(row->text(ShelfWindow::TitleColumn), toQString(book(kBook).title));
        QCOMPARE(row->text(ShelfWindow::ReadColumn), QStringLiteral("未读"));
        QCOMPARE(row->text(ShelfWindow::ProgressColumn), QStringLiteral("0%"));
        QCOMPARE(row->text(ShelfWindow::UnreadColumn), QStringLiteral("30"));
        QCOMPARE(row->text(ShelfWindow::NewsColumn), QStringLiteral("未检查"));

        // "加入书架" in the reader menu: the shelf window follows.
        openBook(demo_books::kFiveHundred);
        messages_.clear();
        reader()->findChild<QAction*>("AddToShelfMenuItem")->trigger();
        QTRY_COMPARE_WITH_TIMEOUT(messages_, QStringList{QStringLiteral("已加入书架")},
                                  kPageTimeout);
        QCOMPARE(shelfList(shelf)->topLevelItemCount(), 2);
        row = shelfList(shelf)->topLevelItem(0);
        QCOMPARE(row->text(ShelfWindow::ReadColumn),
                 toQString(chaptersOf(demo_books::kFiveHundred)[0].title));
        QCOMPARE(row->text(ShelfWindow::ProgressColumn), QStringLiteral("0%"));  // 1 of 500
        QCOMPARE(row->text(ShelfWindow::UnreadColumn), QStringLiteral("499"));

        // "移出书架" takes the selected book.
        messages_.clear();
        shelfList(shelf)->setCurrentItem(shelfList(shelf)->topLevelItem(1));
        shelf->findChild<QPushButton*>("RemoveFromShelfButton")->click();
        QCOMPARE(shelfList(shelf)->topLevelItemCount(), 1);
        QCOMPARE(state_->library().books().size(), size_t{1});
        QCOMPARE(state_->library().books()[0].bookUrl, book(demo_books::kFiveHundred).bookUrl);

        // A double-click goes on reading there.
        showAndWait([&] {
            emit shelfList(shelf)->itemDoubleClicked(shelfList(shelf)->topLevelItem(0), 0);
        });
        QCOMPARE(reader()->book().bookUrl, book(demo_books::kFiveHundred).bookUrl);
        QCOMPARE(reader()->selectedRow(), 0);

        // "清除缓存" drops every kept chapter, the shelf stays.
        QTRY_COMPARE_WITH_TIMEOUT(tracker()->readAheadPending(), 0, kPageTimeout);
        QVERIFY(state_->library().cachedChapterCount() > 0);
        messages_.clear();
        shelf->findChild<QPushButton*>("ClearCacheButton")->click();
        QCOMPARE(messages_, QStringList{QStringLiteral("缓存已清除")});
        QCOMPARE(state_->library().cachedChapterCount(), 0);
        QCOMPARE(state_->library().books().size(), size_t{1});
    }

    void continueReadingAfterARestartAtTheStoredParagraph() {
        const std::vector<ChapterEntry> chapters = chaptersOf(kBook);
        openBook(kBook);
        showAndWait([&] { reader()->nextChapter(); });
        const int paragraph = scrollToMiddle();
        QVERIFY(paragraph > 2);
        QCOMPARE(firstVisibleParagraph(browser()), paragraph);
        // Hiding the reader saves where it is; the book is not on the shelf.
        reader()->close();
        QTRY_VERIFY_WITH_TIMEOUT(
            state_->library().continueReading() &&
                state_->library().continueReading()->lastRead->anchor.index == paragraph,
            kPageTimeout);
        QVERIFY(state_->library().books().empty());

        restart();
        showAndWait([&] { main_->findChild<QPushButton*>("ReaderButton")->click(); });
        QCOMPARE(reader()->book().bookUrl, book(kBook).bookUrl);
        QCOMPARE(reader()->selectedRow(), 1);
        QCOMPARE(chapterList()->topLevelItemCount(), static_cast<int>(chapters.size()));
        QTRY_COMPARE_WITH_TIMEOUT(firstVisibleParagraph(browser()), paragraph, kPageTimeout);

        // On the shelf, the shelf window shows where reading stands and continues there.
        reader()->findChild<QAction*>("AddToShelfMenuItem")->trigger();
        QTRY_COMPARE_WITH_TIMEOUT(state_->library().books().size(), size_t{1}, kPageTimeout);
        restart();
        ShelfWindow* shelf = windows().showShelf();
        const QTreeWidgetItem* row = shelfList(shelf)->topLevelItem(0);
        QVERIFY(row);
        QCOMPARE(row->text(ShelfWindow::ReadColumn), toQString(chapters[1].title));
        QCOMPARE(row->text(ShelfWindow::ProgressColumn), QStringLiteral("6%"));  // 2 of 30
        QCOMPARE(row->text(ShelfWindow::UnreadColumn), QStringLiteral("28"));
        showAndWait([&] {
            emit shelfList(shelf)->itemDoubleClicked(shelfList(shelf)->topLevelItem(0), 1);
        });
        QCOMPARE(reader()->selectedRow(), 1);
        QTRY_COMPARE_WITH_TIMEOUT(firstVisibleParagraph(browser()), paragraph, kPageTimeout);
    }

    void theParagraphStaysAtTheTopThroughAFontChange() {
        openBook(kBook);
        const int paragraph = scrollToMiddle();
        QCOMPARE(firstVisibleParagraph(browser()), paragraph);
        const int scrolledBefore = evaluate(browser(), QStringLiteral("window.scrollY")).toInt();
        auto* fontSize = reader()->findChild<QLineEdit*>("FontSizeEdit");
        fontSize->setText(QString::number(fontSize->text().toInt() + 12));
        showAndWait([&] { reader()->findChild<QPushButton*>("SaveSettingsButton")->click(); });
        QCOMPARE(messages_, QStringList{QStringLiteral("保存成功!")});
        QTRY_COMPARE_WITH_TIMEOUT(firstVisibleParagraph(browser()), paragraph, kPageTimeout);
        // Larger letters: the same paragraph lies further down the page.
        QVERIFY(evaluate(browser(), QStringLiteral("window.scrollY")).toInt() > scrolledBefore);
        // And the position kept is that paragraph's.
        reader()->close();
        QTRY_COMPARE_WITH_TIMEOUT(state_->library().continueReading()->lastRead->anchor,
                                  anchorAt(splitParagraphs(reader()->chapterText()), paragraph),
                                  kPageTimeout);
    }

    void theStartUpCheckMarksAChangedBook() {
        std::vector<ChapterEntry> chapters = chaptersOf(kBook);
        QVERIFY(state_->library().addBook(shelfBookOf(book(kBook), chapters, {})).ok());
        QVERIFY(state_->library()
                    .addBook(shelfBookOf(book(demo_books::kOneChapterBlank),
                                         chaptersOf(demo_books::kOneChapterBlank), {}))
                    .ok());
        DemoRevision revision;
        revision.append.push_back({"新的一章", {"第一段。", "第二段。"}});
        QVERIFY(site_->reviseBook(kBook, revision));

        restart();
        auto* summary = main_->findChild<QLabel*>("ShelfNewsLabel");
        QTRY_COMPARE_WITH_TIMEOUT(summary->text(), QStringLiteral("书架：1 本书有更新"),
                                  kPageTimeout);
        QVERIFY(summary->isVisible() || !main_->isVisible());
        const std::optional<ShelfBook> changed = state_->library().book(book(kBook).bookUrl);
        QCOMPARE(changed->news.added, TextList{toGbk("新的一章")});
        QCOMPARE(changed->chapterCount, static_cast<int>(chapters.size()) + 1);

        ShelfWindow* shelf = windows().showShelf();
        QTreeWidget* list = shelfList(shelf);
        QCOMPARE(list->topLevelItemCount(), 2);
        for (int i = 0; i < 2; ++i) {
            const QTreeWidgetItem* row = list->topLevelItem(i);
            const bool isChanged =
                row->text(ShelfWindow::TitleColumn) == toQString(book(kBook).title);
            QCOMPARE(row->text(ShelfWindow::NewsColumn),
                     isChanged ? QStringLiteral("有更新：新增 1 章") : QStringLiteral("无更新"));
            QCOMPARE(row->font(ShelfWindow::TitleColumn).bold(), isChanged);
        }

        // Within the hour the next start checks nothing; the button checks again.
        restart();
        QVERIFY(!windows().bookshelf().checking());
        shelf = windows().showShelf();
        shelf->findChild<QPushButton*>("CheckUpdatesButton")->click();
        QVERIFY(windows().bookshelf().checking());
        QTRY_COMPARE_WITH_TIMEOUT(shelf->findChild<QLabel*>("ShelfStatusLabel")->text(),
                                  QStringLiteral("检查完毕：0 本书有更新"), kPageTimeout);
        QVERIFY(messages_.isEmpty());
    }

    void aBrokenLibraryFileIsReportedOnce() {
        main_.reset();
        state_.reset();
        std::filesystem::create_directories(libraryFile().parent_path());
        QVERIFY(!writeFileAtomically(libraryFile(), Bytes(4096, 'x')));
        restart();
        QTRY_COMPARE_WITH_TIMEOUT(messages_.size(), 1, kPageTimeout);
        QVERIFY(messages_[0].contains(QStringLiteral("已损坏")));
        QCOMPARE(messages_[0], QString::fromStdString(state_->library().openProblem()));
        // Another main window in the same run says nothing more; the new library works.
        {
            MainWindow second(*state_);
            QTest::qWait(50);
            QCOMPARE(messages_.size(), 1);
        }
        QVERIFY(state_->library().writable());
        openBook(kBook);
        QVERIFY(state_->library().cachedChapterCount() > 0);
        // The next run opens the fresh library without a word.
        restart();
        QCOMPARE(messages_.size(), 1);
    }
};

}  // namespace novel

NOVEL_GUI_TEST_MAIN(novel::LibraryWindowTest)
#include "library_window_test.moc"
