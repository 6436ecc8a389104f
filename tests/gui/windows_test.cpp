// Every window's inventory: titles, sizes, borders, controls by name with their kinds and first
// contents, and the hidden template boxes byte for byte.

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>
#include <QTreeWidget>
#include <QWebEngineView>

#include "app/about_window.h"
#include "app/app_state.h"
#include "app/book_detail_window.h"
#include "app/controls.h"
#include "app/message_box.h"
#include "bookmarks/bookmark_window.h"
#include "download/download_window.h"
#include "gui_test.h"
#include "reader/chapter.h"
#include "reader/reader_themes.h"
#include "reader/reader_window.h"

namespace novel {
namespace {

// Every named control exists and is of the expected kind.
void expectControls(const QWidget& window,
                    std::initializer_list<std::pair<const char*, const char*>> controls) {
    for (const auto& [name, kind] : controls) {
        const QObject* control = window.findChild<QObject*>(QLatin1String(name));
        QVERIFY2(control, name);
        QVERIFY2(control->inherits(kind), name);
    }
}

QStringList itemsOf(const QComboBox* combo) {
    QStringList items;
    for (int i = 0; i < combo->count(); ++i) items << combo->itemText(i);
    return items;
}

QStringList columnsOf(const QTreeWidget* list) {
    QStringList columns;
    for (int c = 0; c < list->columnCount(); ++c)
        columns << QStringLiteral("%1:%2")
                       .arg(list->headerItem()->text(c))
                       .arg(list->isColumnHidden(c) ? 0 : list->columnWidth(c));
    return columns;
}

QStringList splitLines(std::string_view text) {
    return QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size()))
        .split(QStringLiteral("\r\n"));
}

// A fixed window cannot be made larger: each control it shows must lie within it.
bool isFixed(const QWidget& window) {
    if (window.minimumSize() != window.maximumSize()) return false;
    const QRect inside = window.rect();
    for (const QWidget* control : window.findChildren<QWidget*>()) {
        if (control->isHidden() || control->parentWidget() != &window) continue;
        if (!inside.contains(control->geometry())) {
            qWarning("%s lies outside its window", qPrintable(control->objectName()));
            return false;
        }
    }
    return true;
}

}  // namespace

class WindowsTest : public QObject {
    Q_OBJECT

  private:
    SiteConfig config_ = [] {
        SiteConfig config;
        config.homePage = "http://127.0.0.1/home";
        return config;
    }();
    QTemporaryDir folder_;
    AppState state_{config_, "http://127.0.0.1:9", folder_.path(),
                    folder_.path() + QStringLiteral("/html")};

