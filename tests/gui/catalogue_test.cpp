// The catalogue in the main window against the demo site: the lists and their parsers, paging,
// search mode, the three search answers, the detail window, and a site that does not answer.

#include <QComboBox>
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>
#include <QTreeWidget>
#include <atomic>
#include <chrono>
#include <memory>
#include <thread>

#include "app/app_state.h"
#include "app/book_detail_window.h"
#include "app/main_window.h"
#include "app/message_box.h"
#include "catalogue/site_urls.h"
#include "demo/demo_catalogue.h"
#include "demo/demo_faults.h"
#include "demo/demo_pages.h"
#include "demo/demo_site.h"
#include "gui_test.h"
#include "support/loopback_server.h"
#include "web/http.h"

namespace novel {
namespace {

QString q(std::string_view utf8) {
    return QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size()));
}

// A GBK text of the program as a QString.
QString g(std::string_view gbk) {
    return q(toUtf8(gbk));
}

const DemoCatalogue& catalogue() {
    return DemoCatalogue::shared();
}

QString statusOf(const DemoBook& book) {
    return book.finished ? QStringLiteral("已完成") : QStringLiteral("连载中");
}

struct Message {
    QString text;
    QString caption;
    bool underBusyCursor;
};

}  // namespace

class CatalogueTest : public QObject {
    Q_OBJECT

  private:
    DemoSite demo_;
    // The site the window reads: it hands every request on to the demo site and records it, so a
    // test sees what was fetched (book pages and chapters link to the demo site directly).
    std::unique_ptr<test::LoopbackServer> site_;
    std::unique_ptr<DemoPages> pages_;  // the demo site's links, for expected values
    bool sawBusy_ = false;
    std::atomic<int> delayMs_ = 0;  // how long the site takes to answer, as a slow real one does
    QTemporaryDir folder_;
    std::unique_ptr<AppState> state_;
    std::unique_ptr<MainWindow> window_;
    QList<Message> messages_;

    std::string siteUrl() const { return site_->url(""); }

    void openWindow(const std::string& site, long pageTimeLimitSeconds = 60) {
        window_.reset();
        SiteConfig config;
        config.pageTimeLimitSeconds = pageTimeLimitSeconds;
        state_ = std::make_unique<AppState>(config, site, folder_.path(), folder_.path() + "/html");
        window_ = std::make_unique<MainWindow>(*state_);
        window_->show();
        QVERIFY(QTest::qWaitForWindowExposed(window_.get()));
        messages_.clear();
    }

    template <typename T>
    T* control(const char* name) const {
        T* found = window_->findChild<T*>(QLatin1String(name));
        if (!found) qFatal("no control %s", name);
        return found;
    }
    QTreeWidget* bookList() const { return control<QTreeWidget>("BookList"); }
    QComboBox* categoryCombo() const { return control<QComboBox>("CategoryCombo"); }
    QComboBox* searchTypeCombo() const { return control<QComboBox>("SearchTypeCombo"); }
    QLineEdit* keywordEdit() const { return control<QLineEdit>("KeywordEdit"); }
    QString pageText() const { return control<QLabel>("PageLabel")->text(); }
    QString pageCountText() const { return control<QLabel>("PageCountLabel")->text(); }
    QString statusText() const { return control<QLabel>("StatusBarPart0")->text(); }
    QString cell(int row, int column) const {
        const QTreeWidgetItem* item = bookList()->topLevelItem(row);
        return item ? item->text(column) : QString();
    }

