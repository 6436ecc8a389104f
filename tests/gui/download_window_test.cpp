// The whole-book download through its window: progress, the cleaned book, and every way a
// transfer can fail without losing the copy of the book that was already there.

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QLabel>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>
#include <atomic>
#include <chrono>
#include <filesystem>
#include <memory>
#include <thread>

#include "app/app_state.h"
#include "app/main_window.h"
#include "app/message_box.h"
#include "app/program.h"
#include "app/windows.h"
#include "demo/demo_site.h"
#include "download/download_window.h"
#include "gui_test.h"
#include "support/download_faults.h"
#include "support/loopback_server.h"
#include "support/test_book_site.h"
#include "web/file_io.h"

namespace novel {
namespace {
namespace fs = std::filesystem;
using namespace std::chrono_literals;

using Gate = std::shared_ptr<std::atomic<bool>>;

// Holds a response until the test opens the gate (or a long time has passed).
bool waitAtGate(const Gate& gate) {
    for (int i = 0; i < 3000 && !gate->load(); ++i) std::this_thread::sleep_for(10ms);
    return gate->load();
}

// /sized.txt: 1,536,000 bytes announced, the first half sent at once, the rest once the gate opens.
// /unsized.txt: no size announced, 100,000 bytes, then the rest after the gate.
// /slow.txt: trickles far longer than any test waits.
void serveGated(httplib::Server& s, const Gate& gate) {
    s.Get("/sized.txt", [gate](const httplib::Request&, httplib::Response& res) {
        res.set_content_provider(1536000, "text/plain",
                                 [gate](size_t offset, size_t length, httplib::DataSink& sink) {
                                     if (offset >= 768000 && !waitAtGate(gate)) return false;
                                     size_t n = std::min<size_t>(length, 16000);
                                     if (offset < 768000) n = std::min(n, 768000 - offset);
                                     const std::string part(n, 'a');
                                     return sink.write(part.data(), part.size());
                                 });
    });
    s.Get("/unsized.txt", [gate](const httplib::Request&, httplib::Response& res) {
        res.set_chunked_content_provider(
            "text/plain", [gate](size_t offset, httplib::DataSink& sink) {
                if (offset >= 100000) {
                    if (waitAtGate(gate)) sink.done();
                    return gate->load();
                }
                const std::string part(std::min<size_t>(4000, 100000 - offset), 'b');
                return sink.write(part.data(), part.size());
            });
    });
    test::serveSlowDownload(s);
}

// The crafted book: address fragments in every letter case, and bytes that only look like a
// fragment because a two-byte character's trail byte is a letter.
const Bytes kTrapBytes =
    "\xB0Www.\xB0"
    "demobook";
Bytes craftedBook() {
    return toGbk("前言WWW.DemoBook.COM后记\r\n演示书城出品 ww.Com.cn www.DEMOBOOK.com\r\n") +
           kTrapBytes + toGbk("\r\n第一卷 完\r\n");
}
Bytes cleanedCraftedBook() {
    return toGbk("前言后记\r\n出品 ww.cn \r\n") + kTrapBytes + toGbk("\r\n第一卷 完\r\n");
}

void serveFaults(httplib::Server& s) {
    s.Get("/book.txt", [](const httplib::Request&, httplib::Response& res) {
        res.set_content(craftedBook(), "text/plain");
    });
    test::serveDownloadFaults(s);
}

struct Message {
    QString text;
    QString caption;
};

std::vector<fs::path> filesUnder(const fs::path& folder) {
    std::vector<fs::path> files;
    std::error_code ec;
    for (auto it = fs::recursive_directory_iterator(folder, ec);
         it != fs::recursive_directory_iterator(); ++it)
        if (it->is_regular_file()) files.push_back(fs::relative(it->path(), folder));
    std::sort(files.begin(), files.end());
    return files;
}

CurrentBook bookOf(const Text& title, const Text& txtPackageUrl) {
    CurrentBook book;
    book.title = title;
    book.txtPackageUrl = txtPackageUrl;
    return book;
}

// The test site's book as the reader holds it: with its table of contents.
CurrentBook siteBook(const test::LoopbackServer& server) {
    CurrentBook book;
    book.title = toGbk("测试之书");
    book.bookUrl = server.url("/book/7.html");
    book.bookUrlStem = bookUrlStem(book.bookUrl);
    book.tocUrl = tocUrlOf(book.bookUrl);
    book.txtPackageUrl = server.url("/modules/article/packdown_txt_7.txt");
    book.coverUrl = "/cover.jpg";  // as the book's page links it
    return book;
}

std::vector<int> sorted(std::vector<int> v) {
    std::sort(v.begin(), v.end());
    return v;
}

}  // namespace

class DownloadWindowTest : public QObject {
    Q_OBJECT

