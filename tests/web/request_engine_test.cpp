#include "web/request_engine.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <atomic>
#include <condition_variable>
#include <future>
#include <mutex>
#include <string>
#include <vector>

#include "support/loopback_server.h"

namespace novel {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
using test::LoopbackServer;

// Quick retries so the tests stay short.
EngineOptions quick() {
    EngineOptions options;
    options.firstRetryPause = 20ms;
    options.pageTimeLimitSeconds = 20;
    return options;
}

// Holds server handlers until opened (or until a while has passed, so a failing test still ends).
class Gate {
  public:
    void wait() {
        std::unique_lock lock(mutex_);
        changed_.wait_for(lock, 10s, [this] { return open_; });
    }
    void open() {
        std::lock_guard lock(mutex_);
        open_ = true;
        changed_.notify_all();
    }

  private:
    std::mutex mutex_;
    std::condition_variable changed_;
    bool open_ = false;
};

// Results handed to callbacks, in the order they came.
class Outcomes {
  public:
    RequestEngine::Callback collect(std::string name) {
        return [this, name](FetchResult result) {
            std::lock_guard lock(mutex_);
            got_.emplace_back(name, std::move(result));
            changed_.notify_all();
        };
    }
    // True when `count` results have come within a generous while.
    bool waitFor(size_t count) {
        std::unique_lock lock(mutex_);
        return changed_.wait_for(lock, 20s, [&] { return got_.size() >= count; });
    }
    std::vector<std::pair<std::string, FetchResult>> all() {
        std::lock_guard lock(mutex_);
        return got_;
    }

