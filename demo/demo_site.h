#pragma once
// The embedded demo Novel Site on 127.0.0.1: the program starts it when no real site is
// configured, the CLI and the tests start it to have a site to read.

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "catalogue/site_config.h"
#include "demo/demo_revisions.h"

namespace novel {

class DemoPages;
struct DemoRoute;

class DemoSite {
  public:
    // How the site answers. The defaults answer at once, at full speed, with no control route.
    struct Options {
        int latencyMs = 0;  // each answer waits this long before its first byte
        int rateKiBPerSecond =
            0;  // bodies go out at most this fast, in small paced pieces; 0: no limit
        bool revisionRoute = false;  // serve POST /demo/revise (see demoRevisionRoute)

        // demo_latency and demo_rate of site.ini.
        static Options fromConfig(const SiteConfig& config);
    };

    DemoSite();
    explicit DemoSite(Options options);
    ~DemoSite();  // stops the site
    DemoSite(const DemoSite&) = delete;
    DemoSite& operator=(const DemoSite&) = delete;

    // Takes effect at the next start.
    void setOptions(const Options& options);

    // Serves on 127.0.0.1:port; port 0 lets the system pick a free one. Returns once the site
    // accepts connections; false when the port cannot be bound or the site is already running.
    bool start(int port = 0);
    // Serves on `port` when it can be bound, otherwise on a free port the system picks.
    bool startPreferring(int port);
    // Revises one book of this site, running or not; the revision lasts until the site object
    // goes. False, with nothing changed, when DemoRevisions::revise refuses it.
    bool reviseBook(int bookId, const DemoRevision& revision);
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
