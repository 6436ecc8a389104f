#include "demo/demo_site.h"

#include <sys/socket.h>

#include <atomic>
#include <chrono>
#include <mutex>
#include <thread>

#include "demo/demo_routes.h"

namespace novel {
namespace {

constexpr const char* kHost = "127.0.0.1";

}  // namespace

struct DemoSite::Impl {
    mutable std::mutex mutex;
    std::unique_ptr<httplib::Server> server;
    std::thread thread;
    std::atomic<int> port{0};
    std::vector<ExtraRoutes> extraRoutes;
};

DemoSite::DemoSite() : impl_(std::make_unique<Impl>()) {}

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

    int bound = port;
    if (port == 0) {
        bound = server->bind_to_any_port(kHost);
        if (bound <= 0) return false;
    } else if (!server->bind_to_port(kHost, port)) {
        return false;
    }

    auto pages = std::make_shared<const DemoPages>(
        DemoCatalogue::shared(), "http://" + std::string(kHost) + ":" + std::to_string(bound));
    for (const ExtraRoutes& extra : impl_->extraRoutes) {
        for (auto& route : extra(pages)) server->Get(route.pattern, std::move(route.handle));
    }
    for (auto& route : demoRoutes(pages)) server->Get(route.pattern, std::move(route.handle));
    server->set_error_handler(httplib::Server::HandlerWithResponse(
        [pages](const httplib::Request&, httplib::Response& res) {
            if (res.status != 404 || !res.body.empty())
                return httplib::Server::HandlerResponse::Unhandled;
            res.set_content(pages->notFoundPage(), kDemoHtmlType);
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
    impl_->port = bound;
    return true;
}

void DemoSite::addRoutes(ExtraRoutes routes) {
    std::lock_guard lock(impl_->mutex);
    impl_->extraRoutes.push_back(std::move(routes));
}

void DemoSite::stop() {
    std::lock_guard lock(impl_->mutex);
    if (!impl_->server) return;
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