    // Waits until the page a handler asked for has arrived and been shown; notes whether the
    // window said it was reading meanwhile.
    void waitLoaded() {
        if (window_->loading()) {
            sawBusy_ = sawBusy_ || (control<QProgressBar>("BusyIndicator")->isVisible() &&
                                    statusText() == QStringLiteral("正在读取……"));
        }
        QTRY_VERIFY_WITH_TIMEOUT(!window_->loading(), 30000);
    }
    void choose(int index) {
        categoryCombo()->setCurrentIndex(index);
        emit categoryCombo()->activated(index);
        waitLoaded();
    }
    void clickNext() {
        control<QPushButton>("NextPageButton")->click();
        waitLoaded();
    }
    void clickPrevious() {
        control<QPushButton>("PrevPageButton")->click();
        waitLoaded();
    }
    void search(int type, const QString& keyword) {
        searchTypeCombo()->setCurrentIndex(type);
        keywordEdit()->setText(keyword);
        control<QPushButton>("SearchButton")->click();
        waitLoaded();
    }
    size_t requestCount() const { return site_->requests().size(); }
    QString lastTarget() const { return q(site_->lastRequest().target); }

    // The list shows `count` books of the demo list from position `first` on, every cell as the
    // site printed it.
    void expectBooks(const DemoList& list, size_t first, int count) {
        QCOMPARE(bookList()->topLevelItemCount(), count);
        for (int r = 0; r < count; ++r) {
            const DemoBook& book = *catalogue().book(list.bookIds.at(first + r));
            QCOMPARE(cell(r, 0), QString::number(r + 1));
            QCOMPARE(cell(r, 1), q(book.title));
            QCOMPARE(cell(r, 2), q(catalogue().chapterTitle(book, book.chapterCount)));
            QCOMPARE(cell(r, 3), q(book.author));
            QCOMPARE(cell(r, 4), q(DemoPages::sizeText(book)));
            QCOMPARE(cell(r, 5), q(DemoPages::timeText(book)));
            QCOMPARE(cell(r, 6), statusOf(book));
            QCOMPARE(cell(r, 7), q(pages_->bookUrl(book)));
            QCOMPARE(cell(r, 8), q(pages_->chapterUrl(book, book.chapterCount)));
            QCOMPARE(cell(r, 9), q(pages_->tocUrl(book)));
        }
    }

    // Every size reads in full; the columns still fill the same width and the address columns
    // stay hidden.
    void expectSizesReadable() {
        const QFontMetrics metrics = bookList()->fontMetrics();
        int visibleWidth = 0;
        for (int c = 0; c < bookList()->columnCount(); ++c) {
            QCOMPARE(bookList()->isColumnHidden(c), c >= 7);
            if (c < 7) visibleWidth += bookList()->columnWidth(c);
        }
        QCOMPARE(visibleWidth, 60 + 100 + 240 + 91 + 49 + 70 + 50);
        for (int r = 0; r < bookList()->topLevelItemCount(); ++r)
            QVERIFY(metrics.horizontalAdvance(cell(r, 4)) < bookList()->columnWidth(4) - 4);
    }

    // Runs `action`, then checks the modal detail window it opens (once the book page has
    // arrived) from inside its loop, with its cover once that has come, and closes it.
    struct DetailView {
        bool shown = false, modal = false;
        QString caption, title, status, update, synopsis;
        bool hasCover = false;
        CurrentBook book;
    };
    template <typename Action>
    DetailView watchDetail(Action action) {
        DetailView view;
        QElapsedTimer seen;
        QTimer poll;
        connect(&poll, &QTimer::timeout, this, [&] {
            auto* detail = window_->findChild<BookDetailWindow*>();
            if (!detail || !detail->isVisible()) return;
            if (!seen.isValid()) seen.start();
            const bool cover = !detail->findChild<QLabel*>("CoverPicture")->pixmap().isNull();
            if (!cover && seen.elapsed() < 5000) return;
            poll.stop();
            view.shown = true;
            view.modal = detail->isModal();
            view.caption = detail->windowTitle();
            view.title = detail->findChild<QLabel*>("BookTitleLabel")->text();
            view.status = detail->findChild<QPlainTextEdit*>("BookStatusEdit")->toPlainText();
            view.update = detail->findChild<QPlainTextEdit*>("BookUpdateEdit")->toPlainText();
            view.synopsis = detail->findChild<QPlainTextEdit*>("SynopsisEdit")->toPlainText();
            view.hasCover = cover;
            view.book = detail->book();
            detail->reject();
        });
        poll.start(10);
        action();
        // The window opens inside the handler of the arrived page and is closed by the poll.
        QTest::qWaitFor([&] { return !window_->loading(); }, 30000);
        QCoreApplication::processEvents();
        return view;
    }
    DetailView doubleClickRow(int row) {
        return watchDetail([&] {
            QTreeWidgetItem* item = bookList()->topLevelItem(row);
            bookList()->scrollToItem(item);
            const QPoint at = bookList()->visualItemRect(item).center();
            // A double click is a click and then the second press.
            QTest::mouseClick(bookList()->viewport(), Qt::LeftButton, {}, at);
            QTest::mouseDClick(bookList()->viewport(), Qt::LeftButton, {}, at);
        });
    }