  private:
    DemoSite site_;
    std::unique_ptr<QTemporaryDir> cwd_;
    QTemporaryDir dataFolder_;
    QString startFolder_;
    std::vector<Message> messages_;
    Gate gate_ = std::make_shared<std::atomic<bool>>(false);

    std::unique_ptr<AppState> makeState() {
        auto state = std::make_unique<AppState>(SiteConfig{}, site_.url(), cwd_->path(),
                                                cwd_->path() + "/html");
        // As in the program, the library (opened at start) lives in the data folder.
        state->libraryFile = fs::path(dataFolder_.path().toStdString()) / "library.db";
        return state;
    }
    fs::path cwd() const { return fs::path(cwd_->path().toStdString()); }
    fs::path bookFolder(const char* utf8Title) const { return cwd() / "下载小说" / utf8Title; }
    void writeOldBook(const char* utf8Title) {
        QVERIFY(!writeFileAtomically(bookFolder(utf8Title) / (std::string(utf8Title) + ".txt"),
                                     "an older, good copy of the book"));
    }

    // Downloads into the current directory and waits for the window's last word.
    void download(AppState& state, const std::string& gbkTitle, const std::string& url) {
        DownloadWindow window(bookOf(gbkTitle, url), state);
        window.show();
        QTRY_VERIFY_WITH_TIMEOUT(!messages_.empty(), 30000);
        QTRY_VERIFY(!window.isVisible());  // it closes itself
        QVERIFY(!state.fileDownloader->running());
    }

  private slots:
    void initTestCase() {
        QVERIFY(site_.start());
        startFolder_ = QDir::currentPath();
        setMessageHook([this](const QString& text, const QString& caption) {
            messages_.push_back({text, caption});
        });
    }
    void init() {
        // Downloads go under the current directory.
        cwd_ = std::make_unique<QTemporaryDir>();
        QVERIFY(QDir::setCurrent(cwd_->path()));
        messages_.clear();
        gate_->store(false);
    }
    void cleanup() {
        gate_->store(true);
        QDir::setCurrent(startFolder_);
        cwd_.reset();
    }
    void cleanupTestCase() { setMessageHook({}); }

    void progressShowsSizesInKAndPercent() {
        test::LoopbackServer server([this](httplib::Server& s) { serveGated(s, gate_); });
        auto state = makeState();
        CurrentBook book = bookOf(toGbk("样书"), server.url("/sized.txt"));
        DownloadWindow window(book, *state);
        window.show();
        auto* size = window.findChild<QLabel*>("FileSizeLabel");
        auto* received = window.findChild<QLabel*>("DownloadedLabel");
        auto* bar = window.findChild<QProgressBar*>("DownloadProgress");

        // Halfway: the timer's next tick shows it.
        QTRY_COMPARE(state->fileDownloader->received(), int64_t(768000));
        QTRY_COMPARE(bar->value(), 50);
        QCOMPARE(size->text(), QStringLiteral("1500K"));
        QCOMPARE(received->text(), QStringLiteral("750K"));
        QCOMPARE(bar->maximum(), 100);
        QVERIFY(messages_.empty());

        gate_->store(true);
        QTRY_VERIFY_WITH_TIMEOUT(!messages_.empty(), 20000);
        QCOMPARE(messages_[0].caption, QStringLiteral("完成!"));
        QCOMPARE(fs::file_size(bookFolder("样书") / "样书.txt"), std::uintmax_t(1536000));
        QCOMPARE(bar->value(), 100);
    }

