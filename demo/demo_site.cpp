#include "demo/demo_site.h"

#include <sys/socket.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <mutex>
#include <optional>
#include <thread>

#include "demo/demo_routes.h"

namespace novel {
namespace {

using Clock = std::chrono::steady_clock;

constexpr const char* kHost = "127.0.0.1";
// Paced bodies go out in pieces of about a twentieth of a second's worth, within these bounds.
constexpr size_t kSmallestPiece = 64;
constexpr size_t kLargestPiece = 16 * 1024;

// Sleeps until `until` in short naps, so that stop() never waits for a slow answer; false when
// the site stops meanwhile.
bool waitUntil(Clock::time_point until, const std::atomic<bool>& stopping) {
    using namespace std::chrono_literals;
    while (!stopping) {
        const Clock::duration left = until - Clock::now();
        if (left <= Clock::duration::zero()) return true;
        std::this_thread::sleep_for(std::min<Clock::duration>(left, 20ms));
    }
    return false;
}

// Turns the answer's body into one that goes out at most bytesPerSecond fast: each piece waits
// until the bytes before it are due.
void paceBody(httplib::Response& res, size_t bytesPerSecond,
              std::shared_ptr<const std::atomic<bool>> stopping) {
    httplib::ContentProvider inner;
    size_t length = 0;
    if (res.content_provider_) {
        if (res.is_chunked_content_provider_) return;  // this site announces every length
        inner = std::move(res.content_provider_);
        length = res.content_length_;
    } else {
        if (res.body.empty()) return;
        auto body = std::make_shared<const std::string>(std::move(res.body));
        res.body.clear();
        length = body->size();
        inner = [body](size_t offset, size_t n, httplib::DataSink& sink) {
            return sink.write(body->data() + offset, n);
        };
    }
    const std::string type = res.get_header_value("Content-Type");
    res.headers.erase("Content-Type");
    const size_t piece = std::clamp(bytesPerSecond / 20, kSmallestPiece, kLargestPiece);
    // When the body started and from which offset: a range starts past 0, and a request for
    // several ranges may step back.
    auto started = std::make_shared<std::optional<std::pair<Clock::time_point, size_t>>>();
    res.set_content_provider(
        length, type,
        [inner = std::move(inner), started, stopping, bytesPerSecond, piece](
            size_t offset, size_t n, httplib::DataSink& sink) {
            if (!*started || offset < (*started)->second) *started = {Clock::now(), offset};
            const auto& [start, first] = **started;
            const double seconds = static_cast<double>(offset - first) / bytesPerSecond;
            const auto due = start + std::chrono::duration_cast<Clock::duration>(
                                         std::chrono::duration<double>(seconds));
            return waitUntil(due, *stopping) && inner(offset, std::min(n, piece), sink);
        },
        std::move(res.content_provider_resource_releaser_));
}

}  // namespace

struct DemoSite::Impl {
    mutable std::mutex mutex;
    std::unique_ptr<httplib::Server> server;
    std::thread thread;
    std::atomic<int> port{0};
    std::vector<ExtraRoutes> extraRoutes;
    Options options;
    // Read by the answers in progress; set before the server stops so slow answers end at once.
    std::shared_ptr<std::atomic<bool>> stopping;
    std::shared_ptr<DemoRevisions> revisions =
        std::make_shared<DemoRevisions>(DemoCatalogue::shared());
};

DemoSite::Options DemoSite::Options::fromConfig(const SiteConfig& config) {
    Options options;
    options.latencyMs = static_cast<int>(config.demoLatencyMs);
    options.rateKiBPerSecond = static_cast<int>(config.demoRateKiB);
    return options;
}

DemoSite::DemoSite() : DemoSite(Options{}) {}

DemoSite::DemoSite(Options options) : impl_(std::make_unique<Impl>()) {
    impl_->options = options;
}

void DemoSite::setOptions(const Options& options) {
    std::lock_guard lock(impl_->mutex);
    impl_->options = options;
}

DemoSite::~DemoSite() {
    stop();
}

bool DemoSite::start(int port) {
    std::lock_guard lock(impl_->mutex);
    if (impl_->server || port < 0 || port > 65535) return false;

    auto server = std::make_unique<httplib::Server>();
    // Only SO_REUSEADDR: a port held by a live listener must make start fail.
    server->set_socket_options([](int sock) {
        int yes = 1;
        setsockopt(sock, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
    });
    // Idle keep-alive connections would hold stop() up for this long.
    server->set_keep_alive_timeout(1);
    // An answer goes out in several writes: held back for the ACK of the one before, each answer
    // on a kept connection would wait out the client's delayed ACK (up to 40 ms).
    server->set_tcp_nodelay(true);

    int bound = port;
    if (port == 0) {
        bound = server->bind_to_any_port(kHost);
        if (bound <= 0) return false;
    } else if (!server->bind_to_port(kHost, port)) {
        return false;
    }

    const Options options = impl_->options;
    const auto latency = std::chrono::milliseconds(std::max(0, options.latencyMs));
    const size_t bytesPerSecond = static_cast<size_t>(std::max(0, options.rateKiBPerSecond)) * 1024;
    auto stopping = std::make_shared<std::atomic<bool>>(false);
    auto paced = [&](httplib::Server::Handler handle) -> httplib::Server::Handler {
        if (bytesPerSecond == 0) return handle;
        return [handle = std::move(handle), bytesPerSecond, stopping](const httplib::Request& req,
                                                                      httplib::Response& res) {
            handle(req, res);
            paceBody(res, bytesPerSecond, stopping);
        };
    };
    if (latency.count() > 0) {
        server->set_pre_routing_handler(
            [latency, stopping](const httplib::Request&, httplib::Response& res) {
                if (waitUntil(Clock::now() + latency, *stopping))
                    return httplib::Server::HandlerResponse::Unhandled;
                res.status = 503;
                return httplib::Server::HandlerResponse::Handled;
            });
    }

    auto pages = std::make_shared<const DemoPages>(
        DemoCatalogue::shared(), "http://" + std::string(kHost) + ":" + std::to_string(bound));
    for (const ExtraRoutes& extra : impl_->extraRoutes) {
        for (auto& route : extra(pages)) server->Get(route.pattern, paced(std::move(route.handle)));
    }
    for (auto& route : demoRoutes(pages, impl_->revisions))
        server->Get(route.pattern, paced(std::move(route.handle)));
    if (options.revisionRoute) {
        DemoRoute route = demoRevisionRoute(impl_->revisions);
        server->Post(route.pattern, std::move(route.handle));
    }
    server->set_error_handler(httplib::Server::HandlerWithResponse(
        [pages, bytesPerSecond, stopping](const httplib::Request&, httplib::Response& res) {
            if (res.status != 404 || !res.body.empty())
                return httplib::Server::HandlerResponse::Unhandled;
            res.set_content(pages->notFoundPage(), kDemoHtmlType);
            if (bytesPerSecond > 0) paceBody(res, bytesPerSecond, stopping);
            return httplib::Server::HandlerResponse::Handled;
        }));

    auto finished = std::make_shared<std::atomic<bool>>(false);
    httplib::Server* raw = server.get();
    impl_->thread = std::thread([raw, finished] {
        raw->listen_after_bind();
        *finished = true;
    });
    // The socket already accepts connections; wait until the accept loop runs, so that a stop()
    // right after start() cannot miss it.
    while (!raw->is_running() && !*finished)
        std::this_thread::sleep_for(std::chrono::microseconds(50));
    if (*finished) {
        impl_->thread.join();
        return false;
    }
    impl_->server = std::move(server);
    impl_->stopping = std::move(stopping);
    impl_->port = bound;
    return true;
}

bool DemoSite::startPreferring(int port) {
    return start(port) || start(0);
}

bool DemoSite::reviseBook(int bookId, const DemoRevision& revision) {
    return impl_->revisions->revise(bookId, revision);
}

void DemoSite::addRoutes(ExtraRoutes routes) {
    std::lock_guard lock(impl_->mutex);
    impl_->extraRoutes.push_back(std::move(routes));
}

void DemoSite::stop() {
    std::lock_guard lock(impl_->mutex);
    if (!impl_->server) return;
    *impl_->stopping = true;
    impl_->server->stop();
    impl_->thread.join();
    impl_->server.reset();
    impl_->port = 0;
}

bool DemoSite::isRunning() const {
    return impl_->port != 0;
}

int DemoSite::port() const {
    return impl_->port;
}

std::string DemoSite::url() const {
    int p = impl_->port;
    return p ? "http://" + std::string(kHost) + ":" + std::to_string(p) : std::string();
}

}  // namespace novel
