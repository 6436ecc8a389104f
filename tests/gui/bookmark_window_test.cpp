// Bookmarks through the windows: saving from the reader menu, listing the slots, opening one into
// the reader and deleting one.

#include <QAction>
#include <QContextMenuEvent>
#include <QMenu>
#include <QPointer>
#include <QTemporaryDir>
#include <QTreeWidget>
#include <filesystem>
#include <random>

#include "app/app_state.h"
#include "app/controls.h"
#include "app/message_box.h"
#include "app/qt_text.h"
#include "app/windows.h"
#include "bookmarks/bookmark_file.h"
#include "bookmarks/bookmark_window.h"
#include "catalogue/book_page.h"
#include "demo/demo_site.h"
#include "gui_test.h"
#include "reader/reader_window.h"
#include "reader/toc_parser.h"
#include "support/file_size_limit.h"
#include "web/file_io.h"
#include "web/http.h"

namespace novel {
namespace {
namespace fs = std::filesystem;

std::vector<ChapterEntry> numberedChapters(int count) {
    std::vector<ChapterEntry> chapters;
    for (int k = 1; k <= count; ++k)
        chapters.push_back({std::to_string(k), toGbk("第" + std::to_string(k) + "章"),
                            "http://127.0.0.1:9/book/9/" + std::to_string(90000 + k) + ".html"});
    return chapters;
}

size_t lineCount(std::string_view text) {
    size_t n = 0;
    for (size_t at = text.find("\r\n"); at != std::string_view::npos;
         at = text.find("\r\n", at + 2))
        ++n;
    return n;
}

QStringList rowTexts(const QTreeWidget* list, int row) {
    QStringList cells;
    for (int c = 0; c < list->columnCount(); ++c) cells << list->topLevelItem(row)->text(c);
    return cells;
}

void doubleClickRow(QTreeWidget* list, int row) {
    const QPoint at = list->visualItemRect(list->topLevelItem(row)).center();
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, at);
    QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, at);
}

void rightClick(QTreeWidget* list, const QPoint& at) {
    QContextMenuEvent event(QContextMenuEvent::Mouse, at, list->viewport()->mapToGlobal(at));
    QApplication::sendEvent(list->viewport(), &event);
}

}  // namespace

class BookmarkWindowTest : public QObject {
    Q_OBJECT

  private:
    DemoSite site_;
    std::unique_ptr<QTemporaryDir> folder_;
    std::unique_ptr<AppState> state_;
    std::unique_ptr<Windows> windows_;
    QStringList messages_;

    fs::path html() const { return state_->htmlFolder.toStdString(); }
    ReaderWindow* reader() { return windows_->reader(); }

    void triggerReaderItem(const char* name) {
        reader()->findChild<QAction*>(QLatin1String(name))->trigger();
    }
    void saveFromReader() { triggerReaderItem("SaveBookmarkMenuItem"); }
    // Puts a book and its chapters into the reader, as opening a bookmark does, without reading a
    // chapter, then selects `row`.
    void showInReader(const Text& title, const Text& txtUrl, std::vector<ChapterEntry> chapters,
                      int row) {
        Bookmark b;
        b.selectedRow = "0";
        b.bookTitle = title;
        b.txtPackageUrl = txtUrl;
        b.chapters = std::move(chapters);
        reader()->openBookmark(b);
        reader()->setSelectedRow(row);
    }

    // The demo book 2 as the reader would have it: its real table of contents.
    std::vector<ChapterEntry> demoBookChapters() {
        const Text bookUrl = site_.url() + "/book/2.html";
        const Text toc = Text(textOf(httpFetch(site_.url() + "/book/2/index.html")));
        return parseTableOfContents(toc, bookUrlStem(bookUrl));
    }

  private slots:
    void initTestCase() {
        QVERIFY(site_.start());
        setMessageHook([this](const QString& text, const QString&) { messages_ << text; });
    }
    void init() {
        folder_ = std::make_unique<QTemporaryDir>();
        state_ = std::make_unique<AppState>(SiteConfig{}, site_.url(), folder_->path(),
                                            folder_->path() + "/html");
        windows_ = std::make_unique<Windows>(*state_, nullptr);
        messages_.clear();
    }
    void cleanup() {
        QList<QPointer<BookmarkWindow>> shown;
        for (QWidget* window : QApplication::topLevelWidgets())
            if (auto* bookmarks = qobject_cast<BookmarkWindow*>(window)) shown << bookmarks;
        qDeleteAll(shown);
        delete windows_->existingReader();
        windows_.reset();
        state_.reset();
        folder_.reset();
    }
    void cleanupTestCase() { setMessageHook({}); }

