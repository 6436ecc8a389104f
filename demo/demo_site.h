#pragma once
// The embedded demo Novel Site on 127.0.0.1: the program starts it when no real site is
// configured, the CLI and the tests start it to have a site to read.

#include <memory>
#include <string>

namespace novel {

class DemoSite {
  public:
    DemoSite();
    ~DemoSite();  // stops the site
    DemoSite(const DemoSite&) = delete;
    DemoSite& operator=(const DemoSite&) = delete;

    // Serves on 127.0.0.1:port; port 0 lets the system pick a free one. Returns once the site
    // accepts connections; false when the port cannot be bound or the site is already running.
    bool start(int port = 0);
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