  private slots:
    void readerWindow() {
        ReaderWindow window(state_);
        QCOMPARE(window.windowTitle(), QStringLiteral("墨舟工坊小说下载阅读助手"));
        QCOMPARE(window.size(), clientSizeFor(989, 626));
        QVERIFY(!isFixed(window));
        expectControls(window, {{"ToolbarStripLabel", "QLabel"},
                                {"BackgroundColorCombo", "QComboBox"},
                                {"FontCombo", "QComboBox"},
                                {"TextColorCombo", "QComboBox"},
                                {"FontSizeEdit", "QLineEdit"},
                                {"ScrollSpeedEdit", "QLineEdit"},
                                {"SaveSettingsButton", "QPushButton"},
                                {"AutoNextCheck", "QCheckBox"},
                                {"AutoNextIntervalEdit", "QLineEdit"},
                                {"ScrollCheck", "QCheckBox"},
                                {"BookmarkButton", "QPushButton"},
                                {"DownloadBookButton", "QPushButton"},
                                {"HideChapterListCheck", "QCheckBox"},
                                {"ReaderBrowser", "QWebEngineView"},
                                {"ChapterList", "QTreeWidget"},
                                {"ReaderStatusLabel", "QLabel"},
                                {"PrevChapterLabel", "QLabel"},
                                {"NextChapterLabel", "QLabel"},
                                {"GetAllChaptersButton", "QPushButton"},
                                {"AutoNextTimer", "QTimer"},
                                {"PageHeadTemplate", "QPlainTextEdit"},
                                {"ReaderMenu", "QMenu"},
                                {"ThemeCombo", "QComboBox"},
                                {"LayoutButton", "QPushButton"},
                                {"PrevChapterButton", "QPushButton"},
                                {"NextChapterButton", "QPushButton"},
                                {"ImmersiveButton", "QPushButton"}});

        auto* background = window.findChild<QComboBox*>("BackgroundColorCombo");
        QCOMPARE(itemsOf(background), QStringList({"白色", "黑色", "淡蓝", "蓝色", "淡灰", "灰色",
                                                   "深灰", "暗灰", "绿色", "明黄", "浅红"}));
        QCOMPARE(itemsOf(window.findChild<QComboBox*>("FontCombo")),
                 QStringList({"宋体", "黑体", "楷体", "仿宋", "新宋体", "微软雅黑"}));
        QCOMPARE(itemsOf(window.findChild<QComboBox*>("ThemeCombo")),
                 QStringList({"日间", "夜间", "护眼", "纸张"}));
        // A first start reads in the day theme, whose colours no colour box lists; the boxes
        // show what the templates hold.
        QCOMPARE(window.findChild<QComboBox*>("ThemeCombo")->currentIndex(), 0);
        QCOMPARE(background->currentIndex(), -1);
        QCOMPARE(window.findChild<QComboBox*>("TextColorCombo")->currentIndex(), -1);
        QCOMPARE(window.findChild<QComboBox*>("FontCombo")->currentIndex(), 0);
        for (auto [name, text] : {std::pair{"FontSizeEdit", "20"},
                                  {"ScrollSpeedEdit", "80"},
                                  {"AutoNextIntervalEdit", "20000"}}) {
            auto* edit = window.findChild<QLineEdit*>(name);
            QCOMPARE(edit->text(), QLatin1String(text));
            QCOMPARE(edit->maxLength(), 7);
        }
        for (const char* name : {"AutoNextCheck", "ScrollCheck", "HideChapterListCheck"})
            QVERIFY(!window.findChild<QCheckBox*>(name)->isChecked());

        // Hidden controls exist and hold their values without being drawn.
        for (const char* name : {"PrevChapterLabel", "NextChapterLabel", "GetAllChaptersButton",
                                 "PageHeadTemplate", "PageBodyStyleTemplate", "PageScriptTemplate"})
            QVERIFY2(window.findChild<QWidget*>(name)->isHidden(), name);
        QCOMPARE(window.findChild<QLabel*>("PrevChapterLabel")->text(),
                 QStringLiteral("<--上一章"));
        QCOMPARE(window.findChild<QLabel*>("NextChapterLabel")->text(),
                 QStringLiteral("下一章-->"));
        QVERIFY(!window.findChild<QTimer*>("AutoNextTimer")->isActive());

        auto* chapters = window.findChild<QTreeWidget*>("ChapterList");
        QCOMPARE(columnsOf(chapters), QStringList({"ID:0", "       所有章节:138", "地址:0"}));
        QCOMPARE(chapters->topLevelItemCount(), 3);
        QCOMPARE(chapters->topLevelItem(0)->text(0), QStringLiteral("0"));
        QCOMPARE(chapters->topLevelItem(0)->text(1), QStringLiteral("获取全部章节过多时"));
        QCOMPARE(chapters->topLevelItem(2)->text(1), QStringLiteral("请您耐心等候！"));
        QVERIFY(chapters->topLevelItem(1)->text(2).isEmpty());

        QStringList menuItems;
        for (QAction* action : window.findChild<QMenu*>("ReaderMenu")->actions())
            menuItems << action->text();
        QCOMPARE(menuItems, QStringList({"保存书签", "打开下载目录", "下载本书(txt)", "检测更新",
                                         "关于", "加入书架", "全文搜索"}));
    }

    void templateBoxesHoldTheExactBytes() {
        ReaderWindow window(state_);
        // A first start holds the initial templates in the day theme.
        const ReaderTemplates first = firstStartTemplates();
        const std::pair<const char*, const Text*> boxes[] = {
            {"PageHeadTemplate", &first.head},
            {"PageBodyStyleTemplate", &first.bodyStyle},
            {"PageScriptTemplate", &first.script}};
        for (const auto& [name, text] : boxes)
            QCOMPARE(window.findChild<TemplateEdit*>(name)->templateText(), *text);

        QCOMPARE(kPageHeadTemplate.size(), size_t(112));
        QCOMPARE(kPageBodyStyleTemplate.size(), size_t(88));
        QCOMPARE(kPageScriptTemplate.size(), size_t(680));
        // Lines joined by CR LF only, no line break at the end.
        for (std::string_view text :
             {kPageHeadTemplate, kPageBodyStyleTemplate, kPageScriptTemplate}) {
            for (size_t i = text.find('\n'); i != std::string_view::npos;
                 i = text.find('\n', i + 1))
                QVERIFY(i > 0 && text[i - 1] == '\r');
            QVERIFY(text.back() != '\n');
        }
        const QStringList head = splitLines(kPageHeadTemplate);
        QCOMPARE(head.size(), 9);
        QCOMPARE(head[5].toLatin1(), QByteArray("\tfont-family: \xCB\xCE\xCC\xE5;"));
        QCOMPARE(splitLines(kPageBodyStyleTemplate).size(), 6);
        const QStringList script = splitLines(kPageScriptTemplate);
        QCOMPARE(script.size(), 40);
        QCOMPARE(script[5], QStringLiteral("timer=setInterval (\"scrollwindow ()\",80);"));
        QCOMPARE(script[30], QStringLiteral("  </SCRIPT>"));
        QCOMPARE(script[35], QStringLiteral(" "));
        QCOMPARE(script[39], QStringLiteral("<center>"));

        // A new text replaces the held bytes whole.
        auto* head0 = window.findChild<TemplateEdit*>("PageHeadTemplate");
        head0->setTemplateText("a\r\nb");
        QCOMPARE(head0->templateText(), Text("a\r\nb"));
    }