    void savingFillsTheFirstFreeSlotUntilAllAreTaken() {
        // Nothing chosen yet: the placeholder rows are not chapters of a book.
        saveFromReader();
        QCOMPARE(messages_, QStringList{"请先获取章节"});
        for (int n = 1; n <= 5; ++n) QVERIFY(!fs::exists(bookmarkSlotPath(html(), n)));

        showInReader(toGbk("千章之书"), "http://127.0.0.1:9/modules/article/packdown_txt_9.txt",
                     numberedChapters(1000), 4);
        messages_.clear();
        saveFromReader();
        QCOMPARE(messages_, QStringList{"保存成功！"});
        const Text slot1 = readTextFile(html() / "shuqian1.txt");
        QCOMPARE(lineCount(slot1), size_t(1001));
        QVERIFY(slot1.starts_with(toGbk("序号：5;书名：千章之书; 章节：第5章;地址：") +
                                  "http://127.0.0.1:9/book/9/90005.html;"));
        for (int n = 2; n <= 5; ++n)
            QCOMPARE(fs::file_size(bookmarkSlotPath(html(), n)), std::uintmax_t(0));

        // Slot 3 gone: it is made again and filled before 4 and 5.
        QVERIFY(!writeFileAtomically(html() / "shuqian2.txt", "taken"));
        fs::remove(html() / "shuqian3.txt");
        saveFromReader();
        QCOMPARE(fs::file_size(html() / "shuqian3.txt"), fs::file_size(html() / "shuqian1.txt"));
        QCOMPARE(fs::file_size(html() / "shuqian4.txt"), std::uintmax_t(0));
        saveFromReader();
        saveFromReader();
        messages_.clear();
        reader()->setChapters(numberedChapters(3), 0);
        saveFromReader();
        QCOMPARE(messages_, QStringList{"书签已满！"});
        QCOMPARE(readFileBytes(html() / "shuqian5.txt"), Bytes(slot1));
        QCOMPARE(readFileBytes(html() / "shuqian2.txt"), Bytes("taken"));
    }

    void aFailedWriteIsNotReportedAsSaved() {
        showInReader(toGbk("样书"), {}, numberedChapters(200), 0);
        for (int n = 1; n <= 5; ++n) QVERIFY(!createEmptyFile(bookmarkSlotPath(html(), n)));
        {
            test::FileSizeLimit limit(100);
            QVERIFY(limit.active());
            saveFromReader();
        }
        QCOMPARE(messages_.size(), 1);
        QVERIFY2(messages_[0].startsWith(QStringLiteral("书签保存失败：")),
                 qPrintable(messages_[0]));
        QCOMPARE(bookmarkSlotState(html(), 1), SlotState::Free);
    }

    void listingGivesEachRowItsSlotAndOpensTheRightOne() {
        const std::vector<ChapterEntry> chapters = demoBookChapters();
        QCOMPARE(chapters.size(), size_t(500));
        QCOMPARE(chapters[99].title, toGbk("第一卷 完"));

        // Slot 1 free, 2 taken, 3 missing, 4 taken by a book whose header holds "i" and "完",
        // 5 free.
        for (int n : {1, 5}) QVERIFY(!createEmptyFile(bookmarkSlotPath(html(), n)));
        Bookmark other;
        other.selectedRow = "1";
        other.bookTitle = toGbk("别的书");
        other.chapterTitle = toGbk("序");
        other.chapters = numberedChapters(2);
        QVERIFY(!writeFileAtomically(bookmarkSlotPath(html(), 2), formatBookmark(other)));
        Bookmark saved;
        saved.selectedRow = "100";
        saved.bookTitle = toGbk("青灯剑影录 in 完本");
        saved.chapterTitle = chapters[99].title;
        saved.chapterUrl = chapters[99].url;
        saved.txtPackageUrl = site_.url() + "/modules/article/packdown_txt_2.txt";
        saved.chapters = chapters;
        // Saved with other numbers in the ID column; they are renumbered on opening.
        for (ChapterEntry& c : saved.chapters) c.id = "0";
        QVERIFY(!writeFileAtomically(bookmarkSlotPath(html(), 4), formatBookmark(saved)));

        BookmarkWindow& window = *windows_->showBookmarks();
        window.show();
        QCOMPARE(window.size(), clientSizeFor(491, 180));
        auto* list = window.findChild<QTreeWidget*>("BookmarkList");
        QCOMPARE(list->topLevelItemCount(), 3);
        QCOMPARE(rowTexts(list, 0), QStringList({"1", "别的书", "序", ""}));
        QCOMPARE(rowTexts(list, 1), QStringList({"2", "", "", ""}));
        QCOMPARE(rowTexts(list, 2), QStringList({"3", "青灯剑影录 in 完本", "第一卷 完",
                                                 toQString(saved.chapterUrl)}));

        // A blank row (the missing slot 3) does nothing.
        doubleClickRow(list, 1);
        QVERIFY(!windows_->existingReader());

        // The third row is slot 4: the reader takes its book.
        doubleClickRow(list, 2);
        QVERIFY(windows_->existingReader());
        QCOMPARE(reader()->book().title, saved.bookTitle);
        QCOMPARE(reader()->book().txtPackageUrl, saved.txtPackageUrl);
        auto* chapterList = reader()->findChild<QTreeWidget*>("ChapterList");
        QCOMPARE(chapterList->topLevelItemCount(), 500);
        for (int row : {0, 99, 499}) {
            QCOMPARE(rowTexts(chapterList, row),
                     QStringList({QString::number(row + 1), toQString(chapters[row].title),
                                  toQString(chapters[row].url)}));
        }
        QCOMPARE(chapterList->indexOfTopLevelItem(chapterList->currentItem()), 99);
        QVERIFY(chapterList->currentItem()->isSelected());
        // Shown as a double-click in the chapter list shows it.
        QTRY_COMPARE(reader()->windowTitle(), QStringLiteral("青灯剑影录 in 完本第一卷 完"));
    }