    void unknownSizeShowsABusyBar() {
        test::LoopbackServer server([this](httplib::Server& s) { serveGated(s, gate_); });
        auto state = makeState();
        CurrentBook book = bookOf(toGbk("样书"), server.url("/unsized.txt"));
        DownloadWindow window(book, *state);
        auto* bar = window.findChild<QProgressBar*>("DownloadProgress");
        QTRY_COMPARE(state->fileDownloader->received(), int64_t(100000));
        QTRY_COMPARE(window.findChild<QLabel*>("DownloadedLabel")->text(), QStringLiteral("98K"));
        QCOMPARE(bar->minimum(), 0);
        QCOMPARE(bar->maximum(), 0);
        gate_->store(true);
        QTRY_VERIFY_WITH_TIMEOUT(!messages_.empty(), 20000);
        QCOMPARE(messages_[0].caption, QStringLiteral("完成!"));
    }

    void cleansTheBookAndReplacesTheOldCopyOnlyAtTheEnd() {
        test::LoopbackServer server(serveFaults);
        auto state = makeState();
        writeOldBook("样书");
        // Left by an interrupted run.
        QVERIFY(!writeFileAtomically(bookFolder("样书") / "VOREDI5.exe.tmp", "half a book"));

        download(*state, toGbk("样书"), "  " + server.url("/book.txt") + " ");
        const fs::path final = bookFolder("样书") / "样书.txt";
        QCOMPARE(messages_.size(), size_t(1));
        QCOMPARE(messages_[0].text,
                 QStringLiteral("下载完成！保存在") + QString::fromStdString(final.string()));
        QCOMPARE(messages_[0].caption, QStringLiteral("完成!"));
        QCOMPARE(readFileBytes(final), cleanedCraftedBook());
        QCOMPARE(filesUnder(cwd()), std::vector<fs::path>{fs::path("下载小说/样书/样书.txt")});

        // The request as the downloader got it.
        const DownloadRequest& request = state->downloadRequest;
        QCOMPARE(request.sourceUrl, server.url("/book.txt"));
        QCOMPARE(request.targetFile, (bookFolder("样书") / "VOREDI5.exe.tmp").string());
        QCOMPARE(request.transferMode, 4096);
        QCOMPARE(request.connectTimeoutMs, 5000);
        QCOMPARE(request.sendTimeoutMs, 5000);
        QCOMPARE(request.receiveTimeoutMs, 10000);
        QCOMPARE(request.windDownMs, 1000);
        QCOMPARE(request.twelfth, 10240);
        QCOMPARE(request.fourth, Text("anonymous"));
    }

    void demoBookWithABlankInItsTitle() {
        auto state = makeState();
        CurrentBook book = bookOf(toGbk("\xe3\x80\x80星河 彼岸 "),
                                  site_.url() + "/modules/article/packdown_txt_3.txt");
        DownloadWindow window(book, *state);
        window.show();
        auto* adRemoval = window.findChild<QLabel*>("AdRemovalLabel");
        QCOMPARE(adRemoval->text(), QStringLiteral("正在下载星河 彼岸，请稍候......"));
        // Without its table of contents the book cannot be checked, and the window says so.
        QVERIFY(!window.findChild<QCheckBox*>("CheckTableOfContentsCheck")->isEnabled());
        QVERIFY(window.findChild<QLabel*>("ResultLabel")
                    ->text()
                    .contains(QStringLiteral("无法核对目录，只下载TXT包")));
        QVERIFY(window.findChild<QPushButton*>("StartDownloadButton")->isHidden());
        QVERIFY(adRemoval->isHidden());
        QTRY_VERIFY_WITH_TIMEOUT(!messages_.empty(), 30000);
        QVERIFY(!adRemoval->isHidden());
        QCOMPARE(adRemoval->text(), QStringLiteral("广告去除完毕,还您一个干静的小说!"));

        const Text text = readTextFile(bookFolder("星河 彼岸") / "星河 彼岸.txt");
        QVERIFY(text.starts_with(toGbk("《星河 彼岸》\r\n")));
        QVERIFY(text.size() > 1000);
        for (const char* word : {"www.", ".com", "demobook"})
            QVERIFY2(findText(text, word, 1, true) < 0, word);
        QVERIFY(findText(text, toGbk("演示书城")) < 0);
        QCOMPARE(filesUnder(cwd()),
                 std::vector<fs::path>{fs::path("下载小说/星河 彼岸/星河 彼岸.txt")});
    }

