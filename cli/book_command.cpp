// novel download-book: a complete book (package checked against the table of contents, the
// chapters it lacks from their pages) as TXT or EPUB, without a window.

#include <unistd.h>

#include <nlohmann/json.hpp>

#include <atomic>
#include <csignal>
#include <filesystem>
#include <thread>

#include "cli/command_handlers.h"
#include "download/book_session.h"

namespace novel::cli {
namespace {

using Json = nlohmann::json;

volatile std::sig_atomic_t interrupted = 0;
void onInterrupt(int) {
    interrupted = 1;
}

void drawProgress(std::FILE* to, const BookProgress& p) {
    const char* phase = p.phase == BookProgress::Phase::TableOfContents ? "目录"
                        : p.phase == BookProgress::Phase::Package       ? "TXT包"
                        : p.phase == BookProgress::Phase::Chapters      ? "章节"
                                                                        : "保存";
    std::fprintf(to, "\r%s  章节 %d/%d  页面 %d/%d  %.1f MB   ", phase, p.chaptersDone,
                 p.chaptersTotal, p.pagesDone, p.pagesTotal,
                 static_cast<double>(p.bytes) / 1048576.0);
    std::fflush(to);
}

}  // namespace

int downloadBookCommand(Context& context, const Arguments& arguments) {
    std::string url, dir;
    BookSessionOptions options;
    for (size_t i = 0; i < arguments.size(); ++i) {
        const std::string& a = arguments[i];
        const bool hasValue = i + 1 < arguments.size();
        if (a == "--format" && hasValue) {
            const std::string& v = arguments[++i];
            if (v != "txt" && v != "epub") return kExitUsage;
            options.format = v == "txt" ? BookFormat::Txt : BookFormat::Epub;
        } else if (a == "--encoding" && hasValue) {
            const std::string& v = arguments[++i];
            if (v != "gbk" && v != "utf-8") return kExitUsage;
            options.encoding = v == "gbk" ? TxtEncoding::Gbk : TxtEncoding::Utf8;
        } else if (a == "--dir" && hasValue) {
            dir = arguments[++i];
        } else if (a == "--connections" && hasValue) {
            const std::optional<int> n = parseCount(arguments[++i]);
            if (!n || *n < 1 || *n > 64) return kExitUsage;
            options.connections = *n;
        } else if (a.starts_with("-") || !url.empty()) {
            return kExitUsage;
        } else {
            url = a;
        }
    }
    if (url.empty()) return kExitUsage;
    std::error_code ec;
    options.base = dir.empty() ? std::filesystem::current_path(ec) : std::filesystem::path(dir);
    if (ec) {
        std::fprintf(context.err, "novel: download-book: no current folder (%s)\n",
                     ec.message().c_str());
        return kExitFailure;
    }

    // The run's own engine, so that N pages can be under way at once.
    EngineOptions engineOptions;
    engineOptions.perSiteLimit = std::max(options.connections, 1);
    engineOptions.pageTimeLimitSeconds = context.siteConfig().pageTimeLimitSeconds;
    RequestEngine engine(engineOptions);

    const FetchResult page = engine.fetch({url, RequestStyle::Plain});
    if (!page.ok()) {
        std::fprintf(context.err, "novel: download-book: %s: %s\n", url.c_str(),
                     page.problem.c_str());
        return kExitFailure;
    }
    const BookInfo book = bookInfoFromPage(url, textOf(page.body));
    if (book.title.empty()) {
        std::fprintf(context.err, "novel: download-book: %s: 书页上没有书名\n", url.c_str());
        return kExitFailure;
    }

    FileDownloader downloader;
    BookSession session(engine, downloader, context.siteConfig().brandWords());
    const bool terminal = ::isatty(::fileno(context.err));
    if (terminal)
        session.setProgressCallback([&](const BookProgress& p) { drawProgress(context.err, p); });
    interrupted = 0;
    std::signal(SIGINT, onInterrupt);
    std::signal(SIGTERM, onInterrupt);
    // A signal handler may not cancel the session itself; a watcher does.
    std::atomic<bool> finished{false};
    std::thread watcher([&] {
        while (!finished) {
            if (interrupted) {
                session.cancel();
                break;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
    });
    const BookSessionResult result = session.run(book, options);
    finished = true;
    watcher.join();
    std::signal(SIGINT, SIG_DFL);
    std::signal(SIGTERM, SIG_DFL);
    if (terminal) std::fprintf(context.err, "\n");

    if (!result.written) {
        std::fprintf(context.err, "novel: download-book: %s: %s\n", url.c_str(),
                     result.error.c_str());
        return kExitFailure;
    }
    if (!result.packageProblem.empty())
        std::fprintf(context.err, "novel: download-book: TXT包未用上：%s，全书从章节页面下载\n",
                     result.packageProblem.c_str());
    Json missing = Json::array();
    for (const MissingChapter& m : result.missing)
        missing.push_back(
            Json{{"title", toUtf8(m.title)}, {"url", toUtf8(m.url)}, {"reason", m.reason}});
    const Json out{{"file", result.file.string()},      {"chapters", result.chapters},
                   {"fromPackage", result.fromPackage}, {"fromEarlier", result.fromEarlier},
                   {"fromPages", result.fromPages},     {"missing", missing}};
    std::fprintf(context.out, "%s\n",
                 out.dump(-1, ' ', false, Json::error_handler_t::replace).c_str());
    return result.complete() ? kExitOk : kExitFailure;
}

}  // namespace novel::cli
