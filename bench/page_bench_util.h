#pragma once
// Waiting for the reader's page in the window benchmarks.

#include <QEventLoop>
#include <QTimer>
#include <QWebEngineView>
#include <functional>

namespace novel::bench {

// Runs `start` and waits for the browser's next page-loaded event; false after 30 s.
inline bool untilLoaded(QWebEngineView* view, const std::function<void()>& start) {
    QEventLoop loop;
    bool loaded = false;
    auto connection = QObject::connect(view, &QWebEngineView::loadFinished, [&](bool ok) {
        loaded = ok;
        loop.quit();
    });
    QTimer::singleShot(30000, &loop, &QEventLoop::quit);
    start();
    loop.exec();
    QObject::disconnect(connection);
    return loaded;
}

}  // namespace novel::bench
