#pragma once
// The program's one request engine: page GETs run in the background on one worker thread, at most
// a few at a time per site, each cancellable, each ending in a result that carries the bytes or the
// reason there are none. Passing failures (time-outs, broken connections, 429 and 5xx answers) are
// tried again after a pause; the page time limit bounds a request with all its attempts.

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "web/http.h"

namespace novel {

// Page: httpFetch's GET with the URL only. Plain: fetchPlain's GET.
enum class RequestStyle { Page, Plain };
// Queued User requests of a site start before its queued Background ones.
enum class RequestPriority { User, Background };

struct FetchRequest {
    std::string url;
    RequestStyle style = RequestStyle::Page;
    RequestPriority priority = RequestPriority::User;
};

struct FetchResult {
    Bytes body;        // the body as received when ok; empty otherwise
    long status = 0;   // last HTTP status, 0 when no response came
    int attempts = 0;  // requests actually sent
    bool cancelled = false;
    std::string problem;  // why there is no usable page, in words for the user; empty when ok
    Bytes errorPage;      // the body of a whole answer with an error status (400 or more)
    bool ok() const { return !cancelled && problem.empty(); }
};

using RequestId = std::uint64_t;

struct EngineOptions {
    int perSiteLimit = 4;
    int retries = 2;
    std::chrono::milliseconds firstRetryPause{500};  // doubles with each retry
    std::chrono::seconds longestRetryAfter{30};
    long pageTimeLimitSeconds = kDefaultPageTimeLimitSeconds;  // 0: none
};

class RequestEngine {
  public:
    explicit RequestEngine(EngineOptions options = {});
    // Cancels everything still queued or running and joins the thread; every callback has run.
    ~RequestEngine();
    RequestEngine(const RequestEngine&) = delete;
    RequestEngine& operator=(const RequestEngine&) = delete;

    using Callback = std::function<void(FetchResult)>;
    // Queues the request and returns at once. `done` runs exactly once, on the engine's thread,
    // with the outcome (cancelled ones too, with cancelled = true). It may submit and cancel but
    // must not wait for the engine (fetch).
    RequestId submit(FetchRequest request, Callback done);
    // Cancels a queued or running request (or a retry pause); a finished or unknown id is ignored.
    void cancel(RequestId id);
    // Blocking convenience for the command-line tool and tests.
    FetchResult fetch(FetchRequest request);
    // The same wait for a worker of one's own, ended (with a cancelled result) soon after
    // `cancelled` becomes true.
    FetchResult fetch(FetchRequest request, const std::atomic<bool>& cancelled);

  private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

// How long a Retry-After value asks to wait (whole seconds, or an HTTP date compared with `now`),
// at most `longest`; nullopt when the value is neither.
std::optional<std::chrono::milliseconds> retryAfterPause(std::string_view value,
                                                         std::chrono::system_clock::time_point now,
                                                         std::chrono::seconds longest);

}  // namespace novel
