#include "web/request_engine.h"

#include <curl/curl.h>

#include <algorithm>
#include <condition_variable>
#include <deque>
#include <future>
#include <map>
#include <mutex>
#include <thread>
#include <unordered_map>
#include <utility>
#include <vector>

#include "web/curl_request.h"

namespace novel {

namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

// A transfer that curl ended for running out of time this close to the page deadline was ended
// by the deadline (curl's clock starts a moment after ours).
constexpr milliseconds kDeadlineSlack{50};
// Longest sleep of the loop when nothing is due: a wake-up or curl's own timers end it earlier.
constexpr int kIdlePollMs = 10000;

constexpr std::string_view kCannotStart = "无法开始读取网页";

enum class JobState { Queued, Running, Pausing };

struct Job {
    RequestId id = 0;
    FetchRequest request;
    RequestEngine::Callback done;
    std::string origin;
    JobState state = JobState::Queued;
    bool holdsSlot = false;  // counted in its site's busy from its first attempt to its end

    curl::EasyHandle handle;
    curl::HeaderList headers;
    std::string address;
    curl::Transfer transfer;

    int attempts = 0;
    std::optional<Clock::time_point> deadline;
    Clock::time_point resumeAt;
    FetchResult result;  // filled as attempts end
};

// The scheme, host and port a request goes to: the unit of the per-site limit.
std::string originOf(std::string_view url) {
    const bool https = lowerAscii(leftBytes(url, 5)) == "https";
    return concatTexts(https ? "https://" : "http://", urlHost(url, false), ":",
                       std::to_string(urlPort(url)));
}

std::string headerValue(std::string_view headers, std::string_view lowerName) {
    for (const Text& line : splitText(headers, "\r\n")) {
        if (lowerAscii(leftBytes(line, static_cast<int>(lowerName.size()))) == lowerName)
            return trimBlanks(std::string_view(line).substr(lowerName.size()));
    }
    return {};
}

// The failures worth a second try: the server or the way to it may be better in a moment.
bool passingFailure(CURLcode result, long status, bool deadlinePassed) {
    switch (result) {
        case CURLE_OK:
            return status == 429 || status >= 500;
        case CURLE_OPERATION_TIMEDOUT:
            return !deadlinePassed;
        case CURLE_PARTIAL_FILE:
        case CURLE_RECV_ERROR:
        case CURLE_SEND_ERROR:
        case CURLE_GOT_NOTHING:
            return true;
        default:
            return false;
    }
}

void deliver(RequestEngine::Callback& done, FetchResult result) {
    if (!done) return;
    try {
        done(std::move(result));
    } catch (...) {
        // A failing callback must not take the engine's thread down with it.
    }
}

}  // namespace

std::optional<milliseconds> retryAfterPause(std::string_view value,
                                            std::chrono::system_clock::time_point now,
                                            std::chrono::seconds longest) {
    const Text trimmed = trimBlanks(value);
    if (trimmed.empty()) return std::nullopt;
    const milliseconds cap = longest;
    if (std::all_of(trimmed.begin(), trimmed.end(), [](char c) { return c >= '0' && c <= '9'; })) {
        // Digits beyond what the cap can use only make it longer.
        if (trimmed.size() > 9) return cap;
        return std::min<milliseconds>(std::chrono::seconds(std::stol(trimmed)), cap);
    }
    const time_t when = curl_getdate(trimmed.c_str(), nullptr);
    if (when == -1) return std::nullopt;
    // In whole seconds, as dates are written: a far date must not overflow the clock's ticks.
    const time_t from = std::chrono::system_clock::to_time_t(now);
    if (when <= from) return milliseconds(0);
    if (when - from >= static_cast<time_t>(longest.count())) return cap;
    return std::chrono::seconds(when - from);
}

struct RequestEngine::Impl {
    explicit Impl(EngineOptions o) : options(o) {
        options.perSiteLimit = std::max(1, options.perSiteLimit);
        options.retries = std::max(0, options.retries);
        curl::initialise();
        multi = curl_multi_init();
        worker = std::thread([this] { run(); });
    }