  private slots:
    void initTestCase() {
        QVERIFY(folder_.isValid());
        QVERIFY(demo_.start());
        pages_ = std::make_unique<DemoPages>(catalogue(), demo_.url());
        site_ = std::make_unique<test::LoopbackServer>([this](httplib::Server& server) {
            server.Get(".*", [this](const httplib::Request& req, httplib::Response& res) {
                if (const int delay = delayMs_.load())
                    std::this_thread::sleep_for(std::chrono::milliseconds(delay));
                httplib::Client client("127.0.0.1", demo_.port());
                client.set_url_encode(false);  // the target goes on exactly as it came
                const auto answer = client.Get(req.target);
                if (!answer) {
                    res.status = 502;
                    return;
                }
                res.status = answer->status;
                res.set_content(answer->body, answer->get_header_value("Content-Type"));
            });
        });
        setMessageHook([this](const QString& text, const QString& caption) {
            messages_ << Message{text, caption, QGuiApplication::overrideCursor() != nullptr};
        });
    }

    void cleanupTestCase() {
        setMessageHook({});
        window_.reset();
        state_.reset();
    }

    void init() { openWindow(siteUrl()); }

    void startsOnNoListWithNothingFetched() {
        QCOMPARE(requestCount(), size_t{0});
        QVERIFY(window_->currentListUrl().empty());
        QCOMPARE(pageText(), QStringLiteral("1"));
        QCOMPARE(pageCountText(), QStringLiteral("1"));
        QCOMPARE(categoryCombo()->currentIndex(), 0);
        QCOMPARE(searchTypeCombo()->currentIndex(), 0);
        QCOMPARE(bookList()->topLevelItemCount(), 0);
        // Choosing the prompt itself is no list either.
        choose(0);
        QCOMPARE(requestCount(), size_t{0});
        QVERIFY(window_->currentListUrl().empty());
    }

    void everyListLoadsItsFirstPageWithItsParser() {
        int lists = 0;
        for (int i = 0; i < static_cast<int>(kCatalogueList.size()); ++i) {
            const CatalogueEntry& entry = kCatalogueList[i];
            if (entry.searchMode()) continue;
            ++lists;
            const DemoList* list = catalogue().listByPrefix(entry.pathPrefix);
            QVERIFY(list);
            control<QLabel>("PageLabel")->setText(QStringLiteral("7"));  // reset by the load
            choose(i);
            const QString firstPage = q(entry.pathPrefix) + QStringLiteral("1.html");
            QCOMPARE(lastTarget(), firstPage);
            QCOMPARE(q(window_->currentListUrl()), q(siteUrl()) + firstPage);
            expectBooks(*list, 0, std::min<int>(30, static_cast<int>(list->bookIds.size())));
            QCOMPARE(pageCountText(),
                     QString::number(DemoPages::pageCount(list->bookIds.size(), 30)));
            QCOMPARE(pageText(), QStringLiteral("1"));
            QCOMPARE(statusText(), QStringLiteral("加载完毕！"));
            QCOMPARE(window_->focusWidget(), bookList());
            expectSizesReadable();
            if (QTest::currentTestFailed()) return;
        }
        QCOMPARE(lists, 21);

        QVERIFY(sawBusy_);
        QVERIFY(!QGuiApplication::overrideCursor());
        QVERIFY(messages_.isEmpty());
    }

