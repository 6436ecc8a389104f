#pragma once
// The options novelsite-demo and `novel serve-demo` share:
//   --port N        listen on N (0: a free port)
//   --latency MS    each answer waits MS milliseconds before its first byte
//   --rate KIB      bodies go out at most KIB KiB per second (0: no limit)
//   --allow-revise  serve the control route POST /demo/revise

#include <optional>
#include <string>
#include <vector>

namespace novel {

struct DemoCommandLine {
    // Each unset when not given, so the caller can fall back on site.ini.
    std::optional<int> port;
    std::optional<int> latencyMs;
    std::optional<int> rateKiBPerSecond;
    bool revisionRoute = false;
};

inline constexpr const char* kDemoCommandLineUsage =
    "[--port N] [--latency MS] [--rate KIB_PER_S] [--allow-revise]";

// Nothing when an option is unknown, given twice, lacks its value or is out of range.
std::optional<DemoCommandLine> parseDemoCommandLine(const std::vector<std::string>& arguments);

}  // namespace novel
