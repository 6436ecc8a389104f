// The full-text search window against the demo site: a kept chapter is found, its hit is shown
// under its book, and a double-click opens the reader at that chapter with the hit marked.

#include <QAction>
#include <QComboBox>
#include <QInputMethodEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTreeWidget>
#include <QWebEnginePage>
#include <QWebEngineView>
#include <memory>

#include "app/app_state.h"
#include "app/main_window.h"
#include "app/qt_text.h"
#include "app/windows.h"
#include "catalogue/book_page.h"
#include "demo/demo_catalogue.h"
#include "demo/demo_site.h"
#include "gui_test.h"
#include "library/fulltext.h"
#include "page_test.h"
#include "reader/toc_parser.h"
#include "web/http.h"

namespace novel {
namespace {

constexpr int kTimeout = 30000;

}  // namespace

class SearchWindowTest : public QObject {
    Q_OBJECT

  private:
    DemoSite site_;

  private slots:
    void initTestCase() { QVERIFY(site_.start()); }

    void findAndOpenAHit() {
        QTemporaryDir folder;
        AppState state(SiteConfig{}, site_.url(), folder.path(), folder.path() + "/html");
        state.libraryFile = std::filesystem::path(folder.path().toStdString()) / "library.db";
        const int id = demo_books::kFiveHundred;
        const std::string bookUrl = site_.url() + "/book/" + std::to_string(id) + ".html";
        ShelfBook book;
        book.bookUrl = bookUrl;
        book.title = toGbk(DemoCatalogue::shared().book(id)->title);
        book.tocUrl = tocUrlOf(bookUrl);
        book.toc = parseTableOfContents(textOf(fetchPlain(book.tocUrl)), bookUrlStem(bookUrl));
        QVERIFY(book.toc.size() > 10);
        QVERIFY(state.library().addBook(book).ok());
        const int row = 7;
        const Bytes page = fetchPlain(book.toc[row].url);
        QVERIFY(state.library().storeChapter(book.toc[row].url, page, state.cleaning(), 1).ok());
        // Four characters in a row from the middle of the chapter, across no punctuation.
        const std::string plain = fulltextPlainText(state.cleaning().textFromPage(page));
        std::string query;
        const std::vector<TextUnit> units = textUnits(plain);
        for (size_t i = units.size() / 2; i + 4 < units.size() && query.empty(); ++i)
            if (units[i].wide && units[i + 3].end - units[i].begin == 12)
                query = plain.substr(units[i].begin, 12);
        QVERIFY(!query.empty());

        QWidget parent;
        Windows windows(state, &parent);
        MainWindow main(state);
        windows.attach(&main);
        main.findChild<QPushButton*>("FullTextSearchButton")->click();
        auto* search = parent.findChild<SearchWindow*>("SearchWindow");
        QVERIFY(search && search->isVisible());
        QCOMPARE(search->findChild<QComboBox*>("ScopeCombo")->currentText(),
                 QStringLiteral("全部缓存"));
        auto* edit = search->findChild<QLineEdit*>("QueryEdit");
        edit->setFocus();
        // Chinese text arrives as an input method's commit, as from a real input method.
        QInputMethodEvent typed;
        typed.setCommitString(QString::fromStdString(query));
        QApplication::sendEvent(edit, &typed);
        QCOMPARE(edit->text(), QString::fromStdString(query));
        QTest::keyClick(edit, Qt::Key_Return);

        auto* tree = search->findChild<QTreeWidget*>("HitTree");
        QTRY_COMPARE_WITH_TIMEOUT(tree->topLevelItemCount(), 1, kTimeout);
        QTreeWidgetItem* bookItem = tree->topLevelItem(0);
        QCOMPARE(bookItem->text(0), toQString(book.title));
        QCOMPARE(bookItem->childCount(), 1);
        QTreeWidgetItem* hit = bookItem->child(0);
        QCOMPARE(hit->text(0), toQString(book.toc[row].title));
        auto* snippet = qobject_cast<QLabel*>(tree->itemWidget(hit, 1));
        QVERIFY(snippet);
        QVERIFY(snippet->text().contains(
            QStringLiteral("\">%1</span>").arg(QString::fromStdString(query))));

        tree->scrollToItem(hit);
        const QPoint at = tree->visualItemRect(hit).center();
        QTest::mouseClick(tree->viewport(), Qt::LeftButton, {}, at);
        QTest::mouseDClick(tree->viewport(), Qt::LeftButton, {}, at);
        ReaderWindow* reader = windows.existingReader();
        QVERIFY(reader);
        QTRY_COMPARE_WITH_TIMEOUT(reader->selectedRow(), row, kTimeout);
        QCOMPARE(reader->book().bookUrl, bookUrl);
        auto* browser = reader->findChild<QWebEngineView*>("ReaderBrowser");
        const QString marked = QStringLiteral(
            "Array.from(document.querySelectorAll('mark.fulltext-hit'))"
            ".map(function (m) { return m.textContent; }).join('')");
        QTRY_COMPARE_WITH_TIMEOUT(evaluate(browser, marked).toString(),
                                  QString::fromStdString(query), kTimeout);
        // In view: the mark lies inside the visible part of the page.
        QVERIFY(evaluate(browser, QStringLiteral(
                                      "(function () { var r = document.querySelector("
                                      "'mark.fulltext-hit').getBoundingClientRect();"
                                      " return r.top >= 0 && r.bottom <= window.innerHeight; })()"))
                    .toBool());

        // The reader's menu item opens the same window with the scope of the reader's book.
        reader->findChild<QAction*>("FullTextSearchMenuItem")->trigger();
        QCOMPARE(search->findChild<QComboBox*>("ScopeCombo")->currentText(),
                 QStringLiteral("本书"));
    }
};

}  // namespace novel

NOVEL_GUI_TEST_MAIN(novel::SearchWindowTest)
#include "search_window_test.moc"
