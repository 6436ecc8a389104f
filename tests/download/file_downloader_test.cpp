#include "download/file_downloader.h"

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <mutex>
#include <thread>
#include <vector>

#include "support/download_faults.h"
#include "support/loopback_server.h"
#include "web/file_io.h"

namespace novel {
namespace {
namespace fs = std::filesystem;
using namespace std::chrono_literals;

// Records the events of one transfer and lets the test wait for the end event.
struct EventLog {
    std::mutex mutex;
    std::condition_variable ended;
    std::vector<std::pair<int, int64_t>> events;

    std::function<void(int, int64_t, int64_t, int64_t, int64_t)> callback() {
        return [this](int event, int64_t, int64_t b, int64_t, int64_t) {
            std::lock_guard lock(mutex);
            events.emplace_back(event, b);
            ended.notify_all();
        };
    }
    bool waitForEnd(std::chrono::seconds limit = 20s) {
        std::unique_lock lock(mutex);
        return ended.wait_for(lock, limit, [&] {
            return !events.empty() && events.back().first == kDownloadEventEnded;
        });
    }
};

class FileDownloaderTest : public ::testing::Test {
  protected:
    void SetUp() override {
        dir_ = fs::temp_directory_path() /
               ("novel-dl-" + std::to_string(::getpid()) + "-" +
                ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::create_directories(dir_);
    }
    void TearDown() override { fs::remove_all(dir_); }

    DownloadRequest request(const std::string& url) {
        DownloadRequest r;
        r.sourceUrl = url;
        r.targetFile = (dir_ / "VOREDI5.exe.tmp").string();
        r.connectTimeoutMs = 5000;
        r.receiveTimeoutMs = 10000;
        r.eventCallback = log_.callback();
        return r;
    }

    fs::path dir_;
    EventLog log_;
};

void serveBook(httplib::Server& s) {
    s.Get("/book.txt", [](const httplib::Request&, httplib::Response& res) {
        res.set_content(std::string(300000, 'x'), "text/plain");
    });
    test::serveDownloadFaults(s);
    // A large body that trickles, for stopping a transfer under way.
    s.Get("/slow.txt", [](const httplib::Request&, httplib::Response& res) {
        res.set_content_provider(10000000, "text/plain",
                                 [](size_t, size_t, httplib::DataSink& sink) {
                                     std::this_thread::sleep_for(20ms);
                                     std::string part(1000, 'z');
                                     return sink.write(part.data(), part.size());
                                 });
    });
}

TEST_F(FileDownloaderTest, DownloadsWholeFileAndReportsSizeThenEnd) {
    test::LoopbackServer server(serveBook);
    FileDownloader downloader;
    ASSERT_TRUE(downloader.start(request(server.url("/book.txt"))));
    ASSERT_TRUE(log_.waitForEnd());
    downloader.stop();  // joins; harmless after the end

    EXPECT_TRUE(downloader.outcome().ok) << downloader.outcome().error;
    EXPECT_EQ(downloader.received(), 300000);
    EXPECT_EQ(downloader.totalSize(), 300000);
    EXPECT_EQ(fs::file_size(dir_ / "VOREDI5.exe.tmp"), 300000u);
    std::lock_guard lock(log_.mutex);
    ASSERT_EQ(log_.events.size(), 2u);
    EXPECT_EQ(log_.events[0], std::make_pair(kDownloadEventTotalSize, int64_t{300000}));
    EXPECT_EQ(log_.events[1].first, kDownloadEventEnded);
}

TEST_F(FileDownloaderTest, FailuresAreReportedWithTheirReason) {
    test::LoopbackServer server(serveBook);
    struct Case {
        std::string url;
        long status;
    };
    const std::vector<Case> cases = {
        {server.url("/missing.txt"), 404},
        {server.url("/broken.txt"), 500},
        {server.url("/empty.txt"), 200},
        {server.url("/cut.txt"), 200},
        {"http://127.0.0.1:" + std::to_string(test::unusedPort()) + "/book.txt", 0},
    };
    for (const Case& c : cases) {
        FileDownloader downloader;
        EventLog log;
        DownloadRequest r = request(c.url);
        r.eventCallback = log.callback();
        ASSERT_TRUE(downloader.start(r));
        ASSERT_TRUE(log.waitForEnd()) << c.url;
        downloader.stop();
        DownloadOutcome outcome = downloader.outcome();
        EXPECT_FALSE(outcome.ok) << c.url;
        EXPECT_FALSE(outcome.stopped) << c.url;
        EXPECT_FALSE(outcome.error.empty()) << c.url;
        EXPECT_EQ(outcome.httpStatus, c.status) << c.url;
    }
}

TEST_F(FileDownloaderTest, StopEndsARunningTransferPromptly) {
    test::LoopbackServer server(serveBook);
    FileDownloader downloader;
    ASSERT_TRUE(downloader.start(request(server.url("/slow.txt"))));
    EXPECT_FALSE(downloader.start(request(server.url("/book.txt"))));  // one at a time
    while (downloader.received() == 0) std::this_thread::sleep_for(10ms);
    downloader.stop();
    EXPECT_FALSE(downloader.running());
    EXPECT_TRUE(downloader.outcome().stopped);
    EXPECT_FALSE(downloader.outcome().ok);
    EXPECT_TRUE(log_.waitForEnd(1s));

    // The same downloader can start again afterwards.
    EventLog again;
    DownloadRequest r = request(server.url("/book.txt"));
    r.eventCallback = again.callback();
    ASSERT_TRUE(downloader.start(r));
    ASSERT_TRUE(again.waitForEnd());
    downloader.stop();
    EXPECT_TRUE(downloader.outcome().ok);
}

}  // namespace
}  // namespace novel
