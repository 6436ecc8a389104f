#include "demo/demo_command_line.h"

#include <charconv>

#include "catalogue/site_config.h"

namespace novel {
namespace {

std::optional<int> numberWithin(const std::string& text, long high) {
    long n = 0;
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), n);
    if (ec != std::errc() || end != text.data() + text.size() || n < 0 || n > high)
        return std::nullopt;
    return static_cast<int>(n);
}

}  // namespace

std::optional<DemoCommandLine> parseDemoCommandLine(const std::vector<std::string>& arguments) {
    DemoCommandLine line;
    for (size_t i = 0; i < arguments.size(); ++i) {
        const std::string& option = arguments[i];
        if (option == "--allow-revise") {
            if (line.revisionRoute) return std::nullopt;
            line.revisionRoute = true;
            continue;
        }
        std::optional<int>* field = option == "--port"      ? &line.port
                                    : option == "--latency" ? &line.latencyMs
                                    : option == "--rate"    ? &line.rateKiBPerSecond
                                                            : nullptr;
        if (!field || field->has_value() || i + 1 == arguments.size()) return std::nullopt;
        const long high = field == &line.port        ? 65535
                          : field == &line.latencyMs ? kMaxDemoLatencyMs
                                                     : kMaxDemoRateKiB;
        *field = numberWithin(arguments[++i], high);
        if (!*field) return std::nullopt;
    }
    return line;
}

}  // namespace novel
