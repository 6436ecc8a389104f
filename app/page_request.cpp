#include "app/page_request.h"

#include <QCoreApplication>
#include <utility>

namespace novel {

PageRequest::PageRequest(RequestEngine& engine, QObject* parent)
    : QObject(parent), engine_(engine) {}

PageRequest::~PageRequest() {
    if (id_ != 0) engine_.cancel(id_);
}

void PageRequest::start(FetchRequest request, Done done) {
    const bool wasRunning = running();
    if (wasRunning) engine_.cancel(id_);
    const std::uint64_t generation = ++generation_;
    done_ = std::move(done);
    // The engine calls back on its own thread; the result crosses to this object's thread and is
    // dropped there when a newer start, a cancel or the object's end came first.
    QPointer<PageRequest> self(this);
    id_ = engine_.submit(std::move(request), [self, generation](FetchResult result) {
        QCoreApplication* app = QCoreApplication::instance();
        if (!app) return;  // the program is ending
        QMetaObject::invokeMethod(
            app,
            [self, generation, result = std::move(result)] {
                if (self) self->finish(generation, result);
            },
            Qt::QueuedConnection);
    });
    if (!wasRunning) emit runningChanged(true);
}

void PageRequest::cancel() {
    if (id_ == 0) return;
    engine_.cancel(id_);
    id_ = 0;
    ++generation_;
    done_ = {};
    emit runningChanged(false);
}

void PageRequest::finish(std::uint64_t generation, const FetchResult& result) {
    if (generation != generation_ || id_ == 0) return;
    id_ = 0;
    Done done = std::exchange(done_, {});
    emit runningChanged(false);
    if (done) done(result);
}

}  // namespace novel
