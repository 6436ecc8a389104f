#pragma once
// The embedded demo Novel Site on 127.0.0.1: the program starts it when no real site is
// configured, the CLI and the tests start it to have a site to read.

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace novel {

class DemoPages;
struct DemoRoute;

class DemoSite {
  public:
    DemoSite();
    ~DemoSite();  // stops the site
    DemoSite(const DemoSite&) = delete;
    DemoSite& operator=(const DemoSite&) = delete;

    // Serves on 127.0.0.1:port; port 0 lets the system pick a free one. Returns once the site
    // accepts connections; false when the port cannot be bound or the site is already running.
    bool start(int port = 0);
    // Routes served besides the site's own (and before them), made when the site starts from its
    // pages; the reliability tests add their fault routes this way.
    using ExtraRoutes = std::function<std::vector<DemoRoute>(std::shared_ptr<const DemoPages>)>;
    void addRoutes(ExtraRoutes routes);
    // Closes the listening socket and waits for the requests in progress.
    void stop();

    bool isRunning() const;
    int port() const;         // 0 while stopped
    std::string url() const;  // "http://127.0.0.1:PORT", empty while stopped

  private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

}  // namespace novel
