#include "web/http.h"

#include <curl/curl.h>

#include <array>
#include <atomic>
#include <memory>
#include <mutex>
#include <string>
#include <unordered_set>

#include "web/curl_request.h"

namespace novel {

namespace {

using curl::EasyHandle;
using curl::HeaderList;
using curl::Transfer;

// Raw response headers of this size or more do not fit the 5000-byte buffer (terminator
// included) they have always been read into; such a response reports blanks and no cookies.
constexpr size_t kResponseHeaderLimit = 5000;

constexpr long kMaxRedirects = 20;

std::atomic<long> pageTimeLimitSeconds{kDefaultPageTimeLimitSeconds};
thread_local std::string fetchProblem;

// Runs the transfer under the page time limit and records how it went for lastFetchProblem.
CURLcode performPage(CURL* h, const bool& answered) {
    curl_easy_setopt(h, CURLOPT_TIMEOUT, pageTimeLimitSeconds.load());
    const CURLcode result = curl_easy_perform(h);
    long status = 0;
    curl_easy_getinfo(h, CURLINFO_RESPONSE_CODE, &status);
    fetchProblem = curl::describeOutcome(result, answered, status);
    return result;
}

// Process-wide libcurl state: one cookie store for the run, shared by every request that does not
// bring its own cookies, and the one handle fetchPlain keeps. Never destroyed, so a request made
// while other static objects are being torn down still finds it.
class CurlRuntime {
  public:
    static CurlRuntime& instance() {
        static CurlRuntime* runtime = new CurlRuntime;
        return *runtime;
    }

    CURLSH* cookieShare() const { return share_; }

    // fetchPlain's handle and header list, set up once and used under plainMutex.
    std::mutex plainMutex;
    EasyHandle plainHandle;
    HeaderList plainHeaders;

  private:
    CurlRuntime() {
        curl_global_init(CURL_GLOBAL_DEFAULT);
        share_ = curl_share_init();
        if (share_ == nullptr) return;
        curl_share_setopt(share_, CURLSHOPT_LOCKFUNC, &CurlRuntime::lock);
        curl_share_setopt(share_, CURLSHOPT_UNLOCKFUNC, &CurlRuntime::unlock);
        curl_share_setopt(share_, CURLSHOPT_USERDATA, this);
        curl_share_setopt(share_, CURLSHOPT_SHARE, CURL_LOCK_DATA_COOKIE);
    }

    static void lock(CURL*, curl_lock_data data, curl_lock_access, void* self) {
        static_cast<CurlRuntime*>(self)->locks_[data].lock();
    }
    static void unlock(CURL*, curl_lock_data data, void* self) {
        static_cast<CurlRuntime*>(self)->locks_[data].unlock();
    }

