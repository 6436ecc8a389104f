// novelsite-demo [--port N]: serves the demo site on 127.0.0.1 until interrupted.

#include <pthread.h>
#include <signal.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "demo/demo_site.h"

int main(int argc, char** argv) {
    int port = 0;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--port") == 0 && i + 1 < argc) {
            char* end = nullptr;
            long p = std::strtol(argv[++i], &end, 10);
            if (*end != '\0' || p < 0 || p > 65535) {
                std::fprintf(stderr, "novelsite-demo: bad port %s\n", argv[i]);
                return 2;
            }
            port = static_cast<int>(p);
        } else {
            std::fprintf(stderr, "usage: novelsite-demo [--port N]\n");
            return 2;
        }
    }

    // Block the stop signals before any thread starts, so that only sigwait below receives them.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);

    novel::DemoSite site;
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
