// How late the main window's event loop answers while the windows read a slow site (300 ms a
// page): list load, search, book details, reader open and five chapter switches, with a 5 ms
// timer noting the longest wait. The reference is the longest single fetch of the same pages, which
// is what the window froze for while handlers fetched on the GUI thread. Also the resident memory
// of the idle main window before and after the reader (and with it the web engine) first opens.

#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>
#include <QTreeWidget>
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <functional>

#include "app/app_state.h"
#include "app/book_detail_window.h"
#include "app/main_window.h"
#include "app/message_box.h"
#include "bench/bench_util.h"
#include "catalogue/site_urls.h"
#include "demo/demo_site.h"
#include "reader/reader_window.h"
#include "web/request_engine.h"

namespace {

using novel::bench::fmt;
using novel::bench::report;

long residentKiB() {
    FILE* f = std::fopen("/proc/self/status", "r");
    if (!f) return -1;
    char line[256];
    long kib = -1;
    while (std::fgets(line, sizeof line, f))
        if (std::strncmp(line, "VmRSS:", 6) == 0) kib = std::atol(line + 6);
    std::fclose(f);
    return kib;
}

// Runs the event loop until `done` holds (or 60 s pass); false on time-out.
bool runUntil(const std::function<bool()>& done) {
    QElapsedTimer clock;
    clock.start();
    while (!done()) {
        if (clock.elapsed() > 60000) return false;
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 5);
    }
    return true;
}

// The longest wait between ticks of a 5 ms timer, beyond the 5 ms, while it runs.
class StallMonitor {
  public:
    StallMonitor() {
        timer_.setTimerType(Qt::PreciseTimer);
        QObject::connect(&timer_, &QTimer::timeout, [this] {
            const qint64 now = clock_.nsecsElapsed();
            if (last_ >= 0) longest_ = std::max(longest_, (now - last_) / 1e6 - 5.0);
            last_ = now;
        });
    }
    void start() {
        clock_.start();
        last_ = -1;
        timer_.start(5);
    }
    // The longest stall so far, and begins a new span.
    double take() {
        const double longest = longest_;
        longest_ = 0;
        return longest;
    }

  private:
    QTimer timer_;
    QElapsedTimer clock_;
    qint64 last_ = -1;
    double longest_ = 0;
};

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    if (qEnvironmentVariableIsEmpty("QTWEBENGINE_DISABLE_SANDBOX"))
        qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");
    // As the program: no shared GL context until the reader needs one.
    QApplication app(argc, argv);
    novel::setMessageHook([](const QString& text, const QString&) {
        std::fprintf(stderr, "message: %s\n", text.toUtf8().constData());
    });

    novel::DemoSite site(novel::DemoSite::Options{.latencyMs = 300});
    if (!site.start()) return 1;
    QTemporaryDir folder;
    novel::AppState state(novel::SiteConfig{}, site.url(), folder.path(),
                          folder.path() + QStringLiteral("/html"));
    novel::MainWindow window(state);
    window.show();
    runUntil([] { return true; });
    QTimer::singleShot(1000, [] {});
    QElapsedTimer settle;
    settle.start();
    runUntil([&] { return settle.elapsed() > 1000; });
    const long idleKiB = residentKiB();

    // The reference: the same pages fetched one by one, as the handlers used to.
    novel::RequestEngine engine;
    const std::string listUrl = novel::listPageUrl(site.url(), 1, 1);
    const std::string searchUrl =
        novel::searchUrl(site.url(), novel::SearchType::Title, novel::toGbk("之"), 1);
    double longestFetch = 0;
    for (const std::string& url :
         {listUrl, searchUrl, site.url() + "/book/2.html", site.url() + "/book/2/index.html",
          site.url() + "/book/2/20001.html"}) {
        QElapsedTimer t;
        t.start();
        engine.fetch({url});
        longestFetch = std::max(longestFetch, t.nsecsElapsed() / 1e6);
    }

    StallMonitor monitor;
    monitor.start();
    auto* category = window.findChild<QComboBox*>(QStringLiteral("CategoryCombo"));
    auto* list = window.findChild<QTreeWidget*>(QStringLiteral("BookList"));
    category->setCurrentIndex(1);
    emit category->activated(1);
    if (!runUntil([&] { return !window.loading() && list->topLevelItemCount() > 0; })) return 1;
    const double listStall = monitor.take();

    window.findChild<QLineEdit*>(QStringLiteral("KeywordEdit"))->setText(QStringLiteral("之"));
    window.findChild<QPushButton*>(QStringLiteral("SearchButton"))->click();
    if (!runUntil([&] { return !window.loading(); })) return 1;
    const double searchStall = monitor.take();

    // The detail window opens modally when the book page has come; its read button opens the
    // reader, whose first opening also loads the web engine.
    novel::ReaderWindow* reader = nullptr;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        auto* detail = window.findChild<novel::BookDetailWindow*>();
        if (!detail || !detail->isVisible()) return;
        poll.stop();
        detail->findChild<QPushButton*>(QStringLiteral("ReadFirstChapterButton"))->click();
    });
    poll.start(20);
    list->setCurrentItem(list->topLevelItem(0));
    window.openBookDetail();
    if (!runUntil([&] { return !window.loading() && !poll.isActive(); })) return 1;
    const double detailStall = monitor.take();
    reader = window.windows().existingReader();
    if (!reader) return 1;
    if (!runUntil([&] { return !reader->loading() && reader->selectedRow() == 0; })) return 1;
    QElapsedTimer shown;
    shown.start();
    runUntil([&] { return shown.elapsed() > 1500; });  // the page is laid out and painted
    const double openStall = monitor.take();
    const long readerKiB = residentKiB();

    double switchStall = 0;
    for (int i = 1; i <= 5; ++i) {
        reader->nextChapter();
        if (!runUntil([&] { return !reader->loading() && reader->selectedRow() == i; })) return 1;
        switchStall = std::max(switchStall, monitor.take());
    }

    // "--hold N": stay N seconds with the reader open, for a look at it (a screenshot).
    if (argc == 3 && std::strcmp(argv[1], "--hold") == 0) {
        reader->raise();
        QElapsedTimer held;
        held.start();
        runUntil([&] { return held.elapsed() > std::atoi(argv[2]) * 1000; });
    }

    const double steps = std::max({listStall, searchStall, detailStall, switchStall});
    std::printf("longest fetch (reference)   %8.1f ms\n", longestFetch);
    std::printf(
        "longest stall: list %.1f, search %.1f, detail %.1f, reader open %.1f, switches %.1f ms\n",
        listStall, searchStall, detailStall, openStall, switchStall);
    std::printf("resident memory: idle main window %ld KiB, after the reader opened %ld KiB\n",
                idleKiB, readerKiB);
    report("longest event-loop stall, ms (list, search, detail, 5 chapter switches)",
           fmt("%.1f", steps), fmt("%.1f", longestFetch), fmt("%.2f", steps / longestFetch),
           "< 50 ms");
    report("event-loop stall while the reader first opens (web engine start), ms",
           fmt("%.1f", openStall), fmt("%.1f", longestFetch), fmt("%.2f", openStall / longestFetch),
           "-");
    report("idle main window, resident MiB (after the reader opened)",
           fmt("%.1f", idleKiB / 1024.0), fmt("%.1f", readerKiB / 1024.0),
           fmt("%.2f", double(idleKiB) / readerKiB), "< 80 MiB");
    return 0;
}
