#pragma once
// The libcurl set-up shared by httpFetch, fetchPlain and the request engine: one place for the
// options, the header blocks, the user agents and the words that say how a transfer went.
// Internal to the core.

#include <curl/curl.h>

#include <memory>
#include <string>
#include <string_view>

#include "web/request_engine.h"

namespace novel::curl {

struct EasyDeleter {
    void operator()(CURL* handle) const { curl_easy_cleanup(handle); }
};
struct ListDeleter {
    void operator()(curl_slist* list) const { curl_slist_free_all(list); }
};
using EasyHandle = std::unique_ptr<CURL, EasyDeleter>;
using HeaderList = std::unique_ptr<curl_slist, ListDeleter>;

// What one transfer collects. With redirects followed, only the last response counts: a new
// status line starts the headers (and the body) afresh.
struct Transfer {
    Bytes body;
    std::string headers;
    bool answered = false;  // some response line came back from the server
};

// Makes sure libcurl is initialised (once per process) before any handle is made.
void initialise();

// The words for a transfer that gave no usable page; empty when it did.
std::string describeOutcome(CURLcode result, bool answered, long status);

// The address handed to libcurl for a URL as the site writes it.
std::string requestUrl(std::string_view url);

// Options of every request: protocols, redirect limit, direct connection, time-outs, callbacks.
void setCommonOptions(CURL* handle);
// Points the handle at the address (kept alive by the caller) and at the transfer to fill.
void setTransfer(CURL* handle, const std::string& address, Transfer* transfer);
// The run's cookie store.
void useSharedCookies(CURL* handle);

// The header block httpFetch sends for `url` given the caller's extra headers and cookies, and the
// user agent those headers ask for.
Text headerBlock(std::string_view url, std::string_view extraHeaders, std::string_view cookies);
Text agentFrom(std::string_view extraHeaders);
// The block as libcurl's header list; empty on lack of memory.
HeaderList headerListFrom(std::string_view block);
// httpFetch's protocol version, agent, header list and redirect rule.
void setPageOptions(CURL* handle, const Text& agent, curl_slist* headers, bool noRedirect);

// A complete GET in one of the two styles, common options included; `headers` receives the list
// the handle sends, to be kept as long as the handle. False on lack of memory.
bool setStyleOptions(CURL* handle, RequestStyle style, std::string_view url, HeaderList* headers);

}  // namespace novel::curl