    void bookDetailWindow() {
        BookDetailWindow window(CurrentBook{}, state_);
        // The creation handler has written the book (empty here) over the first captions.
        QCOMPARE(window.windowTitle(), QStringLiteral("详细资料"));
        QCOMPARE(window.size(), clientSizeFor(495, 342));
        QVERIFY(isFixed(window));
        QVERIFY(window.windowFlags().testFlag(Qt::Tool));
        expectControls(window, {{"BookTitleLabel", "QLabel"},
                                {"CoverPicture", "QLabel"},
                                {"BookStatusEdit", "QPlainTextEdit"},
                                {"BookUpdateEdit", "QPlainTextEdit"},
                                {"SynopsisCaptionLabel", "QLabel"},
                                {"SynopsisEdit", "QPlainTextEdit"},
                                {"ReadFirstChapterButton", "QPushButton"},
                                {"ReadLatestChapterButton", "QPushButton"}});
        QCOMPARE(window.findChild<QLabel*>("BookTitleLabel")->text(), QString());
        QCOMPARE(window.findChild<QLabel*>("BookTitleLabel")->font().pixelSize(), 24);
        QCOMPARE(window.findChild<QWidget*>("CoverPicture")->size(), QSize(100, 136));
        // The text document keeps line breaks as LF; the blanks stay as given.
        QCOMPARE(window.findChild<QPlainTextEdit*>("BookUpdateEdit")->toPlainText(),
                 QStringLiteral("类    别：\n\n最后更新：\n\n全文字数：\n"));
        QCOMPARE(window.findChild<QPlainTextEdit*>("BookStatusEdit")->toPlainText(),
                 QStringLiteral("作    者：\n\n状    态：\n\n授权状态：暂未授权\n"));
        QCOMPARE(window.findChild<QPlainTextEdit*>("SynopsisEdit")->toPlainText(),
                 QStringLiteral("暂无简介"));
        QCOMPARE(window.findChild<QPushButton*>("ReadLatestChapterButton")->text(),
                 QStringLiteral("阅读最新一章"));
    }

    void downloadWindow() {
        // Without a book to download the window says so; the message is not what this checks.
        setMessageHook([](const QString&, const QString&) {});
        DownloadWindow window(CurrentBook{}, state_);
        setMessageHook({});
        QCOMPARE(window.windowTitle(), QStringLiteral("澄卷小说下载阅读助手"));
        // Grown below the progress display by the chapters, the choices and the outcome.
        QCOMPARE(window.size(), clientSizeFor(390, 296));
        QVERIFY(isFixed(window));
        expectControls(window, {{"DownloadProgress", "QProgressBar"},
                                {"CancelDownloadButton", "QPushButton"},
                                {"FileSizeLabel", "QLabel"},
                                {"DownloadedLabel", "QLabel"},
                                {"AdRemovalLabel", "QLabel"},
                                {"DownloadTimer", "QTimer"},
                                {"ChapterProgressLabel", "QLabel"},
                                {"CheckTableOfContentsCheck", "QCheckBox"},
                                {"FormatCombo", "QComboBox"},
                                {"ResultLabel", "QLabel"},
                                {"StartDownloadButton", "QPushButton"},
                                {"RetryMissingButton", "QPushButton"}});
        QCOMPARE(itemsOf(window.findChild<QComboBox*>("FormatCombo")),
                 QStringList({"TXT（GBK）", "TXT（UTF-8）", "EPUB"}));
        auto* progress = window.findChild<QProgressBar*>("DownloadProgress");
        QCOMPARE(progress->minimum(), 0);
        QCOMPARE(progress->maximum(), 100);
        QCOMPARE(progress->value(), 0);
        auto* adRemoval = window.findChild<QLabel*>("AdRemovalLabel");
        QVERIFY(adRemoval->isHidden());
        QCOMPARE(adRemoval->text(), QStringLiteral("请稍候，正在去除广告地址....."));
        auto* timer = window.findChild<QTimer*>("DownloadTimer");
        QCOMPARE(timer->interval(), 1000);
        QVERIFY(timer->isActive());
    }