    CURLSH* share_ = nullptr;
    std::array<std::mutex, CURL_LOCK_DATA_LAST> locks_;
};

size_t onBody(char* data, size_t size, size_t count, void* user) {
    try {
        static_cast<Transfer*>(user)->body.append(data, size * count);
        return size * count;
    } catch (...) {
        return 0;  // aborts the transfer
    }
}

size_t onHeaderLine(char* data, size_t size, size_t count, void* user) {
    auto* transfer = static_cast<Transfer*>(user);
    std::string_view line(data, size * count);
    try {
        if (line.starts_with("HTTP/")) {
            transfer->headers.clear();
            transfer->body.clear();
        }
        transfer->headers.append(line);
        transfer->answered = true;
        return line.size();
    } catch (...) {
        return 0;
    }
}

bool isHttps(std::string_view url) {
    return lowerAscii(leftBytes(url, 5)) == "https";
}

bool appendHeader(HeaderList& list, const std::string& line) {
    curl_slist* grown = curl_slist_append(list.get(), line.c_str());
    if (grown == nullptr) return false;
    list.release();
    list.reset(grown);
    return true;
}

bool hasHeaderLine(const TextList& lines, std::string_view lowerName) {
    for (const Text& line : lines) {
        if (lowerAscii(leftBytes(line, static_cast<int>(lowerName.size()))) == lowerName)
            return true;
    }
    return false;
}

// fetchPlain's GET: HTTP/1.0 with its own agent and "Accept: */*" only.
bool setPlainOptions(CURL* h, HeaderList* headers) {
    HeaderList list;
    if (!appendHeader(list, "Accept: */*")) return false;
    const std::string agent(kPlainUserAgent);
    curl::setCommonOptions(h);
    curl_easy_setopt(h, CURLOPT_HTTP_VERSION, static_cast<long>(CURL_HTTP_VERSION_1_0));
    curl_easy_setopt(h, CURLOPT_USERAGENT, agent.c_str());
    curl_easy_setopt(h, CURLOPT_HTTPHEADER, list.get());
    curl_easy_setopt(h, CURLOPT_FOLLOWLOCATION, 1L);
    // One request per connection, as HTTP/1.0 means: a kept connection that the server has
    // meanwhile closed would otherwise fail the next read now and then.
    curl_easy_setopt(h, CURLOPT_FORBID_REUSE, 1L);
    curl::useSharedCookies(h);
    *headers = std::move(list);
    return true;
}

Text normalisedResponseHeaders(std::string_view raw) {
    if (raw.size() >= kResponseHeaderLimit) return Text(kResponseHeaderLimit, ' ');
    return replaceText(textOf(raw), "Set-Cookie", "Set-Cookie", 1, -1, false);
}

Text cookiesSetBy(std::string_view responseHeaders) {
    Text cookies;
    for (const Text& line : splitText(responseHeaders, "\r\n")) {
        if (findText(line, "Set-Cookie") == -1) continue;
        Text value = findText(line, ";") == -1
                         ? trimBlanks(replaceText(line, "Set-Cookie:", {}, 1, -1, false))
                         : trimBlanks(textBetween(line, "Set-Cookie:", ";"));
        cookies += concatTexts(value, "; ");
    }
    if (!cookies.empty()) cookies.resize(cookies.size() - 2);
    return cookies;
}

Text cookieName(std::string_view item) {
    int equals = findText(item, "=");
    return trimBlanks(equals == -1 ? item : item.substr(0, equals - 1));
}

}  // namespace

namespace curl {

void initialise() {
    CurlRuntime::instance();
}

std::string describeOutcome(CURLcode result, bool answered, long status) {
    switch (result) {
        case CURLE_OK:
            return status >= 400 ? "网站返回错误 " + std::to_string(status) : std::string();
        case CURLE_COULDNT_RESOLVE_HOST:
        case CURLE_COULDNT_CONNECT:
            return "无法连接网站";
        case CURLE_OPERATION_TIMEDOUT:
            return answered ? "网页读取超时" : "网站没有响应（超时）";
        case CURLE_TOO_MANY_REDIRECTS:
            return "网页跳转次数过多";
        case CURLE_PARTIAL_FILE:
        case CURLE_RECV_ERROR:
        case CURLE_GOT_NOTHING:
            return answered ? "网页没有读完，连接中断了" : "网站没有回应";
        case CURLE_OUT_OF_MEMORY:
        case CURLE_WRITE_ERROR:
            return "网页太大，无法读入";
        default:
            return std::string("网络错误（") + curl_easy_strerror(result) + "）";
    }
}

// The address handed to libcurl: scheme, host and port as urlHost/urlPort see them, then the
// path. Blanks and control bytes are escaped because libcurl refuses an address holding them.
std::string requestUrl(std::string_view url) {
    std::string out = concatTexts(isHttps(url) ? "https://" : "http://", urlHost(url, false), ":",
                                  std::to_string(urlPort(url)));
    static constexpr char kHex[] = "0123456789ABCDEF";
    for (char c : urlPath(url)) {
        auto b = static_cast<unsigned char>(c);
        if (b <= 0x20 || b == 0x7F) {
            out += '%';
            out += kHex[b >> 4];
            out += kHex[b & 0x0F];
        } else {
            out += c;
        }
    }
    return out;
}

// Web protocols only (redirects included, so an HTTP page may move to HTTPS), a direct
// connection, and the two time-outs that keep a dead or stalled server from blocking the caller
// for good. Certificates are verified (libcurl's default). libcurl keeps no page cache, so nothing
// is needed to make every request reach the server.
void setCommonOptions(CURL* handle) {
    curl_easy_setopt(handle, CURLOPT_PATH_AS_IS, 1L);
    curl_easy_setopt(handle, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(handle, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(handle, CURLOPT_MAXREDIRS, kMaxRedirects);
    curl_easy_setopt(handle, CURLOPT_PROXY, "");
    curl_easy_setopt(handle, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(handle, CURLOPT_CONNECTTIMEOUT, kConnectTimeoutSeconds);
    curl_easy_setopt(handle, CURLOPT_LOW_SPEED_LIMIT, 1L);
    curl_easy_setopt(handle, CURLOPT_LOW_SPEED_TIME, kStallTimeoutSeconds);
    curl_easy_setopt(handle, CURLOPT_WRITEFUNCTION, &onBody);
    curl_easy_setopt(handle, CURLOPT_HEADERFUNCTION, &onHeaderLine);
}

void setTransfer(CURL* handle, const std::string& address, Transfer* transfer) {
    curl_easy_setopt(handle, CURLOPT_URL, address.c_str());
    curl_easy_setopt(handle, CURLOPT_WRITEDATA, transfer);
    curl_easy_setopt(handle, CURLOPT_HEADERDATA, transfer);
}

// An empty cookie file name switches the engine on without reading a file.
void useSharedCookies(CURL* handle) {
    curl_easy_setopt(handle, CURLOPT_SHARE, CurlRuntime::instance().cookieShare());
    curl_easy_setopt(handle, CURLOPT_COOKIEFILE, "");
}

// Empty entries tell libcurl to drop a header it would add by itself, so the wire carries what
// the block says and no more.
HeaderList headerListFrom(std::string_view block) {
    HeaderList list;
    TextList lines;
    for (Text& line : splitText(block, "\r\n")) {
        if (!line.empty()) lines.push_back(std::move(line));
    }
    if (!hasHeaderLine(lines, "accept:")) lines.push_back("Accept:");
    if (!hasHeaderLine(lines, "expect:")) lines.push_back("Expect:");
    for (const Text& line : lines) {
        if (!appendHeader(list, line)) return {};
    }
    return list;
}

Text agentFrom(std::string_view extraHeaders) {
    if (findText(extraHeaders, "User-Agent:", 1, true) == -1) return Text(kDefaultUserAgent);
    Text agent = trimBlanks(textBetween(extraHeaders, "User-Agent:", "\r\n"));
    if (!agent.empty()) return agent;
    int colon = findText(extraHeaders, ":");
    return colon == -1 ? Text() : trimBlanks(extraHeaders.substr(colon));
}

Text headerBlock(std::string_view url, std::string_view extraHeaders, std::string_view cookies) {
    Text block(extraHeaders);
    if (block.empty()) {
        block = "Accept: */*";
    } else if (findText(block, "Accept:") == -1) {
        block += "\r\nAccept: */*";
    }
    if (findText(block, "Referer:") == -1) block += concatTexts("\r\nReferer: ", url);
    if (findText(block, "Accept-Language:") == -1) block += "\r\nAccept-Language: zh-cn";
    if (findText(block, "Content-Type:") == -1) {
        block += "\r\nContent-Type: application/x-www-form-urlencoded";
    }
    if (!cookies.empty()) block += concatTexts("\r\nCookie: ", cookies);
    return block;
}

void setPageOptions(CURL* h, const Text& agent, curl_slist* headers, bool noRedirect) {
    curl_easy_setopt(h, CURLOPT_HTTP_VERSION, static_cast<long>(CURL_HTTP_VERSION_1_1));
    curl_easy_setopt(h, CURLOPT_USERAGENT, agent.c_str());
    curl_easy_setopt(h, CURLOPT_HTTPHEADER, headers);
    curl_easy_setopt(h, CURLOPT_FOLLOWLOCATION, noRedirect ? 0L : 1L);
}

bool setStyleOptions(CURL* h, RequestStyle style, std::string_view url, HeaderList* headers) {
    if (style == RequestStyle::Plain) return setPlainOptions(h, headers);
    HeaderList list = headerListFrom(headerBlock(url, {}, {}));
    if (!list) return false;
    setCommonOptions(h);
    setPageOptions(h, agentFrom({}), list.get(), false);
    useSharedCookies(h);
    *headers = std::move(list);
    return true;
}

}  // namespace curl

Bytes httpFetch(std::string_view url, int method, std::string_view postText, Text* cookies,
                Text* returnedCookies, Text* extraHeaders, Text* responseHeaders, bool noRedirect,
                Bytes* postBytes, std::string_view proxy) {
    fetchProblem = "无法开始读取网页";
    try {
        if (method < 0 || method > 2) method = 0;
        const Text callerHeaders = extraHeaders ? *extraHeaders : Text();
        const Text agent = curl::agentFrom(callerHeaders);
        const Text block = curl::headerBlock(url, callerHeaders, cookies ? *cookies : Text());
        const bool sendsBody = method != 0;
        const Bytes body = postBytes && !postBytes->empty() ? *postBytes : Bytes(postText);

        EasyHandle handle(curl_easy_init());
        HeaderList headers = curl::headerListFrom(block);
        if (!handle || !headers) return {};
        CURL* h = handle.get();
        Transfer transfer;
        const std::string address = curl::requestUrl(url);
        curl::setCommonOptions(h);
        curl::setTransfer(h, address, &transfer);
        curl::setPageOptions(h, agent, headers.get(), noRedirect);
        if (!proxy.empty()) {
            const std::string proxyText(proxy);
            curl_easy_setopt(h, CURLOPT_PROXY, proxyText.c_str());  // libcurl copies it
        }
        // A caller who brings cookies manages them alone: no cookie engine for this request.
        if (!cookies) curl::useSharedCookies(h);
        if (method == 1) {
            curl_easy_setopt(h, CURLOPT_POST, 1L);
            curl_easy_setopt(h, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(body.size()));
            curl_easy_setopt(h, CURLOPT_POSTFIELDS, body.data());
        } else if (method == 2) {
            // HEAD carries no content in HTTP, so its body bytes are only handed back below.
            curl_easy_setopt(h, CURLOPT_NOBODY, 1L);
        }

        const CURLcode result = performPage(h, transfer.answered);
        handle.reset();

        // Nothing came back (no route, refused, time-out, TLS failure): the caller's variables
        // stay as they were.
        if (!transfer.answered) return {};

        // A transfer that broke off after the response began gives no body rather than a piece
        // of one that would pass for the whole page.
        if (result != CURLE_OK) transfer.body.clear();

        if (extraHeaders) *extraHeaders = block;
        if (sendsBody && postBytes && postBytes->empty()) *postBytes = Bytes(postText);
        const Text headerText = normalisedResponseHeaders(transfer.headers);
        Text setCookies = cookiesSetBy(headerText);
        if (responseHeaders) *responseHeaders = headerText;
        if (cookies) mergeCookies(cookies, &setCookies);
        if (returnedCookies) *returnedCookies = std::move(setCookies);
        return std::move(transfer.body);
    } catch (...) {
        fetchProblem = "网页太大，无法读入";
        return {};
    }
}

namespace {

// The kept handle is set up once: its options never change between calls, and libcurl's reset
// would drop (and leak) the cookie-engine switch each time.
CURL* plainHandle(CurlRuntime& runtime) {
    if (runtime.plainHandle) return runtime.plainHandle.get();
    EasyHandle handle(curl_easy_init());
    HeaderList headers;
    if (!handle || !setPlainOptions(handle.get(), &headers)) return nullptr;
    CURL* h = handle.get();
    runtime.plainHeaders = std::move(headers);
    runtime.plainHandle = std::move(handle);
    return h;
}

}  // namespace

Bytes fetchPlain(std::string_view url) {
    fetchProblem = "无法开始读取网页";
    try {
        CurlRuntime& runtime = CurlRuntime::instance();
        std::lock_guard lock(runtime.plainMutex);
        CURL* h = plainHandle(runtime);
        if (h == nullptr) return {};
        Transfer transfer;
        const std::string address = curl::requestUrl(url);
        curl::setTransfer(h, address, &transfer);
        if (performPage(h, transfer.answered) != CURLE_OK) return {};
        return std::move(transfer.body);
    } catch (...) {
        fetchProblem = "网页太大，无法读入";
        return {};
    }
}

void setPageTimeLimit(long seconds) {
    pageTimeLimitSeconds = std::max(0L, seconds);
}

std::string lastFetchProblem() {
    return fetchProblem;
}

Text urlHost(std::string_view url, bool keepPort) {
    Text lower = lowerAscii(url);
    if (!lower.ends_with('/')) lower += '/';
    Text host;
    if (leftBytes(lower, 8) == "https://") {
        host = textBetween(lower, "https://", "/");
    } else {
        if (findText(lower, "http://") == -1) lower.insert(0, "http://");
        host = textBetween(lower, "http://", "/");
    }
    if (!keepPort) {
        int colon = findText(host, ":");
        if (colon != -1) host = leftBytes(host, colon - 1);
    }
    return host;
}

int urlPort(std::string_view url) {
    const Text host = urlHost(url, true);
    int colon = findTextBackwards(host, ":");
    if (colon != -1) return textToInteger(std::string_view(host).substr(colon));
    return isHttps(url) ? 443 : 80;
}

Text urlPath(std::string_view url) {
    int hostAt = findText(url, urlHost(url, false), 1, true);
    int slash = findText(url, "/", hostAt, true);
    if (slash <= 0) return "/";
    return Text(url.substr(slash - 1));
}

// The server's cookies come first, in its order, then the old ones it did not set again (the
// first of several with one name). A cookie the server set to "deleted" is dropped altogether.
void mergeCookies(Text* cookies, Text* returnedCookies) {
    Text oldText = cookies ? removeBlanks(*cookies) : Text();
    Text newText = returnedCookies ? removeBlanks(*returnedCookies) : Text();
    if (returnedCookies) *returnedCookies = newText;

    TextList merged = splitText(newText, ";");
    std::unordered_set<Text> names;
    for (const Text& item : merged) names.insert(cookieName(item));
    for (Text& item : splitText(oldText, ";")) {
        if (names.insert(cookieName(item)).second) merged.push_back(std::move(item));
    }

    Text result;
    std::unordered_set<Text> seen;
    for (const Text& item : merged) {
        // An empty piece (from ";;") names no cookie and is not sent.
        if (item.empty() || rightBytes(item, 8) == "=deleted") continue;
        if (!seen.insert(item).second) continue;
        if (!result.empty()) result += "; ";
        result += item;
    }
    if (cookies) *cookies = std::move(result);
}

}  // namespace novel