    void failuresKeepTheOlderCopyAndSayWhy() {
        test::LoopbackServer server(serveFaults);
        const std::string deadPort =
            "http://127.0.0.1:" + std::to_string(test::unusedPort()) + "/book.txt";
        const std::pair<std::string, QString> cases[] = {
            {server.url("/missing.txt"), QStringLiteral("404")},
            {server.url("/broken.txt"), QStringLiteral("500")},
            {server.url("/cut.txt"), QStringLiteral("连接中断")},
            {server.url("/empty.txt"), QStringLiteral("空文件")},
            {deadPort, QStringLiteral("无法连接服务器")},
        };
        for (const auto& [url, reason] : cases) {
            messages_.clear();
            auto state = makeState();
            writeOldBook("样书");
            QVERIFY(!writeFileAtomically(bookFolder("样书") / "VOREDI5.exe.tmp", "leftover"));
            download(*state, toGbk("样书"), url);
            QCOMPARE(messages_.size(), size_t(1));
            const QString text = messages_[0].text;
            QVERIFY2(text.startsWith(QStringLiteral("《样书》下载失败：")), qPrintable(text));
            QVERIFY2(text.contains(reason), qPrintable(text));
            QCOMPARE(messages_[0].caption, QStringLiteral("信息："));
            QCOMPARE(readFileBytes(bookFolder("样书") / "样书.txt"),
                     Bytes("an older, good copy of the book"));
            QCOMPARE(filesUnder(cwd()), std::vector<fs::path>{fs::path("下载小说/样书/样书.txt")});
        }
    }

    void noTxtAddressIsToldAndNothingStarts() {
        auto state = makeState();
        CurrentBook book = bookOf(toGbk("样书"), toGbk("\xe3\x80\x80 "));
        DownloadWindow window(book, *state);
        window.show();
        QCOMPARE(messages_.size(), size_t(1));
        QCOMPARE(messages_[0].text,
                 QStringLiteral("《样书》的页面上没有TXT下载地址，无法下载整本书。"));
        QTRY_VERIFY(!window.isVisible());
        QVERIFY(!state->fileDownloader->running());
        QVERIFY(state->downloadRequest.sourceUrl.empty());
        QVERIFY(!fs::exists(cwd() / "下载小说"));
    }

    void aHostileTitleStaysInsideTheDownloadFolder() {
        test::LoopbackServer server(serveFaults);
        auto state = makeState();
        download(*state, "../../../escaped", server.url("/book.txt"));
        QCOMPARE(messages_[0].caption, QStringLiteral("完成!"));
        const std::vector<fs::path> files = filesUnder(cwd());
        QCOMPARE(files.size(), size_t(1));
        QCOMPARE(*files[0].begin(), fs::path("下载小说"));
        QCOMPARE(std::distance(files[0].begin(), files[0].end()),
                 std::ptrdiff_t(3));  // 下载小说/<name>/<name>.txt
        QVERIFY(!fs::exists(cwd().parent_path() / "escaped"));
        QVERIFY(!fs::exists(cwd().parent_path().parent_path() / "escaped.txt"));
    }

