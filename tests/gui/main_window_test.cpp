// The main window right after start, the message layer, and how the program ends.

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QTimer>
#include <QTreeWidget>
#include <atomic>

#include "app/app_state.h"
#include "app/main_window.h"
#include "app/message_box.h"
#include "app/program.h"
#include "gui_test.h"
#include "reader/reader_window.h"
#include "support/download_faults.h"
#include "support/loopback_server.h"

namespace novel {
class MainWindowTest : public QObject {
    Q_OBJECT

  private:
    QTemporaryDir folder_;
    std::unique_ptr<AppState> makeState() {
        return std::make_unique<AppState>(SiteConfig{}, "http://127.0.0.1:9", folder_.path(),
                                          folder_.path() + "/html");
    }

  private slots:
    void stateRightAfterStart() {
        auto state = makeState();
        MainWindow window(*state);
        QCOMPARE(window.windowTitle(), QStringLiteral("墨舟工坊小说下载阅读助手 1.0"));
        QVERIFY(window.windowIcon().availableSizes().contains(QSize(48, 48)));
        QVERIFY(!qApp->styleSheet().isEmpty());  // the skin came first

        auto* part0 = window.findChild<QLabel*>("StatusBarPart0");
        QVERIFY(part0);
        QCOMPARE(part0->text(), QStringLiteral("已就绪！"));
        QCOMPARE(part0->width(), 352);
        QVERIFY(window.findChild<QStatusBar*>("StatusBar")->isAncestorOf(part0));

        auto* category = window.findChild<QComboBox*>("CategoryCombo");
        QCOMPARE(category->count(), 24);
        QCOMPARE(category->currentIndex(), 0);
        QCOMPARE(category->currentText(), QStringLiteral("选择类目"));
        const QString separator(4, QChar(0xFF0D));
        QCOMPARE(category->itemText(4), separator);
        QCOMPARE(category->itemText(13), separator);
        QCOMPARE(category->itemText(1), QStringLiteral("最近更新"));
        QCOMPARE(category->itemText(12), QStringLiteral("字数排行"));
        QCOMPARE(category->itemText(23), QStringLiteral("其它小说"));

        auto* searchType = window.findChild<QComboBox*>("SearchTypeCombo");
        QCOMPARE(searchType->currentText(), QStringLiteral("搜索书名"));
        QCOMPARE(searchType->itemText(1), QStringLiteral("搜索作者"));

        auto* list = window.findChild<QTreeWidget*>("BookList");
        QCOMPARE(list->topLevelItemCount(), 0);
        const QStringList captions = {"ID",      "文章名称", "最新章节(双击查看详细资料)",
                                      "作者",    "大小",     "时间",
                                      "状态",    "地址",     "最新章节地址",
                                      "目录地址"};
        const int widths[] = {60, 100, 240, 91, 49, 70, 50, 0, 0, 0};
        QCOMPARE(list->columnCount(), captions.size());
        for (int c = 0; c < captions.size(); ++c) {
            QCOMPARE(list->headerItem()->text(c), captions[c]);
            QCOMPARE(list->isColumnHidden(c), widths[c] == 0);
            if (widths[c] > 0) QCOMPARE(list->columnWidth(c), widths[c]);
        }
        QVERIFY(!list->isSortingEnabled());

        QCOMPARE(window.findChild<QLabel*>("PageLabel")->text(), QStringLiteral("1"));
        QCOMPARE(window.findChild<QLabel*>("PageCountLabel")->text(), QStringLiteral("1"));
        QCOMPARE(window.findChild<QLineEdit*>("KeywordEdit")->text(),
                 QStringLiteral("输入书名或者作者！"));
        QCOMPARE(window.findChild<QWidget*>("BannerPicture")->size(), QSize(684, 108));
        QCOMPARE(window.findChild<QPushButton*>("SearchButton")->text(), QString());
        QCOMPARE(window.findChild<QPushButton*>("ReaderButton")->toolTip(),
                 QStringLiteral("继续上次读的章节"));
    }