    void pageTurnsAndTheirLimits() {
        // At start the page and the count both read 1: neither button fetches anything.
        const size_t before = requestCount();
        clickPrevious();
        clickNext();
        QCOMPARE(requestCount(), before);
        QCOMPARE(messages_.size(), 2);
        QCOMPARE(messages_[0].text, QStringLiteral("已经是第一页了！"));
        QCOMPARE(messages_[0].caption, QStringLiteral("信息："));
        QCOMPARE(messages_[1].text, QStringLiteral("已经是最后一页了！"));
        QCOMPARE(messages_[1].caption, QStringLiteral("信息："));
        QVERIFY(window_->currentListUrl().empty());
        messages_.clear();

        // A genre list, turned to its last page and back.
        choose(14);
        const DemoList& genre = *catalogue().listByPrefix(kCatalogueList[14].pathPrefix);
        const int pages = DemoPages::pageCount(genre.bookIds.size(), 30);
        QVERIFY(pages >= 2);
        for (int page = 2; page <= pages; ++page) {
            clickNext();
            QCOMPARE(lastTarget(), QStringLiteral("/dudu/list1_%1.html").arg(page));
            QCOMPARE(pageText(), QString::number(page));
            const size_t first = size_t(page - 1) * 30;
            expectBooks(genre, first, std::min<int>(30, int(genre.bookIds.size() - first)));
        }
        const size_t fetched = requestCount();
        const Text listUrl = window_->currentListUrl();
        const QString firstTitle = cell(0, 1);
        clickNext();
        QCOMPARE(messages_.size(), 1);
        QCOMPARE(messages_[0].text, QStringLiteral("已经是最后一页了！"));
        QCOMPARE(requestCount(), fetched);
        QCOMPARE(window_->currentListUrl(), listUrl);
        QCOMPARE(cell(0, 1), firstTitle);
        QCOMPARE(pageText(), QString::number(pages));
        clickPrevious();
        QCOMPARE(lastTarget(), QStringLiteral("/dudu/list1_%1.html").arg(pages - 1));
        QCOMPARE(pageText(), QString::number(pages - 1));

        // Finished novels: page 1 comes in the ranking layout, later pages in the category one;
        // each is read right whichever way it was reached.
        choose(2);
        const DemoList& finished = *catalogue().listByPrefix("/top/full_");
        QCOMPARE(lastTarget(), QStringLiteral("/top/full_1.html"));
        expectBooks(finished, 0, 30);
        clickNext();
        QCOMPARE(lastTarget(), QStringLiteral("/top/full_2.html"));
        QCOMPARE(pageText(), QStringLiteral("2"));
        expectBooks(finished, 30, std::min<int>(30, int(finished.bookIds.size() - 30)));
        clickPrevious();
        QCOMPARE(lastTarget(), QStringLiteral("/top/full_1.html"));
        QCOMPARE(pageText(), QStringLiteral("1"));
        expectBooks(finished, 0, 30);
        QCOMPARE(messages_.size(), 1);
    }

