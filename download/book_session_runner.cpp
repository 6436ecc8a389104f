#include "download/book_session_runner.h"

#include <QCoreApplication>
#include <QPointer>

#include "app/app_state.h"
#include "download/cached_chapter_source.h"

namespace novel {

struct BookSessionRunner::Run {
    Run(AppState& state, Library* library, int connections)
        : source(library, state.engine(), state.cleaning(), connections),
          session(state.engine(), downloader, state.config.brandWords(), &source) {}

    quint64 id = 0;
    // The session's own downloader: the program's one is let go by the exit clean-up while
    // windows (and this thread) may still be there.
    FileDownloader downloader;
    CachedChapterSource source;
    BookSession session;
    std::thread thread;
};

BookSessionRunner::BookSessionRunner(AppState& state, QObject* parent)
    : QObject(parent), state_(state) {}

BookSessionRunner::~BookSessionRunner() {
    stop();
}

bool BookSessionRunner::start(const BookInfo& book, const BookSessionOptions& options) {
    if (run_) return false;
    // Opened here, on the GUI thread: library() opens it on first use.
    Library& library = state_.library();
    Library* kept = library.state() == LibraryState::Unavailable ? nullptr : &library;
    run_ = std::make_unique<Run>(state_, kept, options.connections);
    const quint64 id = run_->id = nextId_++;

    // Both callbacks come on the run's thread; they are handed to this one and dropped when the
    // runner is gone or has let this run go by then.
    QPointer<BookSessionRunner> self(this);
    auto post = [self](auto call) {
        QCoreApplication* app = QCoreApplication::instance();
        if (!app) return;
        QMetaObject::invokeMethod(
            app,
            [self, call = std::move(call)] {
                if (self) call(*self);
            },
            Qt::QueuedConnection);
    };
    run_->session.setProgressCallback([post, id](const BookProgress& p) {
        post([p, id](BookSessionRunner& runner) {
            if (runner.run_ && runner.run_->id == id) emit runner.progress(p);
        });
    });
    BookSession& session = run_->session;
    run_->thread = std::thread([post, id, &session, book, options] {
        BookSessionResult result = session.run(book, options);
        post([id, result = std::move(result)](BookSessionRunner& runner) {
            runner.onRunEnded(id, result);
        });
    });
    return true;
}

void BookSessionRunner::stop() {
    if (!run_) return;
    run_->session.cancel();
    run_->thread.join();
    run_.reset();
}

void BookSessionRunner::onRunEnded(quint64 id, const BookSessionResult& result) {
    if (!run_ || run_->id != id) return;
    run_->thread.join();  // it posted this as its last act
    run_.reset();
    emit finished(result);
}

}  // namespace novel
