#include "support/loopback_server.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <openssl/evp.h>
#include <openssl/x509.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <stdexcept>

namespace novel::test {

namespace {

bool sameName(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        if (std::tolower(static_cast<unsigned char>(a[i])) !=
            std::tolower(static_cast<unsigned char>(b[i])))
            return false;
    }
    return true;
}

// The server files the peer's addresses among the headers; they were never sent.
bool isPseudoHeader(std::string_view name) {
    return name == "REMOTE_ADDR" || name == "REMOTE_PORT" || name == "LOCAL_ADDR" ||
           name == "LOCAL_PORT";
}

struct KeyDeleter {
    void operator()(EVP_PKEY* key) const { EVP_PKEY_free(key); }
};
struct CertificateDeleter {
    void operator()(X509* certificate) const { X509_free(certificate); }
};

// A server that presents a fresh self-signed certificate for 127.0.0.1.
std::unique_ptr<httplib::Server> selfSignedServer() {
    std::unique_ptr<EVP_PKEY, KeyDeleter> key(EVP_EC_gen("P-256"));
    std::unique_ptr<X509, CertificateDeleter> certificate(X509_new());
    if (!key || !certificate) throw std::runtime_error("loopback server: no key");
    X509* c = certificate.get();
    ASN1_INTEGER_set(X509_get_serialNumber(c), 1);
    X509_gmtime_adj(X509_getm_notBefore(c), -3600);
    X509_gmtime_adj(X509_getm_notAfter(c), 3600);
    X509_set_pubkey(c, key.get());
    X509_NAME* name = X509_get_subject_name(c);
    X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_ASC,
                               reinterpret_cast<const unsigned char*>("127.0.0.1"), -1, -1, 0);
    X509_set_issuer_name(c, name);
    if (X509_sign(c, key.get(), EVP_sha256()) == 0) {
        throw std::runtime_error("loopback server: no certificate");
    }
    // The server copies both into its TLS context.
    return std::make_unique<httplib::SSLServer>(c, key.get());
}

}  // namespace

std::string RecordedRequest::header(std::string_view name) const {
    for (const auto& [key, value] : headers) {
        if (sameName(key, name)) return value;
    }
    return {};
}

int RecordedRequest::headerCount(std::string_view name) const {
    int count = 0;
    for (const auto& header : headers) count += sameName(header.first, name) ? 1 : 0;
    return count;
}

LoopbackServer::LoopbackServer(const std::function<void(httplib::Server&)>& routes, Scheme scheme)
    : server_(scheme == Scheme::Http ? std::make_unique<httplib::Server>() : selfSignedServer()),
      scheme_(scheme) {
    // Runs once the body has been read and before the answer goes out, so a client that has its
    // answer always finds its request recorded.
    server_->set_post_routing_handler([this](const httplib::Request& req, httplib::Response&) {
        RecordedRequest record{req.method, req.version, req.target, {}, req.body};
        for (const auto& header : req.headers) {
            if (!isPseudoHeader(header.first)) record.headers.push_back(header);
        }
        std::lock_guard lock(mutex_);
        requests_.push_back(std::move(record));
    });
    // As the demo site: no answer on a kept connection waits out the client's delayed ACK.
    server_->set_tcp_nodelay(true);
    routes(*server_);
    port_ = server_->bind_to_any_port("127.0.0.1");
    if (port_ <= 0) throw std::runtime_error("loopback server: no port");
    thread_ = std::thread([this] { server_->listen_after_bind(); });
    // stop() only takes effect once the accept loop runs.
    while (!server_->is_running()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
}

LoopbackServer::~LoopbackServer() {
    server_->stop();
    thread_.join();
}

std::string LoopbackServer::url(std::string_view path) const {
    return (scheme_ == Scheme::Http ? "http://127.0.0.1:" : "https://127.0.0.1:") +
           std::to_string(port_) + std::string(path);
}

std::vector<RecordedRequest> LoopbackServer::requests() const {
    std::lock_guard lock(mutex_);
    return requests_;
}

RecordedRequest LoopbackServer::lastRequest() const {
    std::lock_guard lock(mutex_);
    return requests_.empty() ? RecordedRequest{} : requests_.back();
}

int unusedPort() {
    int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    if (fd < 0) return -1;
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    int port = -1;
    if (::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) == 0) {
        port = ntohs(address.sin_port);
    }
    ::close(fd);
    return port;
}

}  // namespace novel::test