    void aSeparatorTurnsPagesIntoSearches() {
        choose(1);
        const size_t fetched = requestCount();
        const Text listUrl = window_->currentListUrl();
        const QString count = pageCountText();
        keywordEdit()->setText(QStringLiteral("孤舟听雨"));
        choose(4);
        // Nothing happens on choosing it...
        QCOMPARE(requestCount(), fetched);
        QCOMPARE(window_->currentListUrl(), listUrl);
        QCOMPARE(bookList()->topLevelItemCount(), 30);
        QCOMPARE(pageCountText(), count);
        QCOMPARE(pageText(), QStringLiteral("1"));

        // ...but the next page searches the keyword held at the moment of the click.
        keywordEdit()->setText(QStringLiteral("之"));
        clickNext();
        QCOMPARE(lastTarget(),
                 QStringLiteral("/modules/article/search.php?searchkey=%D6%AE&page=2"));
        QCOMPARE(pageText(), QStringLiteral("2"));
        QCOMPARE(pageCountText(), QStringLiteral("13"));
        QCOMPARE(categoryCombo()->currentIndex(), 4);
        QCOMPARE(bookList()->topLevelItemCount(), 20);
        for (int r = 0; r < 20; ++r) {
            QCOMPARE(cell(r, 0), QString::number(r + 1));
            QVERIFY(cell(r, 1).contains(QStringLiteral("之")));
            QVERIFY(!cell(r, 3).isEmpty());
            QVERIFY(cell(r, 8).isEmpty());
        }

        // An author search turned back a page.
        searchTypeCombo()->setCurrentIndex(1);
        keywordEdit()->setText(QStringLiteral("孤舟听雨"));
        clickPrevious();
        QCOMPARE(lastTarget(), QStringLiteral("/modules/article/search.php?searchtype=author&"
                                              "searchkey=%B9%C2%D6%DB%CC%FD%D3%EA&Submit=%CB%D1+"
                                              "%CB%F7&page=1"));
        QVERIFY(bookList()->topLevelItemCount() > 0);
        for (int r = 0; r < bookList()->topLevelItemCount(); ++r)
            QCOMPARE(cell(r, 3), QStringLiteral("孤舟听雨"));
        QCOMPARE(pageText(), QStringLiteral("1"));

        // A single book found by a page turn joins the rows already listed.
        choose(14);
        keywordEdit()->setText(QStringLiteral("星河 彼岸"));
        searchTypeCombo()->setCurrentIndex(0);
        choose(13);
        clickNext();
        QCOMPARE(bookList()->topLevelItemCount(), 31);
        QCOMPARE(cell(30, 0), QStringLiteral("31"));
        QCOMPARE(cell(30, 1), QStringLiteral("星河 彼岸"));
        QCOMPARE(pageCountText(), QStringLiteral("1"));
        QCOMPARE(pageText(), QStringLiteral("2"));
        QVERIFY(messages_.isEmpty());
    }

    // On a slow site the window goes on: two quick clicks on "下一页" land two pages on, once; the
    // last list picked is the one shown; a stopped request changes nothing.
    void quickClicksAddUpAndStopChangesNothing() {
        choose(14);
        const DemoList& genre = *catalogue().listByPrefix(kCatalogueList[14].pathPrefix);
        delayMs_ = 400;
        auto* next = control<QPushButton>("NextPageButton");
        next->click();
        QVERIFY(window_->loading());
        next->click();
        waitLoaded();
        QCOMPARE(pageText(), QStringLiteral("3"));
        QCOMPARE(q(window_->currentListUrl()), q(siteUrl()) + QStringLiteral("/dudu/list1_3.html"));
        expectBooks(genre, 60, std::min<int>(30, int(genre.bookIds.size() - 60)));
        QVERIFY(sawBusy_);

        // Another list picked while one loads: only the last one picked is shown.
        categoryCombo()->setCurrentIndex(1);
        emit categoryCombo()->activated(1);
        categoryCombo()->setCurrentIndex(5);
        emit categoryCombo()->activated(5);
        waitLoaded();
        expectBooks(*catalogue().listByPrefix(kCatalogueList[5].pathPrefix), 0, 30);
        QCOMPARE(q(window_->currentListUrl()),
                 q(siteUrl()) + QStringLiteral("/top/allvisit_1.html"));

        // Esc stops a page on its way: the list, the labels and the status stay as they were.
        const QString firstTitle = cell(0, 1), status = statusText();
        next->click();
        QVERIFY(window_->loading());
        QCOMPARE(statusText(), QStringLiteral("正在读取……"));
        QTest::keyClick(window_.get(), Qt::Key_Escape);
        QVERIFY(!window_->loading());
        QTest::qWait(800);  // the answer would have come by now
        QCOMPARE(cell(0, 1), firstTitle);
        QCOMPARE(pageText(), QStringLiteral("1"));
        QCOMPARE(statusText(), status);
        QVERIFY(!control<QProgressBar>("BusyIndicator")->isVisible());
        // The window took input all along: typing while a page loads lands in the box.
        next->click();
        QTest::keyClicks(keywordEdit(), QStringLiteral("abc"));
        QCOMPARE(keywordEdit()->text().right(3), QStringLiteral("abc"));
        waitLoaded();
        QCOMPARE(pageText(), QStringLiteral("2"));
        delayMs_ = 0;
        QVERIFY(messages_.isEmpty());
    }

