#pragma once
// Routes of a loopback server that fail a download in each way the program must survive.

#include <httplib.h>

namespace novel::test {

// /missing.txt 404, /broken.txt 500, /empty.txt an empty body, /cut.txt promises 100,000 bytes,
// sends 1,000 and drops the connection.
void serveDownloadFaults(httplib::Server& server);

// /slow.txt: 50 MB announced, trickling far longer than any test waits.
void serveSlowDownload(httplib::Server& server);

}  // namespace novel::test
