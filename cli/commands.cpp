#include "cli/commands.h"

#include <array>

#include "cli/command_handlers.h"
#include "demo/demo_site.h"
#include "library/library_path.h"

namespace novel::cli {

namespace {

constexpr std::string_view kGlobalUsage =
    "novel [--site URL] [--config FILE] [--html DIR] [--library FILE]";

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

constexpr std::array kCommands{
    Command{"fetch", "fetch [--plain] URL", &fetchCommand},
    Command{"lists", "lists", &listsCommand},
    Command{"list", "list INDEX [PAGE]", &listCommand},
    Command{"search", "search title|author KEYWORD [PAGE]", &searchCommand},
    Command{"book", "book BOOK_URL", &bookCommand},
    Command{"toc", "toc TOC_URL BOOK_URL", &tocCommand},
    Command{"chapter", "chapter CHAPTER_URL [--refresh]", &chapterCommand},
    Command{"find", "find QUERY [--book BOOK_URL] [--limit N]", &findCommand},
    Command{"shelf", "shelf add BOOK_URL | list | update | remove BOOK_URL", &shelfCommand},
    Command{"download", "download TXT_URL --title TITLE [--dir DIR]", &downloadCommand},
    Command{"serve-demo",
            "serve-demo [--port N] [--latency MS] [--rate KIB_PER_S] [--allow-revise]",
            &serveDemoCommand},
    Command{"bookmarks", "bookmarks", &bookmarksCommand},
    Command{"download-book",
            "download-book BOOK_URL [--format txt|epub] [--encoding gbk|utf-8] [--dir DIR] "
            "[--connections N]",
            &downloadBookCommand},
};

}  // namespace

Context::Context() = default;
Context::~Context() = default;

const SiteConfig& Context::siteConfig() {
    if (!siteConfig_) siteConfig_ = config.empty() ? SiteConfig{} : loadSiteConfig(config);
    return *siteConfig_;
}

std::string Context::siteUrl() {
    std::string url = site.empty() ? siteConfig().site : site;
    if (url != kDemoSite) {
        while (url.ends_with('/')) url.pop_back();
        return url;
    }
    if (!demo_) {
        demo_ = std::make_unique<DemoSite>(DemoSite::Options::fromConfig(siteConfig()));
        if (!startDemoSite(*demo_, siteConfig())) return {};
    }
    return demo_->url();
}

RequestEngine& Context::engine() {
    if (!engine_) {
        EngineOptions options;
        options.pageTimeLimitSeconds = siteConfig().pageTimeLimitSeconds;
        engine_ = std::make_unique<RequestEngine>(options);
    }
    return *engine_;
}

Library* Context::openLibrary() {
    if (libraryTried_)
        return library_ && library_->state() != LibraryState::Unavailable ? library_.get()
                                                                          : nullptr;
    libraryTried_ = true;
    const std::filesystem::path file =
        library.empty() ? defaultLibraryPath() : std::filesystem::path(library);
    if (file.empty()) {
        std::fprintf(err, "novel: 书库：找不到用户数据文件夹（HOME 未设置），本次不使用书库\n");
        return nullptr;
    }
    library_ = std::make_unique<Library>(file, siteUrl());
    if (!library_->openProblem().empty())
        std::fprintf(err, "novel: 书库：%s\n", library_->openProblem().c_str());
    return openLibrary();
}

ChapterCleaning Context::cleaning() {
    return ChapterCleaning::fromConfig(siteConfig());
}

FetchResult fetchPage(Context& context, const std::string& url, RequestStyle style) {
    return context.engine().fetch({url, style});
}

const Bytes& pageBytes(const FetchResult& result) {
    return result.ok() ? result.body : result.errorPage;
}

bool startDemoSite(DemoSite& site, const SiteConfig& config) {
    // Without a configured port the fixed default would make parallel runs (tests, scripts)
    // share one site or fall back anyway: a free port serves them better.
    return config.demoPort ? site.startPreferring(*config.demoPort) : site.start(0);
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

    const FetchResult result =
        fetchPage(context, url, plain ? RequestStyle::Plain : RequestStyle::Page);
    const Bytes& body = pageBytes(result);
    if (body.empty()) {
        std::fprintf(context.err, "novel: fetch: nothing came back from %s (%s)\n", url.c_str(),
                     result.problem.c_str());
        return kExitFailure;
    }
    if (!writeBytes(context.out, body)) {
        std::fprintf(context.err, "novel: fetch: could not write the body\n");
        return kExitFailure;
    }
    return kExitOk;
}

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
        const bool takesValue = option == "--site" || option == "--config" || option == "--html" ||
                                option == "--library";
        if (!takesValue || next + 1 == arguments.size()) {
            std::fprintf(err,
                         takesValue ? "novel: %s needs a value\n" : "novel: unknown option %s\n",
                         option.c_str());
            printUsage(err);
            return kExitUsage;
        }
        std::string& value = option == "--site"     ? context.site
                             : option == "--config" ? context.config
                             : option == "--html"   ? context.html
                                                    : context.library;
        value = arguments[++next];
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