    // A window closed while its request runs is never touched by the answer.
    void closingTheWindowWhileItLoads() {
        delayMs_ = 400;
        choose(1);  // waits: a full load first
        control<QPushButton>("NextPageButton")->click();
        QVERIFY(window_->loading());
        window_.reset();
        QTest::qWait(800);
        delayMs_ = 0;
        QVERIFY(messages_.isEmpty());
        openWindow(siteUrl());
    }

    void searchAnswers() {
        // A result list.
        choose(3);
        search(0, QStringLiteral("之"));
        QCOMPARE(lastTarget(),
                 QStringLiteral("/modules/article/search.php?searchkey=%D6%AE&page=1"));
        QCOMPARE(bookList()->topLevelItemCount(), 20);
        QCOMPARE(cell(0, 0), QStringLiteral("1"));
        QVERIFY(cell(0, 1).contains(QStringLiteral("之")));
        QVERIFY(!cell(19, 3).isEmpty());
        QVERIFY(cell(19, 9).endsWith(QStringLiteral("/index.html")));
        QCOMPARE(pageCountText(), QStringLiteral("13"));
        QCOMPARE(pageText(), QStringLiteral("1"));
        QCOMPARE(categoryCombo()->currentIndex(), 0);
        QCOMPARE(statusText(), QStringLiteral("加载完毕！"));

        // A single book's page: one row, titled with the book's own title.
        const DemoBook& blankTitle = *catalogue().book(demo_books::kOneChapterBlank);
        search(0, q(blankTitle.title));
        QCOMPARE(bookList()->topLevelItemCount(), 1);
        QCOMPARE(cell(0, 0), QStringLiteral("1"));
        QCOMPARE(cell(0, 1), q(blankTitle.title));
        QCOMPARE(cell(0, 3), q(blankTitle.author));
        QCOMPARE(cell(0, 6), statusOf(blankTitle));
        QCOMPARE(cell(0, 7), q(pages_->bookUrl(blankTitle)));
        QCOMPARE(cell(0, 8), QString());
        QCOMPARE(cell(0, 9), q(pages_->tocUrl(blankTitle)));
        QCOMPARE(pageCountText(), QStringLiteral("1"));
        QCOMPARE(pageText(), QStringLiteral("1"));

        // By author, a single book: the book's own title stands in the title column.
        const DemoBook& sole = *catalogue().book(demo_books::kSoleAuthorBook);
        search(1, q(sole.author));
        QVERIFY(lastTarget().contains(QStringLiteral("searchtype=author")));
        QCOMPARE(bookList()->topLevelItemCount(), 1);
        QCOMPARE(cell(0, 1), q(sole.title));
        QCOMPARE(cell(0, 3), q(sole.author));
        QCOMPARE(cell(0, 7), q(pages_->bookUrl(sole)));

        // No match: the list stays empty and the page labels as they were.
        choose(14);
        clickNext();
        const QString count = pageCountText();
        const QString status = statusText();
        search(0, QStringLiteral("不存在的书"));
        QCOMPARE(messages_.size(), 1);
        QCOMPARE(messages_[0].text, QStringLiteral("抱歉,没有找到相关内容!"));
        QCOMPARE(messages_[0].caption, QStringLiteral("提示!"));
        QVERIFY(!messages_[0].underBusyCursor);
        QCOMPARE(bookList()->topLevelItemCount(), 0);
        QCOMPARE(pageCountText(), count);
        QCOMPARE(statusText(), status);
        QCOMPARE(pageText(), QStringLiteral("1"));
        QCOMPARE(categoryCombo()->currentIndex(), 0);
        search(1, QStringLiteral("无名氏"));
        QCOMPARE(messages_.size(), 2);
        QCOMPARE(messages_[1].caption, QStringLiteral("提示!"));

        // Enter in the keyword box searches too.
        keywordEdit()->setText(QStringLiteral("之"));
        searchTypeCombo()->setCurrentIndex(0);
        QTest::keyClick(keywordEdit(), Qt::Key_Return);
        waitLoaded();
        QCOMPARE(bookList()->topLevelItemCount(), 20);
    }

