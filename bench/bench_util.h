#pragma once
// Small helpers shared by the benchmark programs: wall-clock timing, a deterministic generator and
// one machine-readable result line per figure, which bench/run.sh gathers into its table.

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace novel::bench {

// Seconds taken by f(), best of `runs` runs (the least disturbed one on a busy machine).
template <typename F>
double bestSeconds(int runs, F&& f) {
    double best = 1e300;
    for (int i = 0; i < runs; ++i) {
        auto t0 = std::chrono::steady_clock::now();
        f();
        std::chrono::duration<double> d = std::chrono::steady_clock::now() - t0;
        if (d.count() < best) best = d.count();
    }
    return best;
}

// Wall-clock seconds of a shell command, best of `runs`; negative when it fails.
inline double commandSeconds(const std::string& command, int runs = 3) {
    bool failed = false;
    double s = bestSeconds(runs, [&] { failed |= std::system(command.c_str()) != 0; });
    return failed ? -1 : s;
}

// Seconds taken by one run of f().
template <typename F>
double secondsOf(F&& f) {
    const auto t0 = std::chrono::steady_clock::now();
    f();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
}

// The middle value (0 for none).
inline double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values.empty() ? 0 : values[values.size() / 2];
}

struct SplitMix64 {
    uint64_t state;
    uint64_t next() {
        uint64_t z = (state += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }
    uint32_t below(uint32_t n) { return static_cast<uint32_t>(next() % n); }
};

// "BENCH|figure|project|reference|ratio|goal": one line per figure for bench/run.sh.
inline void report(const std::string& figure, const std::string& project,
                   const std::string& reference, const std::string& ratio,
                   const std::string& goal) {
    std::printf("BENCH|%s|%s|%s|%s|%s\n", figure.c_str(), project.c_str(), reference.c_str(),
                ratio.c_str(), goal.c_str());
}

inline std::string fmt(const char* format, double value) {
    char buf[64];
    std::snprintf(buf, sizeof buf, format, value);
    return buf;
}

}  // namespace novel::bench
