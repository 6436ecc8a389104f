#pragma once
// The wait cursor over the program while a handler blocks the window with a request. The HTTP
// client's time-outs bound how long that can last.

#include <QGuiApplication>

namespace novel {

class BusyCursor {
  public:
    BusyCursor() { QGuiApplication::setOverrideCursor(Qt::WaitCursor); }
    ~BusyCursor() { QGuiApplication::restoreOverrideCursor(); }
    BusyCursor(const BusyCursor&) = delete;
    BusyCursor& operator=(const BusyCursor&) = delete;
};

// Runs `fetch` under the wait cursor and returns its result; the cursor is back before the
// caller shows anything (a message box must not come up under a wait cursor).
template <typename Fetch>
auto whileBusy(Fetch&& fetch) {
    BusyCursor busy;
    return fetch();
}

}  // namespace novel