    void closingTheWindowStopsTheTransfer() {
        test::LoopbackServer server([this](httplib::Server& s) { serveGated(s, gate_); });
        auto state = makeState();
        writeOldBook("样书");
        CurrentBook book = bookOf(toGbk("样书"), server.url("/slow.txt"));
        auto* window = new DownloadWindow(book, *state);
        window->setAttribute(Qt::WA_DeleteOnClose);
        window->show();
        QTRY_VERIFY(state->fileDownloader->received() > 0);
        QVERIFY(fs::exists(bookFolder("样书") / "VOREDI5.exe.tmp"));
        window->close();
        QVERIFY(!state->fileDownloader->running());
        QTest::qWait(100);  // the end event arrives and finds no window
        QVERIFY(messages_.empty());
        QCOMPARE(filesUnder(cwd()), std::vector<fs::path>{fs::path("下载小说/样书/样书.txt")});
        QCOMPARE(readFileBytes(bookFolder("样书") / "样书.txt"),
                 Bytes("an older, good copy of the book"));
    }

    void cancellingStopsTheTransferAndTidiesUp() {
        test::LoopbackServer server([this](httplib::Server& s) { serveGated(s, gate_); });
        auto state = makeState();
        // An older copy stays, and its folder with it.
        writeOldBook("样书");
        CurrentBook book = bookOf(toGbk("样书"), server.url("/slow.txt"));
        auto* window = new DownloadWindow(book, *state);
        window->setAttribute(Qt::WA_DeleteOnClose);
        window->show();
        QTRY_VERIFY(state->fileDownloader->received() > 0);
        QPointer<DownloadWindow> watched(window);
        window->findChild<QPushButton*>("CancelDownloadButton")->click();
        QTRY_VERIFY(!watched);
        QVERIFY(!state->fileDownloader->running());
        QVERIFY(messages_.empty());
        QCOMPARE(filesUnder(cwd()), std::vector<fs::path>{fs::path("下载小说/样书/样书.txt")});

        // A first download of a book leaves no empty folder behind when it is cancelled.
        book.title = toGbk("新书");
        window = new DownloadWindow(book, *state);
        window->setAttribute(Qt::WA_DeleteOnClose);
        window->show();
        QTRY_VERIFY(fs::exists(bookFolder("新书") / "VOREDI5.exe.tmp"));
        watched = window;
        window->findChild<QPushButton*>("CancelDownloadButton")->click();
        QTRY_VERIFY(!watched);
        QVERIFY(!fs::exists(bookFolder("新书")));
        QVERIFY(fs::exists(bookFolder("样书") / "样书.txt"));
    }

    void checkedDownloadGivesEveryChapterOfTheTableInOrder() {
        test::TestBookSite site;
        site.notInPackage = {3, 7};
        test::LoopbackServer server([&](httplib::Server& s) { site.addRoutes(s); });
        auto state = makeState();
        DownloadWindow window(siteBook(server), *state);
        window.show();
        auto* check = window.findChild<QCheckBox*>("CheckTableOfContentsCheck");
        QVERIFY(check->isChecked() && check->isEnabled());
        QVERIFY(messages_.empty());  // it waits for the choice
        window.findChild<QPushButton*>("StartDownloadButton")->click();
        QTRY_VERIFY_WITH_TIMEOUT(!messages_.empty(), 30000);
        const fs::path file = bookFolder("测试之书") / "测试之书.txt";
        QCOMPARE(messages_[0].text,
                 QStringLiteral("下载完成！保存在") + QString::fromStdString(file.string()));
        QCOMPARE(messages_[0].caption, QStringLiteral("完成!"));
        QTRY_VERIFY(!window.isVisible());
        QCOMPARE(toUtf8(readFileBytes(file)), site.package(true));
        QCOMPARE(sorted(site.pageRequests()), (std::vector<int>{3, 7}));
        QCOMPARE(window.findChild<QLabel*>("ChapterProgressLabel")->text(),
                 QStringLiteral("已下载 10/10 章"));
        QCOMPARE(filesUnder(cwd() / "下载小说"),
                 std::vector<fs::path>{fs::path("测试之书/测试之书.txt")});
    }