    void doubleClickOpensTheBookDetails() {
        // Nothing selected, and a row without an author: refused, the book stays.
        window_->openBookDetail();
        auto* empty = new QTreeWidgetItem(bookList(), {QStringLiteral("1")});
        bookList()->setCurrentItem(empty);
        const DetailView none = doubleClickRow(0);
        QVERIFY(!none.shown);
        QCOMPARE(messages_.size(), 2);
        for (const Message& m : messages_) {
            QCOMPARE(m.text, QStringLiteral("请选中有数据的书箱!"));
            QCOMPARE(m.caption, QStringLiteral("信息："));
        }
        messages_.clear();

        choose(1);
        const DemoList& list = *catalogue().listByPrefix("/top/lastupdate_");
        const int row = 17;
        const DemoBook& book = *catalogue().book(list.bookIds.at(row));
        const DetailView view = doubleClickRow(row);
        QVERIFY(messages_.isEmpty());
        QVERIFY(view.shown);
        QVERIFY(view.modal);
        QCOMPARE(view.caption, q(book.title) + QStringLiteral("详细资料"));
        QCOMPARE(view.title, q(book.title));
        QCOMPARE(view.status, QStringLiteral("作    者：") + q(book.author) +
                                  QStringLiteral("\n\n状    态：") + statusOf(book) +
                                  QStringLiteral("\n\n授权状态：暂未授权\n"));
        QCOMPARE(view.update, QStringLiteral("类    别：") +
                                  q(DemoCatalogue::categoryName(book.category)) +
                                  QStringLiteral("\n\n最后更新：") + q(demoDate(book.updateDay)) +
                                  QStringLiteral("\n\n全文字数：") +
                                  QString::number(book.wordCount()) + QStringLiteral("字\n"));
        QString synopsis = q(catalogue().synopsis(book));
        synopsis.replace(QStringLiteral("<br />"), QStringLiteral("\n"))
            .replace(QStringLiteral("<br/>"), QStringLiteral("\n"))
            .remove(QStringLiteral("&nbsp;"));
        QVERIFY(view.synopsis.startsWith(synopsis + QStringLiteral("\n")));
        for (const char* fragment : {"www.", ".net", ".org", "&nbsp;", "<br", "demobook"})
            QVERIFY2(!view.synopsis.contains(QLatin1String(fragment), Qt::CaseInsensitive),
                     fragment);
        // The brand words and the site's sentence around them go as from a chapter.
        QVERIFY(!view.synopsis.contains(QStringLiteral("演示书城")));
        QVERIFY(!view.synopsis.contains(QStringLiteral("首发")));
        QVERIFY(view.hasCover);
        QVERIFY(!window_->findChild<BookDetailWindow*>());  // closed and gone

        const CurrentBook& current = view.book;  // the book the window shows
        QCOMPARE(g(current.title), q(book.title));
        QCOMPARE(g(current.author), q(book.author));
        QCOMPARE(g(current.status), statusOf(book));
        QCOMPARE(current.bookUrl, pages_->bookUrl(book));
        QCOMPARE(current.bookUrlStem, demo_.url() + "/book/" + std::to_string(book.id));
        QCOMPARE(current.tocUrl, pages_->tocUrl(book));
        QCOMPARE(current.txtPackageUrl, pages_->packageUrl(book));
        QCOMPARE(g(current.lastUpdate), q(demoDate(book.updateDay)));

        // Enter on a selected row opens it as a double-click does.
        bookList()->setFocus();
        bookList()->setCurrentItem(bookList()->topLevelItem(2));
        const DetailView entered =
            watchDetail([&] { QTest::keyClick(bookList(), Qt::Key_Return); });
        QVERIFY(entered.shown);
        QCOMPARE(g(entered.book.bookUrl), cell(2, 7));

        // A row from a single-book answer opens like any other.
        search(0, q(catalogue().book(demo_books::kOneChapterBlank)->title));
        const DetailView single = doubleClickRow(0);
        QVERIFY(single.shown);
        QCOMPARE(single.book.txtPackageUrl,
                 pages_->packageUrl(*catalogue().book(demo_books::kOneChapterBlank)));
        QVERIFY(messages_.isEmpty());
    }

