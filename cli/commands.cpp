#include "cli/commands.h"

#include <array>

#include "web/http.h"

namespace novel::cli {

namespace {

constexpr std::string_view kGlobalUsage = "novel [--site URL] [--config FILE]";

void printUsage(std::FILE* to) {
    std::fprintf(to, "usage: %.*s COMMAND ...\n\ncommands:\n",
                 static_cast<int>(kGlobalUsage.size()), kGlobalUsage.data());
    for (const Command& command : commands()) {
        std::fprintf(to, "  %.*s\n", static_cast<int>(command.usage.size()), command.usage.data());
    }
}

void printCommandUsage(std::FILE* to, const Command& command) {
    std::fprintf(to, "usage: %.*s %.*s\n", static_cast<int>(kGlobalUsage.size()),
                 kGlobalUsage.data(), static_cast<int>(command.usage.size()), command.usage.data());
}

// Writes bytes unchanged (zero bytes included); false when the stream refused them.
bool writeBytes(std::FILE* to, std::string_view bytes) {
    return std::fwrite(bytes.data(), 1, bytes.size(), to) == bytes.size() && std::fflush(to) == 0;
}

int fetchCommand(Context& context, const Arguments& arguments) {
    bool plain = false;
    std::string url;
    for (const std::string& argument : arguments) {
        if (argument == "--plain" && !plain) {
            plain = true;
        } else if (argument.starts_with("-") || !url.empty()) {
            return kExitUsage;
        } else {
            url = argument;
        }
    }
    if (url.empty()) return kExitUsage;

    const Bytes body = plain ? fetchPlain(url) : httpFetch(url);
    if (body.empty()) {
        std::fprintf(context.err, "novel: fetch: nothing came back from %s\n", url.c_str());
        return kExitFailure;
    }
    if (!writeBytes(context.out, body)) {
        std::fprintf(context.err, "novel: fetch: could not write the body\n");
        return kExitFailure;
    }
    return kExitOk;
}

constexpr std::array kCommands{
    Command{"fetch", "fetch [--plain] URL", &fetchCommand},
};

}  // namespace

std::span<const Command> commands() {
    return kCommands;
}

int runCli(const Arguments& arguments, std::FILE* out, std::FILE* err) {
    Context context;
    context.out = out;
    context.err = err;

    size_t next = 0;
    for (; next < arguments.size() && arguments[next].starts_with("--"); ++next) {
        const std::string& option = arguments[next];
        if (option == "--help") {
            printUsage(out);
            return kExitOk;
        }
        const bool takesValue = option == "--site" || option == "--config";
        if (!takesValue || next + 1 == arguments.size()) {
            std::fprintf(err,
                         takesValue ? "novel: %s needs a value\n" : "novel: unknown option %s\n",
                         option.c_str());
            printUsage(err);
            return kExitUsage;
        }
        (option == "--site" ? context.site : context.config) = arguments[++next];
    }
    if (next == arguments.size()) {
        printUsage(err);
        return kExitUsage;
    }

    const std::string& name = arguments[next];
    for (const Command& command : commands()) {
        if (command.name != name) continue;
        const Arguments rest(arguments.begin() + static_cast<std::ptrdiff_t>(next) + 1,
                             arguments.end());
        if (rest.size() == 1 && rest[0] == "--help") {
            printCommandUsage(out, command);
            return kExitOk;
        }
        const int status = command.run(context, rest);
        if (status == kExitUsage) printCommandUsage(err, command);
        return status;
    }
    std::fprintf(err, "novel: unknown command %s\n", name.c_str());
    printUsage(err);
    return kExitUsage;
}

}  // namespace novel::cli
