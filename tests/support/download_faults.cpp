#include "support/download_faults.h"

#include <chrono>
#include <string>
#include <thread>

namespace novel::test {

void serveDownloadFaults(httplib::Server& s) {
    s.Get("/missing.txt", [](const httplib::Request&, httplib::Response& res) {
        res.status = 404;
        res.set_content("not here", "text/html");
    });
    s.Get("/broken.txt", [](const httplib::Request&, httplib::Response& res) {
        res.status = 500;
        res.set_content("server error", "text/html");
    });
    s.Get("/empty.txt", [](const httplib::Request&, httplib::Response& res) {
        res.set_content("", "text/plain");
    });
    s.Get("/cut.txt", [](const httplib::Request&, httplib::Response& res) {
        res.set_content_provider(100000, "text/plain",
                                 [](size_t offset, size_t, httplib::DataSink& sink) {
                                     if (offset > 0) return false;
                                     const std::string part(1000, 'y');
                                     sink.write(part.data(), part.size());
                                     return true;
                                 });
    });
}

void serveSlowDownload(httplib::Server& s) {
    s.Get("/slow.txt", [](const httplib::Request&, httplib::Response& res) {
        res.set_content_provider(50000000, "text/plain",
                                 [](size_t, size_t, httplib::DataSink& sink) {
                                     std::this_thread::sleep_for(std::chrono::milliseconds(20));
                                     const std::string part(1000, 'z');
                                     return sink.write(part.data(), part.size());
                                 });
    });
}

}  // namespace novel::test