    // Pages that arrive badly: each ends in time with the reason and the list kept; a page of
    // 100,000 rows is shown whole.
    void faultyListPages() {
        DemoSite faulty;
        faulty.addRoutes(&demoFaultRoutes);
        QVERIFY(faulty.start());
        QElapsedTimer clock;
        clock.start();
        const std::pair<const char*, const char*> cases[] = {
            {"trickle", "网页读取超时"},
            {"reset", "网页没有读完，连接中断了"},
            {"500", "网站返回错误 500"},
            {"loop", "网页跳转次数过多"},
        };
        for (const auto& [kind, reason] : cases) {
            openWindow(faulty.url() + "/fault/" + kind, 2);  // instead of 60 s
            new QTreeWidgetItem(bookList(), {QStringLiteral("1"), QStringLiteral("旧的一行")});
            choose(1);
            QCOMPARE(messages_.size(), 1);
            QCOMPARE(messages_[0].text, QStringLiteral("读取网页失败：") + q(reason));
            QCOMPARE(bookList()->topLevelItemCount(), 1);
        }
        QVERIFY(clock.elapsed() < 20000);  // the trickle was cut at 2 s

        openWindow(faulty.url() + "/fault/rows");
        choose(1);
        QVERIFY(bookList()->topLevelItemCount() >= 100000);
        QCOMPARE(cell(99999, 0), QStringLiteral("100000"));
        QCOMPARE(statusText(), QStringLiteral("加载完毕！"));
        QVERIFY(messages_.isEmpty());
    }

    void aDeadSiteLeavesEverythingAndSaysWhy() {
        const int port = test::unusedPort();
        QVERIFY(port > 0);
        const std::string dead = "http://127.0.0.1:" + std::to_string(port);
        openWindow(dead);
        QElapsedTimer clock;
        clock.start();
        const QString unreachable = QStringLiteral("读取网页失败：无法连接网站");

        new QTreeWidgetItem(bookList(),
                            {QStringLiteral("1"), QStringLiteral("孤本"), QString(),
                             QStringLiteral("佚名"), QString(), QString(), QStringLiteral("连载中"),
                             q(dead) + QStringLiteral("/book/9.html")});
        const std::string listUrl = window_->currentListUrl();
        const QString page = pageText(), pageCount = pageCountText();
        choose(1);
        search(0, QStringLiteral("之"));
        QCOMPARE(messages_.size(), 2);
        QCOMPARE(messages_[0].text, unreachable);
        QCOMPARE(messages_[1].text, unreachable);
        QCOMPARE(statusText(), unreachable);  // not the "加载完毕！" of an earlier page
        QCOMPARE(bookList()->topLevelItemCount(), 1);
        QCOMPARE(bookList()->topLevelItem(0)->text(1), QStringLiteral("孤本"));
        QCOMPARE(window_->currentListUrl(), listUrl);
        QCOMPARE(pageText(), page);
        QCOMPARE(pageCountText(), pageCount);

        // The book page cannot be read: no detail window.
        const DetailView view = doubleClickRow(0);
        QVERIFY(!view.shown);
        QCOMPARE(messages_.size(), 3);

        QVERIFY(clock.elapsed() < 10000);
        QVERIFY(!QGuiApplication::overrideCursor());
    }
};

}  // namespace novel

NOVEL_GUI_TEST_MAIN(novel::CatalogueTest)
#include "catalogue_test.moc"
