#include "web/http.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <set>
#include <string>

#include "support/loopback_server.h"

namespace novel {
namespace {

using test::LoopbackServer;
using test::RecordedRequest;
using ::testing::HasSubstr;
using ::testing::Not;

std::set<std::string> headerNames(const RecordedRequest& request) {
    std::set<std::string> names;
    for (const auto& header : request.headers) names.insert(lowerAscii(header.first));
    return names;
}

// Routes most tests share.
void basicRoutes(httplib::Server& server) {
    auto answer = [](std::string body) {
        return [body](const httplib::Request&, httplib::Response& res) {
            res.set_content(body, "text/html");
        };
    };
    server.Get("/page.html", answer("page"));
    server.Post("/page.html", answer("posted"));
    server.Get("/binary", answer(std::string("a\0b\xD6\xD0\0", 6)));
    server.Get("/missing", [](const httplib::Request&, httplib::Response& res) {
        res.status = 404;
        res.set_content("not here", "text/html");
    });
    server.Get("/from", [](const httplib::Request&, httplib::Response& res) {
        res.set_redirect("/to");
        res.set_content("moved", "text/html");
    });
    server.Get("/to", answer("arrived"));
}

TEST(HttpFetch, PlainGetSendsTheDefaultHeaderBlock) {
    LoopbackServer server(basicRoutes);
    const std::string url = server.url("/page.html");

    Text sent;
    EXPECT_EQ(httpFetch(url, 0, {}, nullptr, nullptr, &sent), "page");
    EXPECT_EQ(sent, "Accept: */*\r\nReferer: " + url +
                        "\r\nAccept-Language: zh-cn"
                        "\r\nContent-Type: application/x-www-form-urlencoded");

    const RecordedRequest request = server.lastRequest();
    EXPECT_EQ(request.method, "GET");
    EXPECT_EQ(request.version, "HTTP/1.1");
    EXPECT_EQ(request.target, "/page.html");
    EXPECT_EQ(headerNames(request),
              (std::set<std::string>{"accept", "accept-language", "content-type", "host", "referer",
                                     "user-agent"}));
    EXPECT_EQ(request.headerCount("Accept"), 1);
    EXPECT_EQ(request.header("Accept"), "*/*");
    EXPECT_EQ(request.header("Referer"), url);
    EXPECT_EQ(request.header("User-Agent"), kDefaultUserAgent);

    // The same request goes out when the caller does not ask for the block.
    EXPECT_EQ(httpFetch(url), "page");
    EXPECT_EQ(server.lastRequest().headers, request.headers);
}

TEST(HttpFetch, MethodOutOfRangeSendsGet) {
    LoopbackServer server(basicRoutes);
    for (int method : {-1, 5}) {
        EXPECT_EQ(httpFetch(server.url("/page.html"), method), "page") << method;
        EXPECT_EQ(server.lastRequest().method, "GET") << method;
    }
}

TEST(HttpFetch, PostSendsTextAndHandsBackItsBytes) {
    LoopbackServer server(basicRoutes);
    const std::string url = server.url("/page.html");

    Bytes postBytes;
    EXPECT_EQ(httpFetch(url, 1, "a=1&b=2", nullptr, nullptr, nullptr, nullptr, false, &postBytes),
              "posted");
    EXPECT_EQ(postBytes, "a=1&b=2");
    RecordedRequest request = server.lastRequest();
    EXPECT_EQ(request.method, "POST");
    EXPECT_EQ(request.body, "a=1&b=2");
    EXPECT_EQ(request.header("Content-Type"), "application/x-www-form-urlencoded");
    EXPECT_EQ(request.headerCount("Expect"), 0);

    // Bytes given by the caller win over the text and may hold zero bytes.
    const Bytes binary("x\0y", 3);
    postBytes = binary;
    httpFetch(url, 1, "ignored", nullptr, nullptr, nullptr, nullptr, false, &postBytes);
    EXPECT_EQ(server.lastRequest().body, binary);
    EXPECT_EQ(postBytes, binary);

    // HEAD hands the text back as well but receives no body; GET leaves the bytes alone.
    postBytes.clear();
    EXPECT_EQ(httpFetch(url, 2, "h", nullptr, nullptr, nullptr, nullptr, false, &postBytes), "");
    EXPECT_EQ(server.lastRequest().method, "HEAD");
    EXPECT_EQ(postBytes, "h");
    postBytes.clear();
    httpFetch(url, 0, "g", nullptr, nullptr, nullptr, nullptr, false, &postBytes);
    EXPECT_EQ(postBytes, "");
}

TEST(HttpFetch, AddressesWithoutSchemeOrInCapitals) {
    LoopbackServer server(basicRoutes);
    const std::string hostPort = "127.0.0.1:" + std::to_string(server.port());

    Text sent;
    EXPECT_EQ(httpFetch(hostPort + "/page.html", 0, {}, nullptr, nullptr, &sent), "page");
    EXPECT_EQ(server.lastRequest().target, "/page.html");
    EXPECT_THAT(sent, HasSubstr("Referer: " + hostPort + "/page.html"));

    EXPECT_EQ(httpFetch("HTTP://" + hostPort + "/page.html?x=1&y=%20"), "page");
    EXPECT_EQ(server.lastRequest().target, "/page.html?x=1&y=%20");
    EXPECT_EQ(fetchPlain(hostPort + "/page.html"), "page");
}

TEST(HttpFetch, AgentComesFromExtraHeaders) {
    LoopbackServer server(basicRoutes);
    const std::string url = server.url("/page.html");

    Text headers = "User-Agent: Foo";
    httpFetch(url, 0, {}, nullptr, nullptr, &headers);
    RecordedRequest request = server.lastRequest();
    EXPECT_EQ(request.headerCount("User-Agent"), 1);
    EXPECT_EQ(request.header("User-Agent"), "Foo");
    EXPECT_EQ(headers, "User-Agent: Foo\r\nAccept: */*\r\nReferer: " + url +
                           "\r\nAccept-Language: zh-cn"
                           "\r\nContent-Type: application/x-www-form-urlencoded");

    headers = "User-Agent: Foo\r\nX: y";
    httpFetch(url, 0, {}, nullptr, nullptr, &headers);
    request = server.lastRequest();
    EXPECT_EQ(request.headerCount("User-Agent"), 1);
    EXPECT_EQ(request.header("User-Agent"), "Foo");
    EXPECT_EQ(request.header("X"), "y");

    // The caller's own lines replace the defaults instead of doubling them.
    headers = "Accept: text/html\r\nReferer: http://elsewhere/";
    httpFetch(url, 0, {}, nullptr, nullptr, &headers);
    request = server.lastRequest();
    EXPECT_EQ(request.headerCount("Accept"), 1);
    EXPECT_EQ(request.header("Accept"), "text/html");
    EXPECT_EQ(request.header("Referer"), "http://elsewhere/");
}

TEST(HttpFetch, ZeroBytesAndErrorPagesComeBackWhole) {
    LoopbackServer server(basicRoutes);
    EXPECT_EQ(httpFetch(server.url("/binary")), std::string("a\0b\xD6\xD0\0", 6));
    EXPECT_EQ(fetchPlain(server.url("/binary")), std::string("a\0b\xD6\xD0\0", 6));
    EXPECT_EQ(httpFetch(server.url("/missing")), "not here");
    EXPECT_EQ(fetchPlain(server.url("/missing")), "not here");
}

TEST(HttpFetch, RedirectsFollowedUnlessAskedNotTo) {
    LoopbackServer server(basicRoutes);

    Text headers;
    EXPECT_EQ(httpFetch(server.url("/from"), 0, {}, nullptr, nullptr, nullptr, &headers),
              "arrived");
    EXPECT_THAT(headers, ::testing::StartsWith("HTTP/1.1 200"));
    EXPECT_THAT(headers, Not(HasSubstr("Location")));
    EXPECT_THAT(headers, ::testing::EndsWith("\r\n\r\n"));

    const size_t before = server.requests().size();
    EXPECT_EQ(httpFetch(server.url("/from"), 0, {}, nullptr, nullptr, nullptr, &headers, true),
              "moved");
    EXPECT_THAT(headers, ::testing::StartsWith("HTTP/1.1 302"));
    EXPECT_THAT(headers, HasSubstr("Location: /to\r\n"));
    EXPECT_EQ(server.requests().size(), before + 1);

    EXPECT_EQ(fetchPlain(server.url("/from")), "arrived");
}

// Cookie tests talk to "localhost", so what they leave in the run's cookie store never reaches
// the 127.0.0.1 requests of the other tests.
std::string localUrl(const LoopbackServer& server, std::string_view path) {
    return "http://localhost:" + std::to_string(server.port()) + std::string(path);
}

TEST(HttpFetch, SetCookieInAnyCaseIsCollected) {
    LoopbackServer server([](httplib::Server& s) {
        s.Get("/mixed", [](const httplib::Request&, httplib::Response& res) {
            res.set_header("set-cookie", "a=1; path=/");
            res.set_header("SET-COOKIE", "b=2");
            res.set_content("ok", "text/plain");
        });
        s.Get("/none", [](const httplib::Request&, httplib::Response& res) {
            res.set_content("ok", "text/plain");
        });
        s.Get("/huge", [](const httplib::Request&, httplib::Response& res) {
            res.set_header("X-Filler", std::string(6000, 'x'));
            res.set_header("Set-Cookie", "big=1");
            res.set_content("ok", "text/plain");
        });
    });

    Text returned;
    Text headers;
    EXPECT_EQ(httpFetch(localUrl(server, "/mixed"), 0, {}, nullptr, &returned, nullptr, &headers),
              "ok");
    EXPECT_EQ(returned, "a=1; b=2");
    EXPECT_THAT(headers, HasSubstr("\r\nSet-Cookie: a=1; path=/\r\n"));
    EXPECT_THAT(headers, HasSubstr("\r\nSet-Cookie: b=2\r\n"));

    httpFetch(localUrl(server, "/none"), 0, {}, nullptr, &returned, nullptr, &headers);
    EXPECT_EQ(returned, "");
    EXPECT_THAT(headers, ::testing::StartsWith("HTTP/1.1 200"));

    // Headers too long for the 5000-byte buffer read as blanks, and their cookies are lost.
    httpFetch(localUrl(server, "/huge"), 0, {}, nullptr, &returned, nullptr, &headers);
    EXPECT_EQ(headers, std::string(5000, ' '));
    EXPECT_EQ(returned, "");
}

TEST(HttpFetch, CallerCookiesBypassTheSharedStore) {
    LoopbackServer server([](httplib::Server& s) {
        s.Get("/store/set", [](const httplib::Request&, httplib::Response& res) {
            res.set_header("Set-Cookie", "kept=1; path=/store");
            res.set_content("ok", "text/plain");
        });
        s.Get("/store/renew", [](const httplib::Request&, httplib::Response& res) {
            res.set_header("Set-Cookie", "fresh=2; path=/store");
            res.set_header("Set-Cookie", "old=deleted; path=/store");
            res.set_content("ok", "text/plain");
        });
        s.Get("/store/echo", [](const httplib::Request& req, httplib::Response& res) {
            res.set_content(req.get_header_value("Cookie"), "text/plain");
        });
    });
    const std::string echo = localUrl(server, "/store/echo");

    // Without caller cookies the run's store keeps them, for both operations.
    httpFetch(localUrl(server, "/store/set"));
    EXPECT_THAT(httpFetch(echo), HasSubstr("kept=1"));
    EXPECT_THAT(fetchPlain(echo), HasSubstr("kept=1"));

    // With caller cookies only those are sent, and what the server sets is merged into them.
    Text cookies = "z=9";
    EXPECT_EQ(httpFetch(echo, 0, {}, &cookies), "z=9");
    cookies = "old=1; z=9";
    Text returned;
    Text sent;
    httpFetch(localUrl(server, "/store/renew"), 0, {}, &cookies, &returned, &sent);
    EXPECT_EQ(cookies, "fresh=2; z=9");
    EXPECT_EQ(returned, "fresh=2;old=deleted");
    EXPECT_THAT(sent, ::testing::EndsWith("\r\nCookie: old=1; z=9"));
    const Bytes stored = httpFetch(echo);
    EXPECT_THAT(stored, HasSubstr("kept=1"));
    EXPECT_THAT(stored, Not(HasSubstr("fresh")));
}

TEST(HttpFetch, UnreachableServerLeavesEverythingAlone) {
    const std::string url = "http://127.0.0.1:" + std::to_string(test::unusedPort()) + "/x";
    Text cookies = "c=1";
    Text returned = "r";
    Text extra = "X-Mine: 1";
    Text headers = "h";
    Bytes postBytes;
    EXPECT_EQ(httpFetch(url, 1, "body", &cookies, &returned, &extra, &headers, false, &postBytes),
              "");
    EXPECT_EQ(cookies, "c=1");
    EXPECT_EQ(returned, "r");
    EXPECT_EQ(extra, "X-Mine: 1");
    EXPECT_EQ(headers, "h");
    EXPECT_EQ(postBytes, "");
    EXPECT_EQ(fetchPlain(url), "");
}

TEST(HttpFetch, UntrustedCertificateIsRefused) {
    LoopbackServer server(basicRoutes, LoopbackServer::Scheme::SelfSignedHttps);
    Text extra = "X-Mine: 1";
    EXPECT_EQ(httpFetch(server.url("/page.html"), 0, {}, nullptr, nullptr, &extra), "");
    EXPECT_EQ(extra, "X-Mine: 1");
    EXPECT_EQ(fetchPlain(server.url("/page.html")), "");
    EXPECT_TRUE(server.requests().empty());
}

TEST(FetchPlain, SendsHttp10WithAcceptOnly) {
    LoopbackServer server(basicRoutes);
    EXPECT_EQ(fetchPlain(server.url("/page.html")), "page");
    const RecordedRequest request = server.lastRequest();
    EXPECT_EQ(request.method, "GET");
    EXPECT_EQ(request.version, "HTTP/1.0");
    EXPECT_EQ(headerNames(request), (std::set<std::string>{"accept", "host", "user-agent"}));
    EXPECT_EQ(request.header("Accept"), "*/*");
    EXPECT_EQ(request.header("User-Agent"), kPlainUserAgent);
}

TEST(UrlParts, HostPortAndPath) {
    EXPECT_EQ(urlHost("HTTP://Host:8080/a", false), "host");
    EXPECT_EQ(urlHost("HTTP://Host:8080/a", true), "host:8080");
    EXPECT_EQ(urlHost("https://Secure.example/x", false), "secure.example");
    EXPECT_EQ(urlHost("host/page.html", false), "host");
    EXPECT_EQ(urlHost("http://host", false), "host");

    EXPECT_EQ(urlPort("HTTP://Host:8080/a"), 8080);
    EXPECT_EQ(urlPort("https://host/x"), 443);
    EXPECT_EQ(urlPort("HTTPS://host/x"), 443);
    EXPECT_EQ(urlPort("http://host/x"), 80);
    EXPECT_EQ(urlPort("host/page.html"), 80);
    EXPECT_EQ(urlPort("http://host:abc/"), 0);

    EXPECT_EQ(urlPath("http://host/a/b.html?x=1"), "/a/b.html?x=1");
    EXPECT_EQ(urlPath("http://host"), "/");
    EXPECT_EQ(urlPath("HTTP://Host:8080/a"), "/a");
    EXPECT_EQ(urlPath("host/page.html"), "/page.html");
}

TEST(MergeCookies, ServerCookiesFirstDeletedDropped) {
    struct Case {
        Text cookies, returned, merged, returnedAfter;
    };
    for (const Case& c : {
             Case{"a=1; b=2; c=3", "b=9; c=deleted", "b=9; a=1", "b=9;c=deleted"},
             Case{"a=1; a=2", "", "a=1", ""},
             Case{"x=1", "x=deleted", "", "x=deleted"},
             Case{"p=1", "q=2", "q=2; p=1", "q=2"},
             Case{"p=1", "q=2; q=2", "q=2; p=1", "q=2;q=2"},
             Case{"a=1;;b=2", "", "a=1; b=2", ""},
         }) {
        Text cookies = c.cookies;
        Text returned = c.returned;
        mergeCookies(&cookies, &returned);
        EXPECT_EQ(cookies, c.merged) << c.cookies << " + " << c.returned;
        EXPECT_EQ(returned, c.returnedAfter) << c.cookies << " + " << c.returned;
    }
}

}  // namespace
}  // namespace novel