    void aFailingChapterIsListedAndTheRetryFillsIt() {
        test::TestBookSite site;
        site.notInPackage = {2, 5};
        site.failures = {{5, -1}};
        test::LoopbackServer server([&](httplib::Server& s) { site.addRoutes(s); });
        auto state = makeState();
        DownloadWindow window(siteBook(server), *state);
        window.show();
        window.findChild<QPushButton*>("StartDownloadButton")->click();
        auto* retry = window.findChild<QPushButton*>("RetryMissingButton");
        auto* result = window.findChild<QLabel*>("ResultLabel");
        QTRY_VERIFY_WITH_TIMEOUT(retry->isVisible(), 30000);
        const fs::path file = bookFolder("测试之书") / "测试之书.txt";
        QVERIFY2(
            result->text().startsWith(QStringLiteral("本书有 1 章未能下载：第5章 标题5\n已保存在") +
                                      QString::fromStdString(file.string())),
            qPrintable(result->text()));
        QVERIFY(messages_.empty());
        QVERIFY(window.isVisible());
        QCOMPARE(window.findChild<QPushButton*>("CancelDownloadButton")->text(),
                 QStringLiteral("关闭"));
        const std::string marked = toUtf8(readFileBytes(file));
        QVERIFY(marked.find("第5章 标题5\r\n【本章缺失：") != std::string::npos);
        QVERIFY(marked.find("第2章的第3段文字。") != std::string::npos);

        // The page works again: the retry asks for it alone and the mark goes.
        site.failures[5] = 0;
        site.clearPageRequests();
        retry->click();
        QVERIFY(retry->isHidden());
        QTRY_VERIFY_WITH_TIMEOUT(!messages_.empty(), 30000);
        QCOMPARE(messages_[0].caption, QStringLiteral("完成!"));
        QCOMPARE(site.pageRequests(), std::vector<int>{5});
        QCOMPARE(toUtf8(readFileBytes(file)), site.package(true));
    }

    void epubIsWrittenAndASecondRunTakesThePagesFromTheLibrary() {
        test::TestBookSite site;
        site.notInPackage = {4, 6};
        test::LoopbackServer server([&](httplib::Server& s) { site.addRoutes(s); });
        auto state = makeState();
        const fs::path file = bookFolder("测试之书") / "测试之书.epub";
        for (int run = 0; run < 2; ++run) {
            messages_.clear();
            site.clearPageRequests();
            DownloadWindow window(siteBook(server), *state);
            window.show();
            auto* check = window.findChild<QCheckBox*>("CheckTableOfContentsCheck");
            check->setChecked(false);
            window.findChild<QComboBox*>("FormatCombo")->setCurrentIndex(2);
            QVERIFY(check->isChecked());  // an EPUB is laid out by the table
            QVERIFY(!check->isEnabled());
            window.findChild<QPushButton*>("StartDownloadButton")->click();
            QTRY_VERIFY_WITH_TIMEOUT(!messages_.empty(), 30000);
            QCOMPARE(messages_[0].text,
                     QStringLiteral("下载完成！保存在") + QString::fromStdString(file.string()));
            QVERIFY(readFileBytes(file).starts_with("PK"));
            // An EPUB has no earlier TXT to draw on: the second run finds the pages kept.
            const std::vector<int> asked = run == 0 ? std::vector<int>{4, 6} : std::vector<int>();
            QCOMPARE(sorted(site.pageRequests()), asked);
            const auto requests = server.requests();
            QVERIFY(std::any_of(requests.begin(), requests.end(),
                                [](const auto& r) { return r.target == "/cover.jpg"; }));
        }
        QCOMPARE(filesUnder(cwd() / "下载小说"),
                 std::vector<fs::path>{fs::path("测试之书/测试之书.epub")});
    }

