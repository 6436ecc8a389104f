#pragma once
// The commands of the `novel` tool. Each command is one function over the parsed global options
// and its own arguments; adding a command means adding one row to the table in commands.cpp.

#include <cstdio>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace novel::cli {

inline constexpr int kExitOk = 0;
inline constexpr int kExitFailure = 1;  // the operation ran and came back empty
inline constexpr int kExitUsage = 2;    // the command line was wrong

// Global options, parsed before the command, and where the command writes.
struct Context {
    std::string site;    // --site URL
    std::string config;  // --config FILE
    std::FILE* out = stdout;
    std::FILE* err = stderr;
};

using Arguments = std::vector<std::string>;

struct Command {
    std::string_view name;
    std::string_view usage;  // the line after "novel [options] "
    // Returns an exit status; kExitUsage makes the caller print the command's usage line.
    int (*run)(Context& context, const Arguments& arguments);
};

std::span<const Command> commands();

// The whole tool: global options, then one command and its arguments.
int runCli(const Arguments& arguments, std::FILE* out = stdout, std::FILE* err = stderr);

}  // namespace novel::cli