    void downloadRequestStartsWithItsStartValues() {
        const auto state = makeState();
        QVERIFY(state->fileDownloader && !state->fileDownloader->running());
        const DownloadRequest& request = state->downloadRequest;
        QCOMPARE(request.transferMode, 1);
        QVERIFY(request.sourceUrl.empty() && request.targetFile.empty());
        QCOMPARE(request.fourth, Text("anonymous"));
        QVERIFY(!request.fifth.empty());
        QCOMPARE(request.connectTimeoutMs, 20000);
        QCOMPARE(request.sendTimeoutMs, 20000);
        QCOMPARE(request.receiveTimeoutMs, 20000);
        QCOMPARE(request.windDownMs, 1000);
        QCOMPARE(request.twelfth, 20480);
        QCOMPARE(request.thirteenth, 1024);
        QVERIFY(!request.eventCallback);
        QCOMPARE(request.fileTypes, Text(".exe|.rar|.zip|.gif|.jpg|.mp3|.rm"));
    }

    void messageHookReadsTextAndCaption() {
        QStringList seen;
        setMessageHook(
            [&](const QString& text, const QString& caption) { seen << text << caption; });
        showMessage(nullptr, QStringLiteral("已经是第一页了！"));
        showMessage(nullptr, QStringLiteral("保存成功！"), QStringLiteral("书签"));
        setMessageHook({});
        QCOMPARE(seen, QStringList({"已经是第一页了！", "信息：", "保存成功！", "书签"}));
    }

    void messageBoxHasOnlyAnOkButtonAndNoIcon() {
        QString title, text;
        QMessageBox::Icon icon = QMessageBox::Warning;
        QMessageBox::StandardButtons buttons;
        QTimer::singleShot(0, [&] {
            QMessageBox* box = nullptr;
            for (QWidget* w : QApplication::topLevelWidgets())
                if (auto* b = qobject_cast<QMessageBox*>(w); b && b->isVisible()) box = b;
            QVERIFY(box);
            title = box->windowTitle();
            text = box->text();
            icon = box->icon();
            buttons = box->standardButtons();
            box->button(QMessageBox::Ok)->click();
        });
        showMessage(nullptr, QStringLiteral("请先获取章节"));
        QCOMPARE(title, QStringLiteral("信息："));
        QCOMPARE(text, QStringLiteral("请先获取章节"));
        QCOMPARE(icon, QMessageBox::NoIcon);
        QCOMPARE(buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
    }

    // Runs the real message loop, so it comes last.
    void closingTheMainWindowEndsTheProgramWithReaderOpen() {
        test::LoopbackServer server(test::serveSlowDownload);
        auto state = makeState();
        std::atomic<int> endEvents = 0;
        DownloadRequest request;
        request.sourceUrl = server.url("/slow.txt");
        request.targetFile = (folder_.path() + "/VOREDI5.exe.tmp").toStdString();
        request.eventCallback = [&](int event, int64_t, int64_t, int64_t, int64_t) {
            if (event == kDownloadEventEnded) ++endEvents;
        };
        QVERIFY(state->fileDownloader->start(request));
        QTRY_VERIFY(state->fileDownloader->received() > 0);

        bool readerWasOpen = false;
        QTimer::singleShot(0, [&] {
            MainWindow* main = nullptr;
            for (QWidget* w : QApplication::topLevelWidgets())
                if (auto* m = qobject_cast<MainWindow*>(w)) main = m;
            QVERIFY(main);
            auto* reader = new ReaderWindow(*state, main);
            reader->show();
            readerWasOpen = reader->isVisible();
            main->close();
        });
        QVERIFY(endsInTime([&] { return runProgram(*state); }));
        QVERIFY(readerWasOpen);
        QVERIFY(state->exitCleanupDone());
        QCOMPARE(endEvents.load(), 1);  // the transfer was stopped, not left running
        QVERIFY(!state->fileDownloader);
        state->runExitCleanup();
    }
};

}  // namespace novel

NOVEL_GUI_TEST_MAIN(novel::MainWindowTest)
#include "main_window_test.moc"
