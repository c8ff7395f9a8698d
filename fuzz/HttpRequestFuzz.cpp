// Request heads from the network: the name taken from any head is one the
// responder can look up safely (no separator, no parent directory).
#include "network/HttpServerObserver.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view head(reinterpret_cast<const char*>(data), size);
    const std::string name = HttpServer::HttpServerObserver::RequestedName(head);
    if (name.find('/') != std::string::npos)
        std::abort();
    return 0;
}
