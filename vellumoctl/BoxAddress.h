#pragma once

#include <cstdint>
#include <string>

// "ADDR[:PORT]" of a Box; the port defaults to the Box's command port.
struct BoxAddress {
    std::string host;
    int32_t port = 7171;
};

bool ParseBoxAddress(const std::string& text, BoxAddress& box);