    // Ends the worker after it has cancelled everything; callbacks may still use the engine.
    void stop() {
        {
            std::lock_guard lock(mutex);
            stopping = true;
        }
        if (multi) curl_multi_wakeup(multi);
        worker.join();
    }

    ~Impl() {
        if (multi) curl_multi_cleanup(multi);
    }

    void wake() {
        if (multi) curl_multi_wakeup(multi);
    }

    EngineOptions options;
    CURLM* multi = nullptr;
    std::thread worker;

    // Handed from callers to the worker.
    std::mutex mutex;
    std::vector<std::unique_ptr<Job>> submitted;
    std::vector<RequestId> cancels;
    bool stopping = false;
    RequestId lastId = 0;

    // The worker's own.
    struct Site {
        std::deque<Job*> user, background;
        int busy = 0;  // running or pausing between attempts
    };
    std::unordered_map<RequestId, std::unique_ptr<Job>> jobs;
    std::map<std::string, Site> sites;
    std::vector<std::unique_ptr<Job>> ended;  // callbacks to run once the state is settled

    void run();
    void accept(std::unique_ptr<Job> job);
    void cancelJob(RequestId id);
    void startQueued();
    void startAttempt(Job& job);
    void attemptEnded(Job& job, CURLcode code);
    void finish(Job& job);
    void runCallbacks();
    int pollTimeoutMs() const;
    void shutDown();
};

void RequestEngine::Impl::run() {
    if (multi == nullptr) return;  // submit answers for itself then
    for (;;) {
        std::vector<std::unique_ptr<Job>> incoming;
        std::vector<RequestId> cancelling;
        bool stop = false;
        {
            std::lock_guard lock(mutex);
            incoming.swap(submitted);
            cancelling.swap(cancels);
            stop = stopping;
        }
        // Submissions first: a cancel may name one that arrived in the same batch.
        for (auto& job : incoming) accept(std::move(job));
        for (RequestId id : cancelling) cancelJob(id);
        if (stop) break;

        int running = 0;
        curl_multi_perform(multi, &running);
        int left = 0;
        while (CURLMsg* message = curl_multi_info_read(multi, &left)) {
            if (message->msg != CURLMSG_DONE) continue;
            char* job = nullptr;
            curl_easy_getinfo(message->easy_handle, CURLINFO_PRIVATE, &job);
            attemptEnded(*reinterpret_cast<Job*>(job), message->data.result);
        }
        const Clock::time_point now = Clock::now();
        std::vector<Job*> due;
        for (auto& [id, job] : jobs) {
            if (job->state == JobState::Pausing && job->resumeAt <= now) due.push_back(job.get());
        }
        for (Job* job : due) startAttempt(*job);
        startQueued();
        runCallbacks();
        curl_multi_poll(multi, nullptr, 0, pollTimeoutMs(), nullptr);
    }
    shutDown();
}

void RequestEngine::Impl::accept(std::unique_ptr<Job> job) {
    Job* j = job.get();
    j->origin = originOf(j->request.url);
    Site& site = sites[j->origin];
    (j->request.priority == RequestPriority::User ? site.user : site.background).push_back(j);
    jobs.emplace(j->id, std::move(job));
}

void RequestEngine::Impl::cancelJob(RequestId id) {
    auto found = jobs.find(id);
    if (found == jobs.end()) return;
    Job& job = *found->second;
    Site& site = sites[job.origin];
    if (job.state == JobState::Queued) {
        std::erase(job.request.priority == RequestPriority::User ? site.user : site.background,
                   &job);
    } else if (job.state == JobState::Running) {
        curl_multi_remove_handle(multi, job.handle.get());
    }
    if (job.holdsSlot) --site.busy;
    job.result.cancelled = true;
    job.result.body.clear();
    job.result.errorPage.clear();
    job.result.problem.clear();
    ended.push_back(std::move(found->second));
    jobs.erase(found);
    runCallbacks();
}

