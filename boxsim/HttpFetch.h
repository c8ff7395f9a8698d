#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

// One HTTP GET as the Box makes it during a firmware upgrade: plain http
// only, one request per connection, no redirects. Every received byte goes
// through a SHA-256 digest and on to a sink, piece by piece; nothing is kept
// here, so an image of any size costs no memory. The program sets libcurl
// up (curl_global_init) before its first thread.
class HttpFetch {
public:
    struct Result {
        bool isComplete = false;    // status 200 and every announced byte arrived
        long status = 0;            // HTTP status; 0 when no answer came
        int64_t expectedBytes = -1; // Content-Length; -1 when none was sent
        int64_t receivedBytes = 0;
        std::string sha256; // of the bytes received
        std::string error;  // why the transfer is not complete
    };
    // Takes each piece with the progress so far (already counted); false
    // stops the transfer.
    using Sink = std::function<bool(std::string_view piece, const Result& soFar)>;

    // maxBytes bounds the body: a larger one is refused from its
    // Content-Length, or stopped once it grows past the bound. Setting
    // isCancelled ends the transfer within about a second.
    static Result get(const std::string& url, int64_t maxBytes,
                      const std::atomic<bool>& isCancelled, const Sink& sink);
};
