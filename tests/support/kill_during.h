#pragma once
// Proves that a store survives being killed at any moment: a child process repeats a write until
// it is killed with SIGKILL after a varying delay, and the caller checks what is left each time.

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <functional>
#include <thread>

namespace novel::test {

// Runs `write(i)` for i = 0, 1, 2, ... in a child process and kills it after a delay that grows
// from 0 to about `longest` over the `rounds`; after each kill `check()` runs in this process.
// The child never returns into the test framework: it ends only by the kill (or _exit on a
// write that threw). Returns false when a child could not be made.
inline bool killDuringWrites(const std::function<void(int)>& write,
                             const std::function<void()>& check, int rounds = 20,
                             std::chrono::microseconds longest = std::chrono::milliseconds(20)) {
    for (int round = 0; round < rounds; ++round) {
        const pid_t child = fork();
        if (child < 0) return false;
        if (child == 0) {
            try {
                for (int i = 0;; ++i) write(i);
            } catch (...) {
            }
            _exit(3);
        }
        std::this_thread::sleep_for(longest * round / rounds);
        kill(child, SIGKILL);
        int status = 0;
        waitpid(child, &status, 0);
        check();
    }
    return true;
}

}  // namespace novel::test