void RequestEngine::Impl::startQueued() {
    for (auto it = sites.begin(); it != sites.end();) {
        Site& site = it->second;
        while (site.busy < options.perSiteLimit &&
               (!site.user.empty() || !site.background.empty())) {
            std::deque<Job*>& queue = site.user.empty() ? site.background : site.user;
            Job* job = queue.front();
            queue.pop_front();
            ++site.busy;
            job->holdsSlot = true;
            startAttempt(*job);
        }
        const bool idle = site.busy == 0 && site.user.empty() && site.background.empty();
        it = idle ? sites.erase(it) : std::next(it);
    }
}

void RequestEngine::Impl::startAttempt(Job& job) {
    const Clock::time_point now = Clock::now();
    if (!job.handle) {
        curl::EasyHandle handle(curl_easy_init());
        try {
            job.address = curl::requestUrl(job.request.url);
        } catch (...) {
            handle.reset();
        }
        if (!handle || !curl::setStyleOptions(handle.get(), job.request.style, job.request.url,
                                              &job.headers)) {
            job.result.problem = kCannotStart;
            return finish(job);
        }
        curl::setTransfer(handle.get(), job.address, &job.transfer);
        curl_easy_setopt(handle.get(), CURLOPT_PRIVATE, &job);
        job.handle = std::move(handle);
        if (options.pageTimeLimitSeconds > 0)
            job.deadline = now + std::chrono::seconds(options.pageTimeLimitSeconds);
    }
    long limitMs = 0;
    if (job.deadline) {
        limitMs = static_cast<long>(
            std::chrono::duration_cast<milliseconds>(*job.deadline - now).count());
        if (limitMs <= 0) return finish(job);  // the last attempt's problem stands
    }
    curl_easy_setopt(job.handle.get(), CURLOPT_TIMEOUT_MS, limitMs);
    job.transfer = curl::Transfer{};
    if (curl_multi_add_handle(multi, job.handle.get()) != CURLM_OK) {
        if (job.result.problem.empty()) job.result.problem = kCannotStart;
        return finish(job);
    }
    job.state = JobState::Running;
    ++job.attempts;
}

void RequestEngine::Impl::attemptEnded(Job& job, CURLcode code) {
    CURL* h = job.handle.get();
    curl_multi_remove_handle(multi, h);
    long status = 0;
    curl_easy_getinfo(h, CURLINFO_RESPONSE_CODE, &status);
    const Clock::time_point now = Clock::now();
    const bool deadlinePassed = job.deadline && now + kDeadlineSlack >= *job.deadline;

    FetchResult& result = job.result;
    result.status = job.transfer.answered ? status : 0;
    result.problem = curl::describeOutcome(code, job.transfer.answered, status);
    result.body.clear();
    result.errorPage.clear();
    if (result.problem.empty()) {
        result.body = std::move(job.transfer.body);
        return finish(job);
    }
    if (code == CURLE_OK) result.errorPage = std::move(job.transfer.body);

    if (job.attempts > options.retries || !passingFailure(code, status, deadlinePassed))
        return finish(job);
    milliseconds pause = options.firstRetryPause * (1LL << std::min(job.attempts - 1, 20));
    if (code == CURLE_OK) {
        const std::string asked = headerValue(job.transfer.headers, "retry-after:");
        if (auto wait =
                retryAfterPause(asked, std::chrono::system_clock::now(), options.longestRetryAfter))
            pause = *wait;
    }
    // A pause that would outlast the page time limit ends the request now, with this failure.
    if (job.deadline && now + pause >= *job.deadline) return finish(job);
    job.state = JobState::Pausing;
    job.resumeAt = now + pause;
}

void RequestEngine::Impl::finish(Job& job) {
    if (job.holdsSlot) --sites[job.origin].busy;
    auto found = jobs.find(job.id);
    if (found == jobs.end()) return;
    ended.push_back(std::move(found->second));
    jobs.erase(found);
}

