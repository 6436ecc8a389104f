#pragma once
// The commands of the `novel` tool. Each command is one function over the parsed global options
// and its own arguments; adding a command means adding one row to the table in commands.cpp.

#include <cstdio>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "catalogue/site_config.h"
#include "library/library.h"
#include "web/request_engine.h"

namespace novel {
class DemoSite;
}

namespace novel::cli {

inline constexpr int kExitOk = 0;
inline constexpr int kExitFailure = 1;  // the operation ran and came back empty
inline constexpr int kExitUsage = 2;    // the command line was wrong

// Global options, parsed before the command, and where the command writes.
struct Context {
    Context();
    ~Context();

    std::string site;     // --site URL
    std::string config;   // --config FILE
    std::string html;     // --html DIR: the folder of the program's files (bookmarks)
    std::string library;  // --library FILE; empty: the program's own library
    std::FILE* out = stdout;
    std::FILE* err = stderr;

    // The configuration: --config FILE, or the built-in defaults.
    const SiteConfig& siteConfig();
    // The site to read: --site, else the configured site; when that is the demo site, it is
    // started in-process on first use. Empty when the demo site could not start.
    std::string siteUrl();
    // The run's request engine, bounded by the configured page time limit.
    RequestEngine& engine();
    // The run's library, opened on first use for the site; what went wrong opening it is said
    // once on err. Null when there is none this run.
    Library* openLibrary();
    ChapterCleaning cleaning();

  private:
    std::optional<SiteConfig> siteConfig_;
    std::unique_ptr<DemoSite> demo_;
    std::unique_ptr<Library> library_;
    bool libraryTried_ = false;
    std::unique_ptr<RequestEngine> engine_;  // ends its requests before the demo site stops
};

// Reads one page through the run's engine and waits for it.
FetchResult fetchPage(Context& context, const std::string& url,
                      RequestStyle style = RequestStyle::Page);
// What a page reader gets to see: the page, or the site's own error page when it sent one.
const Bytes& pageBytes(const FetchResult& result);
// Starts the CLI's demo site: on demo_port when site.ini sets one (a free port when that is
// taken), otherwise on a free port.
bool startDemoSite(DemoSite& site, const SiteConfig& config);

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