    void aFailedDeleteIsReportedAndTheRowStays() {
        Bookmark b;
        b.selectedRow = "1";
        b.bookTitle = toGbk("删不掉");
        b.chapters = numberedChapters(1);
        QVERIFY(!writeFileAtomically(bookmarkSlotPath(html(), 1), formatBookmark(b)));
        BookmarkWindow& window = *windows_->showBookmarks();
        auto* list = window.findChild<QTreeWidget*>("BookmarkList");
        QCOMPARE(list->topLevelItemCount(), 5);

        // The slot's file has become a folder with something in it: no removal can succeed.
        fs::remove(bookmarkSlotPath(html(), 1));
        QVERIFY(!writeFileAtomically(bookmarkSlotPath(html(), 1) / "x", "x"));
        list->setCurrentItem(list->topLevelItem(0));
        window.findChild<QAction*>("DeleteBookmarkMenuItem")->trigger();
        QCOMPARE(messages_.size(), 1);
        QVERIFY2(
            messages_[0].startsWith(QStringLiteral("删除书签失败：")) && messages_[0].size() > 7,
            qPrintable(messages_[0]));
        QCOMPARE(rowTexts(list, 0), QStringList({"1", "删不掉", "", ""}));
    }

    void storedAddressesMoveOntoTheSiteInUse() {
        // Saved while the demo site ran on another port.
        const std::vector<ChapterEntry> chapters = demoBookChapters();
        Bookmark saved;
        saved.selectedRow = "2";
        saved.bookTitle = toGbk("搬过家");
        saved.chapterTitle = chapters[1].title;
        saved.txtPackageUrl = "http://127.0.0.1:1/modules/article/packdown_txt_2.txt";
        for (ChapterEntry c : std::vector<ChapterEntry>(chapters.begin(), chapters.begin() + 3)) {
            c.url = "http://127.0.0.1:1" + c.url.substr(site_.url().size());
            saved.chapters.push_back(c);
        }
        saved.chapterUrl = saved.chapters[1].url;
        QVERIFY(!writeFileAtomically(bookmarkSlotPath(html(), 1), formatBookmark(saved)));

        BookmarkWindow& window = *windows_->showBookmarks();
        window.show();
        auto* list = window.findChild<QTreeWidget*>("BookmarkList");
        QCOMPARE(rowTexts(list, 0).at(3), toQString(chapters[1].url));
        doubleClickRow(list, 0);
        QVERIFY(windows_->existingReader());
        QCOMPARE(reader()->book().txtPackageUrl,
                 site_.url() + "/modules/article/packdown_txt_2.txt");
        auto* chapterList = reader()->findChild<QTreeWidget*>("ChapterList");
        QCOMPARE(chapterList->topLevelItem(2)->text(2), toQString(chapters[2].url));
    }