void RequestEngine::Impl::runCallbacks() {
    // Callbacks may submit or cancel; both only queue work for the next turn of the loop.
    std::vector<std::unique_ptr<Job>> batch;
    batch.swap(ended);
    for (auto& job : batch) {
        job->result.attempts = job->attempts;
        job->handle.reset();
        deliver(job->done, std::move(job->result));
    }
}

int RequestEngine::Impl::pollTimeoutMs() const {
    if (!ended.empty()) return 0;
    Clock::time_point until = Clock::now() + milliseconds(kIdlePollMs);
    for (const auto& [id, job] : jobs) {
        if (job->state == JobState::Pausing) until = std::min(until, job->resumeAt);
    }
    const auto wait = std::chrono::ceil<milliseconds>(until - Clock::now()).count();
    return static_cast<int>(std::clamp<long long>(wait, 0, kIdlePollMs));
}

void RequestEngine::Impl::shutDown() {
    for (;;) {
        std::vector<RequestId> ids;
        for (const auto& [id, job] : jobs) ids.push_back(id);
        for (RequestId id : ids) cancelJob(id);
        // Callbacks of the cancelled requests may have submitted more; they end cancelled too.
        std::vector<std::unique_ptr<Job>> incoming;
        {
            std::lock_guard lock(mutex);
            incoming.swap(submitted);
            cancels.clear();
        }
        if (incoming.empty() && jobs.empty()) break;
        for (auto& job : incoming) accept(std::move(job));
    }
    sites.clear();
}

RequestEngine::RequestEngine(EngineOptions options) : impl_(std::make_unique<Impl>(options)) {}

RequestEngine::~RequestEngine() {
    impl_->stop();
}

RequestId RequestEngine::submit(FetchRequest request, Callback done) {
    auto job = std::make_unique<Job>();
    job->request = std::move(request);
    job->done = std::move(done);
    RequestId id = 0;
    {
        std::lock_guard lock(impl_->mutex);
        id = job->id = ++impl_->lastId;
        if (impl_->multi != nullptr) impl_->submitted.push_back(std::move(job));
    }
    if (job) {  // libcurl could not set up the engine: there is no thread to answer
        job->result.problem = kCannotStart;
        deliver(job->done, std::move(job->result));
        return id;
    }
    impl_->wake();
    return id;
}

void RequestEngine::cancel(RequestId id) {
    {
        std::lock_guard lock(impl_->mutex);
        impl_->cancels.push_back(id);
    }
    impl_->wake();
}

FetchResult RequestEngine::fetch(FetchRequest request) {
    // Waiting on the engine's own thread would wait for ever.
    if (std::this_thread::get_id() == impl_->worker.get_id()) {
        FetchResult refused;
        refused.problem = kCannotStart;
        return refused;
    }
    std::promise<FetchResult> outcome;
    std::future<FetchResult> future = outcome.get_future();
    submit(std::move(request),
           [&outcome](FetchResult result) { outcome.set_value(std::move(result)); });
    return future.get();
}

FetchResult RequestEngine::fetch(FetchRequest request, const std::atomic<bool>& cancelled) {
    if (std::this_thread::get_id() == impl_->worker.get_id()) {
        FetchResult refused;
        refused.problem = kCannotStart;
        return refused;
    }
    struct Wait {
        std::mutex mutex;
        std::condition_variable done;
        std::optional<FetchResult> result;
    };
    // Shared: the callback may still be on its way out when the wait returns.
    auto wait = std::make_shared<Wait>();
    const RequestId id = submit(std::move(request), [wait](FetchResult r) {
        std::lock_guard lock(wait->mutex);
        wait->result = std::move(r);
        wait->done.notify_all();
    });
    std::unique_lock lock(wait->mutex);
    bool asked = false;
    // The flag has no way to wake this wait, so it is looked at a few times a second.
    while (!wait->result) {
        wait->done.wait_for(lock, std::chrono::milliseconds(50));
        if (cancelled && !asked) {
            asked = true;
            lock.unlock();
            cancel(id);
            lock.lock();
        }
    }
    return std::move(*wait->result);
}

}  // namespace novel
