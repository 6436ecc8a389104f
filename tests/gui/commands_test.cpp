// The small commands: the maker's links, the buttons and menu items that show windows, the pop-up
// menu of the chapter list and opening the download folder. Hooks catch what would be opened.

#include <QAction>
#include <QContextMenuEvent>
#include <QDir>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>
#include <QTreeWidget>
#include <filesystem>

#include "app/about_window.h"
#include "app/app_state.h"
#include "app/main_window.h"
#include "app/message_box.h"
#include "bookmarks/bookmark_window.h"
#include "commands/desktop_open.h"
#include "download/download_window.h"
#include "gui_test.h"
#include "reader/reader_window.h"
#include "support/download_faults.h"
#include "support/loopback_server.h"
#include "web/file_io.h"

namespace novel {
namespace {
namespace fs = std::filesystem;

SiteConfig configuredLinks() {
    SiteConfig config;
    config.newsPage = "http://127.0.0.1/news";
    config.chatGroupLink = "http://127.0.0.1/chat";
    config.helpPage = "http://127.0.0.1/help";
    config.homePage = "http://127.0.0.1/home";
    return config;
}

template <typename T>
T* child(QWidget& window, const char* name) {
    T* found = window.findChild<T*>(QLatin1String(name));
    if (!found) qFatal("no control %s", name);
    return found;
}

}  // namespace

class CommandsTest : public QObject {
    Q_OBJECT

  private:
    QTemporaryDir folder_;
    QList<QUrl> opened_;
    QStringList shownFolders_;
    QStringList messages_;

    // Every link the program has, in the order clicked: banner, chat group, help (main window),
    // home page, check for updates (about window), check for updates (reader menu).
    QList<QUrl> clickEveryLink(AppState& state) {
        opened_.clear();
        MainWindow main(state);
        QTest::mouseClick(child<QWidget>(main, "BannerPicture"), Qt::LeftButton);
        QTest::mouseClick(child<QWidget>(main, "ChatGroupLabel"), Qt::LeftButton);
        QTest::mouseClick(child<QWidget>(main, "HelpLabel"), Qt::LeftButton);
        AboutWindow about(state);
        QTest::mouseClick(child<QWidget>(about, "HomePageLabel"), Qt::LeftButton);
        QTest::mouseClick(child<QPushButton>(about, "CheckUpdateButton"), Qt::LeftButton);
        ReaderWindow reader(state);
        child<QAction>(reader, "CheckUpdateMenuItem")->trigger();
        return opened_;
    }

  private slots:
    void initTestCase() {
        setUrlOpenHook([this](const QUrl& url) { opened_ << url; });
        setFolderOpenHook([this](const QString& path) { shownFolders_ << path; });
        setMessageHook([this](const QString& text, const QString&) { messages_ << text; });
    }
    void cleanupTestCase() {
        setUrlOpenHook({});
        setFolderOpenHook({});
        setMessageHook({});
    }

    void linksOpenTheConfiguredPages() {
        AppState state(configuredLinks(), "http://127.0.0.1:9", folder_.path(),
                       folder_.path() + "/html");
        QCOMPARE(clickEveryLink(state),
                 QList<QUrl>({QUrl("http://127.0.0.1/news"), QUrl("http://127.0.0.1/chat"),
                              QUrl("http://127.0.0.1/help"), QUrl("http://127.0.0.1/home"),
                              QUrl("http://127.0.0.1/help"), QUrl("http://127.0.0.1/help")}));
    }

    void linksWithoutAnAddressOpenTheLocalHelpPage() {
        SiteConfig config = configuredLinks();
        config.newsPage.clear();
        config.chatGroupLink = "  ";
        config.helpPage.clear();
        config.homePage.clear();
        AppState state(config, "http://127.0.0.1:9", folder_.path(), folder_.path() + "/html");
        const QUrl help = QUrl::fromLocalFile(folder_.path() + "/help.html");
        QCOMPARE(clickEveryLink(state), QList<QUrl>(6, help));

        // The page is shipped beside the program.
        const Text page = readTextFile(NOVEL_HELP_PAGE);
        QVERIFY(page.starts_with("<!DOCTYPE html>"));
        QVERIFY(page.find("使用说明") != Text::npos);
        QVERIFY(page.find("charset=\"utf-8\"") != Text::npos);
    }