    void checkOffIsThePlainDownloadInEitherEncoding() {
        test::TestBookSite site;
        site.notInPackage = {3};
        test::LoopbackServer server([&](httplib::Server& s) { site.addRoutes(s); });
        const fs::path file = bookFolder("测试之书") / "测试之书.txt";
        for (int format : {0, 1}) {
            messages_.clear();
            auto state = makeState();
            DownloadWindow window(siteBook(server), *state);
            window.show();
            window.findChild<QCheckBox*>("CheckTableOfContentsCheck")->setChecked(false);
            window.findChild<QComboBox*>("FormatCombo")->setCurrentIndex(format);
            window.findChild<QPushButton*>("StartDownloadButton")->click();
            QTRY_VERIFY_WITH_TIMEOUT(!messages_.empty(), 30000);
            QCOMPARE(messages_[0].text,
                     QStringLiteral("下载完成！保存在") + QString::fromStdString(file.string()));
            QCOMPARE(state->downloadRequest.sourceUrl, siteBook(server).txtPackageUrl);
            const Bytes bytes = readFileBytes(file);
            // The package as it is, chapter 3 still lacking.
            QCOMPARE(format == 0 ? toUtf8(bytes) : bytes, site.package());
        }
        QVERIFY(site.pageRequests().empty());
    }

    void cancellingASessionRemovesItsLeftoversAndKeepsAnOlderCopy() {
        test::TestBookSite site;
        site.chapterCount = 40;
        site.packageMissing = true;
        site.latency = 300ms;
        test::LoopbackServer server([&](httplib::Server& s) { site.addRoutes(s); });
        auto state = makeState();
        for (const char* title : {"测试之书", "新书"}) {
            if (std::string(title) == "测试之书") writeOldBook(title);
            CurrentBook book = siteBook(server);
            book.title = toGbk(title);
            auto* window = new DownloadWindow(book, *state);
            window->setAttribute(Qt::WA_DeleteOnClose);
            window->show();
            window->findChild<QPushButton*>("StartDownloadButton")->click();
            auto* chapters = window->findChild<QLabel*>("ChapterProgressLabel");
            QTRY_VERIFY_WITH_TIMEOUT(chapters->text().startsWith(QStringLiteral("已下载 ")), 30000);
            QVERIFY(fs::exists(bookFolder(title)));
            QPointer<DownloadWindow> watched(window);
            window->findChild<QPushButton*>("CancelDownloadButton")->click();
            QTRY_VERIFY(!watched);
        }
        QTest::qWait(100);  // anything still queued finds no window
        QVERIFY(messages_.empty());
        QCOMPARE(filesUnder(cwd() / "下载小说"),
                 std::vector<fs::path>{fs::path("测试之书/测试之书.txt")});
        QCOMPARE(readFileBytes(bookFolder("测试之书") / "测试之书.txt"),
                 Bytes("an older, good copy of the book"));
    }

    // Runs the real message loop, so it comes last.
    void closingTheProgramStopsTheTransferAndKeepsTheOldCopy() {
        test::LoopbackServer server([this](httplib::Server& s) { serveGated(s, gate_); });
        auto state = makeState();
        writeOldBook("样书");
        CurrentBook book = bookOf(toGbk("样书"), server.url("/slow.txt"));

        bool sawTransfer = false;
        QTimer poll;
        connect(&poll, &QTimer::timeout, [&] {
            MainWindow* main = nullptr;
            for (QWidget* w : QApplication::topLevelWidgets())
                if (auto* m = qobject_cast<MainWindow*>(w)) main = m;
            if (!main) return;
            if (!sawTransfer) {
                if (!main->windows().showDownload(book)) return;
                sawTransfer = true;
                return;
            }
            if (state->fileDownloader->received() == 0) return;
            poll.stop();
            for (QWidget* w : QApplication::topLevelWidgets())
                if (auto* main = qobject_cast<MainWindow*>(w)) main->close();
        });
        poll.start(50);
        QVERIFY(endsInTime([&] { return runProgram(*state); }));
        QVERIFY(sawTransfer);
        QVERIFY(state->exitCleanupDone());
        QVERIFY(!state->fileDownloader);
        QVERIFY(messages_.empty());
        QCOMPARE(filesUnder(cwd()), std::vector<fs::path>{fs::path("下载小说/样书/样书.txt")});
        QCOMPARE(readFileBytes(bookFolder("样书") / "样书.txt"),
                 Bytes("an older, good copy of the book"));
    }
};

}  // namespace novel

NOVEL_GUI_TEST_MAIN(novel::DownloadWindowTest)
#include "download_window_test.moc"