    void deletingBlanksTheRowAndRemovesOnlyThatSlot() {
        for (int n : {1, 3}) QVERIFY(!createEmptyFile(bookmarkSlotPath(html(), n)));
        Bookmark b;
        b.selectedRow = "1";
        b.bookTitle = toGbk("第二本");
        b.chapters = numberedChapters(1);
        QVERIFY(!writeFileAtomically(bookmarkSlotPath(html(), 2), formatBookmark(b)));
        b.bookTitle = toGbk("第四本");
        QVERIFY(!writeFileAtomically(bookmarkSlotPath(html(), 4), formatBookmark(b)));

        BookmarkWindow& window = *windows_->showBookmarks();
        window.show();
        auto* list = window.findChild<QTreeWidget*>("BookmarkList");
        auto* deleteItem = window.findChild<QAction*>("DeleteBookmarkMenuItem");
        QCOMPARE(list->topLevelItemCount(), 3);  // slots 2, 4 and the missing 5

        deleteItem->trigger();  // nothing selected
        QCOMPARE(messages_, QStringList{"没有书签或者没有选中书签！"});

        messages_.clear();
        list->setCurrentItem(list->topLevelItem(1));
        deleteItem->trigger();
        QCOMPARE(messages_, QStringList{"书签 第四本 已经删除"});
        QCOMPARE(rowTexts(list, 1), QStringList({"", "", "", ""}));
        QCOMPARE(bookmarkSlotState(html(), 4), SlotState::Missing);
        QCOMPARE(bookmarkSlotState(html(), 2), SlotState::Taken);

        // The blank row again: nothing left to delete there.
        messages_.clear();
        deleteItem->trigger();
        QCOMPARE(messages_, QStringList{"没有书签或者没有选中书签！"});
        doubleClickRow(list, 1);
        QVERIFY(!windows_->existingReader());

        // Listed afresh, slot 4 is a row with only its number; a save fills the first free slot.
        BookmarkWindow& again = *windows_->showBookmarks();
        auto* list2 = again.findChild<QTreeWidget*>("BookmarkList");
        QCOMPARE(list2->topLevelItemCount(), 3);
        QCOMPARE(rowTexts(list2, 1), QStringList({"2", "", "", ""}));
    }

    void garbageSlotsListAsBlankRowsAndTheRestStillOpen() {
        std::mt19937 rng(5);
        Bytes garbage(5000, '\0');
        for (char& c : garbage) c = static_cast<char>(rng());
        garbage[3] = '\x81';
        QVERIFY(!writeFileAtomically(bookmarkSlotPath(html(), 1), garbage));
        Bookmark other;
        other.selectedRow = "0";  // no chapter chosen: opening fetches nothing
        other.bookTitle = toGbk("别的书");
        other.chapterTitle = toGbk("序");
        other.chapters = numberedChapters(2);
        QVERIFY(!writeFileAtomically(bookmarkSlotPath(html(), 2), formatBookmark(other)));
        QVERIFY(!writeFileAtomically(bookmarkSlotPath(html(), 3), Bytes(1 << 20, '\x81')));

        BookmarkWindow& window = *windows_->showBookmarks();
        window.show();
        auto* list = window.findChild<QTreeWidget*>("BookmarkList");
        QCOMPARE(list->topLevelItemCount(), 5);  // slots 4 and 5 are missing
        QCOMPARE(rowTexts(list, 0), QStringList({"1", "", "", ""}));
        QCOMPARE(rowTexts(list, 1), QStringList({"2", "别的书", "序", ""}));
        QCOMPARE(rowTexts(list, 2), QStringList({"3", "", "", ""}));
        doubleClickRow(list, 0);
        QVERIFY(!windows_->existingReader());
        doubleClickRow(list, 1);
        QVERIFY(windows_->existingReader());
        QCOMPARE(reader()->book().title, other.bookTitle);
        QCOMPARE(reader()->findChild<QTreeWidget*>("ChapterList")->topLevelItemCount(), 2);
    }

    void bookmarkMenuOnlyOnAnItem() {
        for (int n = 2; n <= 5; ++n) QVERIFY(!createEmptyFile(bookmarkSlotPath(html(), n)));
        BookmarkWindow& window = *windows_->showBookmarks();
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        auto* list = window.findChild<QTreeWidget*>("BookmarkList");
        auto* menu = window.findChild<QMenu*>("BookmarkMenu");
        QCOMPARE(list->topLevelItemCount(), 1);  // the missing slot 1

        rightClick(list, QPoint(5, list->viewport()->height() - 3));  // below the row
        QVERIFY(!menu->isVisible());
        rightClick(list, list->visualItemRect(list->topLevelItem(0)).center());
        QTRY_VERIFY(menu->isVisible());
        menu->hide();
    }
};

}  // namespace novel

NOVEL_GUI_TEST_MAIN(novel::BookmarkWindowTest)
#include "bookmark_window_test.moc"