  private:
    std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<std::pair<std::string, FetchResult>> got_;
};

// Waits until `counter` reaches `count`; false when it does not within a generous while.
bool reaches(const std::atomic<int>& counter, int count) {
    const auto until = Clock::now() + 10s;
    while (counter < count) {
        if (Clock::now() > until) return false;
        std::this_thread::sleep_for(2ms);
    }
    return true;
}

void answer(httplib::Response& res, int status, std::string body) {
    res.status = status;
    res.set_content(std::move(body), "text/html");
}

TEST(RequestEngine, RequestsGoOutAsHttpFetchAndFetchPlainSendThem) {
    LoopbackServer server([](httplib::Server& s) {
        s.Get("/page.html", [](const httplib::Request&, httplib::Response& res) {
            answer(res, 200, std::string("p\0age", 5));
        });
        s.Get("/missing", [](const httplib::Request&, httplib::Response& res) {
            answer(res, 404, "not here");
        });
    });
    const std::string url = server.url("/page.html");
    RequestEngine engine(quick());

    FetchResult page = engine.fetch({url});
    EXPECT_TRUE(page.ok()) << page.problem;
    EXPECT_EQ(page.body, std::string("p\0age", 5));
    EXPECT_EQ(page.status, 200);
    EXPECT_EQ(page.attempts, 1);
    const test::RecordedRequest fromEngine = server.lastRequest();
    httpFetch(url);
    EXPECT_EQ(fromEngine.headers, server.lastRequest().headers);
    EXPECT_EQ(fromEngine.version, "HTTP/1.1");

    FetchResult plain = engine.fetch({url, RequestStyle::Plain});
    EXPECT_TRUE(plain.ok());
    const test::RecordedRequest plainFromEngine = server.lastRequest();
    fetchPlain(url);
    EXPECT_EQ(plainFromEngine.headers, server.lastRequest().headers);
    EXPECT_EQ(plainFromEngine.version, "HTTP/1.0");

    // A client error is final: asked once, and the error page is kept apart from the body.
    const size_t before = server.requests().size();
    FetchResult missing = engine.fetch({server.url("/missing")});
    EXPECT_FALSE(missing.ok());
    EXPECT_EQ(missing.problem, "网站返回错误 404");
    EXPECT_EQ(missing.status, 404);
    EXPECT_EQ(missing.attempts, 1);
    EXPECT_EQ(missing.body, "");
    EXPECT_EQ(missing.errorPage, "not here");
    EXPECT_EQ(server.requests().size(), before + 1);

    // Nobody listening is not a passing failure either.
    FetchResult refused =
        engine.fetch({"http://127.0.0.1:" + std::to_string(test::unusedPort()) + "/x"});
    EXPECT_EQ(refused.problem, "无法连接网站");
    EXPECT_EQ(refused.status, 0);
    EXPECT_EQ(refused.attempts, 1);
}

TEST(RequestEngine, SharesTheRunsCookiesAndRefusesToWaitOnItself) {
    LoopbackServer server([](httplib::Server& s) {
        s.Get("/jar/set", [](const httplib::Request& req, httplib::Response& res) {
            res.set_header("Set-Cookie", req.get_param_value("n") + "=1; path=/jar");
            answer(res, 200, "set");
        });
        s.Get("/jar/echo", [](const httplib::Request& req, httplib::Response& res) {
            answer(res, 200, req.get_header_value("Cookie"));
        });
    });
    // "localhost", so the cookies stay away from the other tests' 127.0.0.1 requests.
    const std::string site = "http://localhost:" + std::to_string(server.port());
    RequestEngine engine(quick());
    EXPECT_TRUE(engine.fetch({site + "/jar/set?n=engine"}).ok());
    httpFetch(site + "/jar/set?n=blocking");
    EXPECT_THAT(httpFetch(site + "/jar/echo"), ::testing::HasSubstr("engine=1"));
    const FetchResult echoed = engine.fetch({site + "/jar/echo", RequestStyle::Plain});
    EXPECT_THAT(echoed.body, ::testing::HasSubstr("blocking=1"));

    // Waiting for the engine on its own thread would never end.
    std::promise<FetchResult> inner;
    engine.submit({site + "/jar/echo"},
                  [&](FetchResult) { inner.set_value(engine.fetch({site + "/jar/echo"})); });
    std::future<FetchResult> refused = inner.get_future();
    ASSERT_EQ(refused.wait_for(20s), std::future_status::ready);
    EXPECT_EQ(refused.get().problem, "无法开始读取网页");
}

TEST(RequestEngine, PassingFailuresAreTriedAgain) {
    std::atomic<int> flaky = 0, reset = 0, broken = 0;
    LoopbackServer server([&](httplib::Server& s) {
        s.Get("/flaky", [&](const httplib::Request&, httplib::Response& res) {
            if (++flaky <= 2) return answer(res, 503, "busy");
            answer(res, 200, "fine");
        });
        s.Get("/reset", [&](const httplib::Request&, httplib::Response& res) {
            if (++reset > 2) return answer(res, 200, "whole");
            res.set_content_provider(100, "text/html",
                                     [](size_t offset, size_t, httplib::DataSink& sink) {
                                         if (offset > 0) return false;  // drops the connection
                                         sink.write("half", 4);
                                         return true;
                                     });
        });
        s.Get("/broken", [&](const httplib::Request&, httplib::Response& res) {
            ++broken;
            answer(res, 500, "broken page");
        });
    });
    RequestEngine engine(quick());

    FetchResult result = engine.fetch({server.url("/flaky")});
    EXPECT_TRUE(result.ok()) << result.problem;
    EXPECT_EQ(result.body, "fine");
    EXPECT_EQ(result.attempts, 3);
    EXPECT_EQ(flaky, 3);

    result = engine.fetch({server.url("/reset"), RequestStyle::Plain});
    EXPECT_TRUE(result.ok()) << result.problem;
    EXPECT_EQ(result.body, "whole");
    EXPECT_EQ(result.attempts, 3);
    EXPECT_EQ(reset, 3);

    // Two retries and no more; the last answer says why.
    result = engine.fetch({server.url("/broken")});
    EXPECT_EQ(result.problem, "网站返回错误 500");
    EXPECT_EQ(result.status, 500);
    EXPECT_EQ(result.errorPage, "broken page");
    EXPECT_EQ(result.attempts, 3);
    EXPECT_EQ(broken, 3);
}

TEST(RequestEngine, RetryAfterIsHonouredUpToTheCap) {
    std::mutex mutex;
    std::vector<Clock::time_point> arrivals;
    char date[64];
    const std::time_t later = std::time(nullptr) + 3600;
    std::strftime(date, sizeof date, "%a, %d %b %Y %H:%M:%S GMT", std::gmtime(&later));
    LoopbackServer server([&](httplib::Server& s) {
        auto slowDown = [&](std::string retryAfter, int status) {
            return [&, retryAfter, status](const httplib::Request&, httplib::Response& res) {
                std::lock_guard lock(mutex);
                arrivals.push_back(Clock::now());
                if (arrivals.size() > 1) return answer(res, 200, "at last");
                res.set_header("Retry-After", retryAfter);
                answer(res, status, "later");
            };
        };
        s.Get("/seconds", slowDown("1", 429));
        s.Get("/date", slowDown(date, 503));
    });
    EngineOptions options = quick();
    options.longestRetryAfter = 1s;
    RequestEngine engine(options);

    for (const char* path : {"/seconds", "/date"}) {
        SCOPED_TRACE(path);
        {
            std::lock_guard lock(mutex);
            arrivals.clear();
        }
        std::promise<FetchResult> done;
        engine.submit({server.url(path)}, [&](FetchResult r) { done.set_value(std::move(r)); });
        std::future<FetchResult> result = done.get_future();
        // An hour-long wait not cut to the cap would stop the test here.
        ASSERT_EQ(result.wait_for(30s), std::future_status::ready);
        EXPECT_TRUE(result.get().ok());
        std::lock_guard lock(mutex);
        ASSERT_EQ(arrivals.size(), 2u);
        EXPECT_GE(arrivals[1] - arrivals[0], 950ms);
    }
}

TEST(RequestEngine, RetryAfterValues) {
    const auto now = std::chrono::system_clock::from_time_t(1700000000);  // 14 Nov 2023 22:13:20
    EXPECT_EQ(retryAfterPause("2", now, 30s), 2000ms);
    EXPECT_EQ(retryAfterPause(" 0 ", now, 30s), 0ms);
    EXPECT_EQ(retryAfterPause("120", now, 30s), 30000ms);
    EXPECT_EQ(retryAfterPause("99999999999999999999", now, 30s), 30000ms);
    EXPECT_EQ(retryAfterPause("Tue, 14 Nov 2023 22:13:25 GMT", now, 30s), 5000ms);
    EXPECT_EQ(retryAfterPause("Tue, 14 Nov 2023 23:13:20 GMT", now, 30s), 30000ms);
    EXPECT_EQ(retryAfterPause("Mon, 13 Nov 2023 22:13:20 GMT", now, 30s), 0ms);
    EXPECT_EQ(retryAfterPause("Fri, 31 Dec 9999 23:59:59 GMT", now, 30s), 30000ms);
    EXPECT_EQ(retryAfterPause("", now, 30s), std::nullopt);
    EXPECT_EQ(retryAfterPause("soon", now, 30s), std::nullopt);
    EXPECT_EQ(retryAfterPause("-5", now, 30s), std::nullopt);
}

TEST(RequestEngine, NeverMoreThanTheSiteLimitAtOnce) {
    std::mutex mutex;
    std::condition_variable changed;
    int inside = 0, most = 0;
    LoopbackServer server([&](httplib::Server& s) {
        s.Get("/slow", [&](const httplib::Request&, httplib::Response& res) {
            std::unique_lock lock(mutex);
            most = std::max(most, ++inside);
            changed.notify_all();
            // Stay until a second request is in, so a limit of one would show as well.
            changed.wait_for(lock, 2s, [&] { return inside >= 2; });
            lock.unlock();
            std::this_thread::sleep_for(10ms);
            lock.lock();
            --inside;
            answer(res, 200, "ok");
        });
    });
    EngineOptions options = quick();
    options.perSiteLimit = 2;
    RequestEngine engine(options);
    Outcomes outcomes;
    for (int i = 0; i < 10; ++i) engine.submit({server.url("/slow")}, outcomes.collect("slow"));
    ASSERT_TRUE(outcomes.waitFor(10));
    for (const auto& [name, result] : outcomes.all()) EXPECT_TRUE(result.ok()) << result.problem;
    std::lock_guard lock(mutex);
    EXPECT_EQ(most, 2);
}

TEST(RequestEngine, QueuedUserRequestsStartBeforeBackgroundOnes) {
    Gate gate;
    std::atomic<int> blocked = 0;
    std::mutex mutex;
    std::vector<std::string> order;
    LoopbackServer server([&](httplib::Server& s) {
        s.Get("/block", [&](const httplib::Request&, httplib::Response& res) {
            ++blocked;
            gate.wait();
            answer(res, 200, "ok");
        });
        s.Get("/page", [&](const httplib::Request& req, httplib::Response& res) {
            std::lock_guard lock(mutex);
            order.push_back(req.get_param_value("n"));
            answer(res, 200, "ok");
        });
    });
    EngineOptions options = quick();
    options.perSiteLimit = 1;
    RequestEngine engine(options);
    Outcomes outcomes;
    engine.submit({server.url("/block")}, outcomes.collect("block"));
    ASSERT_TRUE(reaches(blocked, 1));
    for (const char* n : {"b1", "b2", "b3"})
        engine.submit({server.url("/page?n=") + n, RequestStyle::Page, RequestPriority::Background},
                      outcomes.collect(n));
    engine.submit({server.url("/page?n=u1")}, outcomes.collect("u1"));
    engine.submit({server.url("/page?n=u2"), RequestStyle::Plain}, outcomes.collect("u2"));
    // Give the engine the chance to get the order wrong before the site is free again.
    std::this_thread::sleep_for(50ms);
    gate.open();
    ASSERT_TRUE(outcomes.waitFor(6));
    std::lock_guard lock(mutex);
    EXPECT_EQ(order, (std::vector<std::string>{"u1", "u2", "b1", "b2", "b3"}));
}

TEST(RequestEngine, CancelledRequestsEndAtOnceAndAskNoMore) {
    Gate gate;
    std::atomic<int> blocked = 0, queued = 0, busy = 0;
    LoopbackServer server([&](httplib::Server& s) {
        s.Get("/block", [&](const httplib::Request&, httplib::Response& res) {
            ++blocked;
            gate.wait();
            answer(res, 200, "ok");
        });
        s.Get("/queued", [&](const httplib::Request&, httplib::Response& res) {
            ++queued;
            answer(res, 200, "ok");
        });
    });
    EngineOptions options = quick();
    options.perSiteLimit = 1;
    options.longestRetryAfter = 30s;
    options.pageTimeLimitSeconds = 0;  // none, or the pause would outlast it and end the request
    auto engine = std::make_unique<RequestEngine>(options);
    Outcomes outcomes;

    // Running, with one queued behind it on the same site.
    const RequestId running = engine->submit({server.url("/block")}, outcomes.collect("running"));
    ASSERT_TRUE(reaches(blocked, 1));
    const RequestId waiting = engine->submit({server.url("/queued")}, outcomes.collect("queued"));
    engine->cancel(waiting);
    ASSERT_TRUE(outcomes.waitFor(1));
    engine->cancel(running);
    ASSERT_TRUE(outcomes.waitFor(2));

    // Pausing for 30 seconds before its second attempt (another site: another port).
    LoopbackServer other([&](httplib::Server& s) {
        s.Get("/busy", [&](const httplib::Request&, httplib::Response& res) {
            ++busy;
            res.set_header("Retry-After", "30");
            answer(res, 503, "busy");
        });
    });
    const RequestId pausing = engine->submit({other.url("/busy")}, outcomes.collect("pausing"));
    ASSERT_TRUE(reaches(busy, 1));
    std::this_thread::sleep_for(50ms);  // the answer is read and the pause begun
    engine->cancel(pausing);
    ASSERT_TRUE(outcomes.waitFor(3));
    engine->cancel(pausing);  // already ended: ignored
    engine->cancel(12345);    // never known: ignored

    const auto results = outcomes.all();
    ASSERT_EQ(results.size(), 3u);
    EXPECT_EQ(results[0].first, "queued");
    EXPECT_EQ(results[1].first, "running");
    EXPECT_EQ(results[2].first, "pausing");
    for (const auto& [name, result] : results) {
        EXPECT_TRUE(result.cancelled) << name;
        EXPECT_FALSE(result.ok()) << name;
        EXPECT_EQ(result.body, "") << name;
    }
    EXPECT_EQ(results[0].second.attempts, 0);
    EXPECT_EQ(results[1].second.attempts, 1);
    EXPECT_EQ(results[2].second.attempts, 1);

    gate.open();
    engine.reset();  // nothing of the cancelled requests is left to run
    EXPECT_EQ(queued, 0);
    EXPECT_EQ(blocked, 1);
    EXPECT_EQ(busy, 1);
    EXPECT_EQ(outcomes.all().size(), 3u);
}

TEST(RequestEngine, PageTimeLimitEndsATricklingServer) {
    std::atomic<int> asked = 0;
    LoopbackServer server([&](httplib::Server& s) {
        s.Get("/trickle", [&](const httplib::Request&, httplib::Response& res) {
            ++asked;
            res.set_content_provider(1000, "text/html",
                                     [](size_t, size_t, httplib::DataSink& sink) {
                                         std::this_thread::sleep_for(100ms);
                                         return sink.is_writable() && sink.write("x", 1);
                                     });
        });
    });
    EngineOptions options = quick();
    options.pageTimeLimitSeconds = 1;
    RequestEngine engine(options);
    const FetchResult result = engine.fetch({server.url("/trickle")});
    EXPECT_EQ(result.problem, "网页读取超时");
    EXPECT_EQ(result.status, 200);
    EXPECT_EQ(result.attempts, 1);  // the limit covers every attempt
    EXPECT_EQ(result.body, "");
    EXPECT_EQ(asked, 1);
}

TEST(RequestEngine, DestroyedWhileRequestsRunCallsEveryCallback) {
    Gate gate;
    std::atomic<int> blocked = 0;
    LoopbackServer server([&](httplib::Server& s) {
        s.Get("/block", [&](const httplib::Request&, httplib::Response& res) {
            ++blocked;
            gate.wait();
            answer(res, 200, "ok");
        });
    });
    Outcomes outcomes;
    {
        EngineOptions options = quick();
        options.perSiteLimit = 3;
        RequestEngine engine(options);
        for (int i = 0; i < 5; ++i) {
            engine.submit({server.url("/block")}, [&, i](FetchResult result) {
                // A callback that asks for more while the engine goes down gets an answer too.
                if (i == 0) engine.submit({server.url("/block")}, outcomes.collect("late"));
                outcomes.collect("first")(std::move(result));
            });
        }
        ASSERT_TRUE(reaches(blocked, 3));
    }
    gate.open();
    const auto results = outcomes.all();
    EXPECT_EQ(results.size(), 6u);
    for (const auto& [name, result] : results) EXPECT_TRUE(result.cancelled) << name;
}

}  // namespace
}  // namespace novel
