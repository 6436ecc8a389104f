// novelsite-demo [--port N] [--latency MS] [--rate KIB_PER_S] [--allow-revise]: serves the demo
// site on 127.0.0.1 until interrupted.

#include <pthread.h>
#include <signal.h>

#include <cstdio>

#include "demo/demo_command_line.h"
#include "demo/demo_site.h"

int main(int argc, char** argv) {
    const std::optional<novel::DemoCommandLine> line =
        novel::parseDemoCommandLine(std::vector<std::string>(argv + 1, argv + argc));
    if (!line) {
        std::fprintf(stderr, "usage: novelsite-demo %s\n", novel::kDemoCommandLineUsage);
        return 2;
    }

    // Block the stop signals before any thread starts, so that only sigwait below receives them.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);

    novel::DemoSite site(
        {line->latencyMs.value_or(0), line->rateKiBPerSecond.value_or(0), line->revisionRoute});
    const int port = line->port.value_or(0);
    if (!site.start(port)) {
        std::fprintf(stderr, "novelsite-demo: cannot listen on 127.0.0.1:%d\n", port);
        return 1;
    }
    std::printf("%s\n", site.url().c_str());
    std::fflush(stdout);

    int signal = 0;
    sigwait(&stopSignals, &signal);
    site.stop();
    return 0;
}
