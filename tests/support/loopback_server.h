#pragma once
// An HTTP server on 127.0.0.1 for tests: routes are registered before it starts, it listens on a
// free port on its own thread, records every request it receives, and stops when destroyed.
// With Scheme::SelfSignedHttps it speaks TLS with a certificate no client trusts.

#include <httplib.h>

#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <utility>
#include <vector>

namespace novel::test {

struct RecordedRequest {
    std::string method;
    std::string version;                                       // "HTTP/1.1"
    std::string target;                                        // path and query as sent
    std::vector<std::pair<std::string, std::string>> headers;  // names as sent
    std::string body;

    // Value of the first header with this name (letter case ignored); empty when absent.
    std::string header(std::string_view name) const;
    int headerCount(std::string_view name) const;
};

class LoopbackServer {
  public:
    enum class Scheme { Http, SelfSignedHttps };

    explicit LoopbackServer(const std::function<void(httplib::Server&)>& routes,
                            Scheme scheme = Scheme::Http);
    ~LoopbackServer();
    LoopbackServer(const LoopbackServer&) = delete;
    LoopbackServer& operator=(const LoopbackServer&) = delete;

    int port() const { return port_; }
    // "http://127.0.0.1:PORT" (or https) followed by path.
    std::string url(std::string_view path = "/") const;

    std::vector<RecordedRequest> requests() const;
    RecordedRequest lastRequest() const;  // empty record when none came

  private:
    std::unique_ptr<httplib::Server> server_;
    Scheme scheme_;
    std::thread thread_;
    int port_ = -1;
    mutable std::mutex mutex_;
    std::vector<RecordedRequest> requests_;
};

// A loopback port on which nothing listens (bound once, then released).
int unusedPort();

}  // namespace novel::test
