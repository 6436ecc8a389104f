#pragma once
// The two blocking HTTP GETs the site is read with.
//
// httpFetch: a general request (GET/POST/HEAD, caller cookies, extra headers, proxy) that starts
// from nothing on every call. fetchPlain: a plain HTTP/1.0 GET that keeps one connection handle for
// the run. Both return the body as received, or empty bytes on failure; neither ever hangs for
// good: a connect time-out and a stalled-transfer abort apply to every request.

#include <string>
#include <string_view>

#include "web/text.h"

namespace novel {

inline constexpr std::string_view kDefaultUserAgent =
    "Mozilla/4.0 (compatible; MSIE 9.0; Windows NT 6.1)";
inline constexpr std::string_view kPlainUserAgent =
    "Mozilla/4.0 (compatible; MSIE 6.0; Windows NT 5.0)";

// Seconds allowed to connect, and seconds without any byte after which a transfer is given up.
inline constexpr long kConnectTimeoutSeconds = 15;
inline constexpr long kStallTimeoutSeconds = 30;
// Seconds a whole page request may take by default: a server that sends a byte now and then
// never stalls, but the window waiting for the page must not wait for ever.
inline constexpr long kDefaultPageTimeLimitSeconds = 60;

// Sets the limit on a whole page request for every later httpFetch and fetchPlain (0: none).
void setPageTimeLimit(long seconds);

// Why the last httpFetch or fetchPlain on this thread gave no usable page, in words for the user
// ("网站返回错误 404"); empty when the page came back whole with a success status.
std::string lastFetchProblem();

// method: 0 GET, 1 POST, 2 HEAD (anything else is GET). Pointer arguments are the caller's
// variables (null = not supplied): cookies is in/out and, when supplied, turns off the shared
// cookie store; extraHeaders receives the header block that was sent; postBytes receives postText's
// bytes when it was empty and a body is sent.
Bytes httpFetch(std::string_view url, int method = 0, std::string_view postText = {},
                Text* cookies = nullptr, Text* returnedCookies = nullptr,
                Text* extraHeaders = nullptr, Text* responseHeaders = nullptr,
                bool noRedirect = false, Bytes* postBytes = nullptr, std::string_view proxy = {});

Bytes fetchPlain(std::string_view url);

Text urlHost(std::string_view url, bool keepPort);
int urlPort(std::string_view url);
Text urlPath(std::string_view url);

// Merges the cookies a response set into the caller's set; both are rewritten (see the notes in
// the implementation for the order and the "=deleted" rule).
void mergeCookies(Text* cookies, Text* returnedCookies);

}  // namespace novel
