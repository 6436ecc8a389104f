#pragma once
// A complete-book download for a window: the session runs on a thread of its own with chapters
// through the library, and its progress and result come back on the GUI thread as signals.

#include <QObject>
#include <memory>
#include <thread>

#include "download/book_session.h"

namespace novel {

class AppState;

class BookSessionRunner : public QObject {
    Q_OBJECT
  public:
    explicit BookSessionRunner(AppState& state, QObject* parent = nullptr);
    // Cancels a run still under way and waits for it.
    ~BookSessionRunner() override;

    // Begins a run in the background; false while one is under way.
    bool start(const BookInfo& book, const BookSessionOptions& options);
    // Cancels the run and waits until its thread has ended (a moment: the session looks at its
    // flag a few times a second); `finished` is not emitted for it. Nothing to do when none runs.
    void stop();
    bool running() const { return run_ != nullptr; }

  signals:
    void progress(const novel::BookProgress& progress);
    void finished(const novel::BookSessionResult& result);

  private:
    struct Run;
    void onRunEnded(quint64 id, const BookSessionResult& result);

    AppState& state_;
    std::unique_ptr<Run> run_;
    quint64 nextId_ = 1;
};

}  // namespace novel