    void downloadFolderOpensOnlyOnceItExists() {
        AppState state(SiteConfig{}, "http://127.0.0.1:9", folder_.path(),
                       folder_.path() + "/html");
        ReaderWindow reader(state);
        auto* item = child<QAction>(reader, "OpenDownloadFolderMenuItem");
        item->trigger();
        QVERIFY(shownFolders_.isEmpty());

        QVERIFY(QDir(folder_.path()).mkdir(QStringLiteral("下载小说")));
        item->trigger();
        QCOMPARE(shownFolders_, QStringList{folder_.path() + "/下载小说"});
        QVERIFY(QDir(folder_.path()).rmdir(QStringLiteral("下载小说")));
    }

    void buttonsAndMenuItemsShowTheirWindows() {
        test::LoopbackServer server(test::serveSlowDownload);
        QTemporaryDir downloads;
        const QString startFolder = QDir::currentPath();
        QDir::setCurrent(downloads.path());
        AppState state(SiteConfig{}, "http://127.0.0.1:9", folder_.path(),
                       folder_.path() + "/html");
        {
            MainWindow main(state);
            ReaderWindow* reader = main.windows().showReader();
            // The reader's book, as a bookmark gives it (no chapter chosen, nothing read).
            Bookmark bookmark;
            bookmark.selectedRow = "0";
            bookmark.bookTitle = toGbk("样书");
            bookmark.txtPackageUrl = server.url("/slow.txt");
            reader->openBookmark(bookmark);

            QTest::mouseClick(child<QPushButton>(*reader, "BookmarkButton"), Qt::LeftButton);
            auto* bookmarks = main.findChild<BookmarkWindow*>();
            QVERIFY(bookmarks && bookmarks->isVisible());
            QCOMPARE(bookmarks->windowModality(), Qt::NonModal);

            QTest::mouseClick(child<QPushButton>(*reader, "DownloadBookButton"), Qt::LeftButton);
            auto* download = main.findChild<DownloadWindow*>();
            QVERIFY(download && download->isVisible());
            QCOMPARE(download->windowModality(), Qt::NonModal);
            QTRY_VERIFY(state.fileDownloader->received() > 0);
            // The menu item raises the running download instead of starting another.
            child<QAction>(*reader, "DownloadBookMenuItem")->trigger();
            QCOMPARE(main.findChildren<DownloadWindow*>().size(), 1);
            download->close();
            QTRY_VERIFY(main.findChildren<DownloadWindow*>().isEmpty());
            QVERIFY(!state.fileDownloader->running());
            child<QAction>(*reader, "DownloadBookMenuItem")->trigger();
            QTRY_COMPARE(main.findChildren<DownloadWindow*>().size(), 1);
            main.findChild<DownloadWindow*>()->close();

            // "关于" blocks until the about box is closed.
            bool wasModal = false;
            QString notice;
            QTimer::singleShot(0, [&] {
                auto* about = qobject_cast<AboutWindow*>(QApplication::activeModalWidget());
                QVERIFY(about);
                wasModal = about->isModal();
                notice = about->findChild<QPlainTextEdit*>("NoticeEdit")->toPlainText();
                about->close();
            });
            child<QAction>(*reader, "AboutMenuItem")->trigger();
            QVERIFY(wasModal);
            QCOMPARE(notice.count(QLatin1Char('\n')), 2);  // three paragraphs
            QVERIFY(notice.contains(QString::fromStdString(state.config.brandChinese)));
        }
        QVERIFY(messages_.isEmpty());
        QDir::setCurrent(startFolder);
    }

    void readerMenuOnlyOnAChapter() {
        AppState state(SiteConfig{}, "http://127.0.0.1:9", folder_.path(),
                       folder_.path() + "/html");
        ReaderWindow reader(state);
        reader.show();
        QVERIFY(QTest::qWaitForWindowExposed(&reader));
        auto* list = child<QTreeWidget>(reader, "ChapterList");
        auto* menu = child<QMenu>(reader, "ReaderMenu");
        const auto rightClick = [list](const QPoint& at) {
            QContextMenuEvent event(QContextMenuEvent::Mouse, at,
                                    list->viewport()->mapToGlobal(at));
            QApplication::sendEvent(list->viewport(), &event);
        };
        rightClick(QPoint(5, list->viewport()->height() - 3));
        QVERIFY(!menu->isVisible());
        rightClick(list->visualItemRect(list->topLevelItem(2)).center());
        QTRY_VERIFY(menu->isVisible());
        menu->hide();
    }
};

}  // namespace novel

NOVEL_GUI_TEST_MAIN(novel::CommandsTest)
#include "commands_test.moc"
