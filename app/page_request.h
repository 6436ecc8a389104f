#pragma once
// One kind of request a window makes (its list page, its chapter, its table of contents), run by
// the program's request engine while the window goes on. A new request of the kind replaces an
// older one still running: the older one is cancelled and its result never arrives. Results are
// handed to the window's thread; a request whose owner is gone is cancelled with it.

#include <QObject>
#include <QPointer>
#include <functional>

#include "web/request_engine.h"

namespace novel {

class PageRequest : public QObject {
    Q_OBJECT
  public:
    using Done = std::function<void(const FetchResult&)>;

    PageRequest(RequestEngine& engine, QObject* parent);
    ~PageRequest() override;

    // Starts `request`; `done` runs on this object's thread once it has finished (not when it is
    // cancelled or replaced).
    void start(FetchRequest request, Done done);
    // Stops the running request, if any; its `done` never runs.
    void cancel();
    bool running() const { return id_ != 0; }

  signals:
    // Started, or finished/cancelled with nothing running any more.
    void runningChanged(bool running);

  private:
    void finish(std::uint64_t generation, const FetchResult& result);

    RequestEngine& engine_;
    RequestId id_ = 0;
    std::uint64_t generation_ = 0;  // which start a result belongs to
    Done done_;
};

}  // namespace novel