    void bookmarkWindow() {
        BookmarkWindow window(state_);
        QCOMPARE(window.windowTitle(), QStringLiteral("澄卷小说下载阅读助手 书签管理"));
        // Listing the bookmarks on creation makes it 180 high (it is laid out at 210).
        QCOMPARE(window.size(), clientSizeFor(491, 180));
        QVERIFY(isFixed(window));
        expectControls(window, {{"BookmarkTitleLabel", "QLabel"},
                                {"BookmarkList", "QTreeWidget"},
                                {"BookmarkLimitLabel", "QLabel"},
                                {"BookmarkMenu", "QMenu"}});
        QCOMPARE(columnsOf(window.findChild<QTreeWidget*>("BookmarkList")),
                 QStringList({"ID:50", "书名:170", "章节:250", "地址:0"}));
        const QList<QAction*> items = window.findChild<QMenu*>("BookmarkMenu")->actions();
        QCOMPARE(items.size(), 1);
        QCOMPARE(items[0]->text(), QStringLiteral("删除"));
        QCOMPARE(window.findChild<QLabel*>("BookmarkLimitLabel")->text(),
                 QStringLiteral("目前暂时只能添加五个书签！"));
    }

    void aboutWindow() {
        AboutWindow window(state_);
        QVERIFY(window.windowTitle().isEmpty());
        QCOMPARE(window.size(), clientSizeFor(527, 290));
        QVERIFY(isFixed(window));
        expectControls(window, {{"AboutPicture", "QLabel"},
                                {"AuthorLabel", "QLabel"},
                                {"HomePageLabel", "QLabel"},
                                {"MailLabel", "QLabel"},
                                {"ContactLabel", "QLabel"},
                                {"CheckUpdateButton", "QPushButton"},
                                {"NoticeEdit", "QPlainTextEdit"}});
        QCOMPARE(window.findChild<QLabel*>("AboutPicture")->pixmap().size(), QSize(160, 224));
        QCOMPARE(window.findChild<QLabel*>("AuthorLabel")->text(),
                 QStringLiteral("作者： 墨舟工坊"));
        QCOMPARE(window.findChild<QLabel*>("HomePageLabel")->text(),
                 QStringLiteral("主页： http://127.0.0.1/home"));
        const QString notice = window.findChild<QPlainTextEdit*>("NoticeEdit")->toPlainText();
        QVERIFY(notice.contains(QStringLiteral("\n    本软件的部分模块来源于网络。\n")));
        QVERIFY(notice.contains(QString::fromStdString(config_.brandChinese)));
        QVERIFY(!window.findChild<QLabel*>("HomePageLabel")->isHidden());

        // Lines whose value is not configured are not shown.
        AppState bare(SiteConfig{}, "http://127.0.0.1:1", QString(), QString());
        AboutWindow plain(bare);
        QVERIFY(plain.findChild<QLabel*>("HomePageLabel")->isHidden());
        QVERIFY(plain.findChild<QLabel*>("MailLabel")->isHidden());
        QVERIFY(plain.findChild<QLabel*>("ContactLabel")->isHidden());
        QVERIFY(!plain.findChild<QLabel*>("AuthorLabel")->isHidden());
    }

    void escapeClosesTheBookmarkAndDetailWindows() {
        BookmarkWindow bookmarks(state_);
        bookmarks.show();
        QVERIFY(QTest::qWaitForWindowActive(&bookmarks));
        QTest::keyClick(&bookmarks, Qt::Key_Escape);
        QTRY_VERIFY(!bookmarks.isVisible());

        BookDetailWindow detail(CurrentBook{}, state_);
        detail.show();
        QVERIFY(QTest::qWaitForWindowActive(&detail));
        QTest::keyClick(&detail, Qt::Key_Escape);
        QTRY_VERIFY(!detail.isVisible());
    }
};

}  // namespace novel

NOVEL_GUI_TEST_MAIN(novel::WindowsTest)
#include "windows_test.moc"
