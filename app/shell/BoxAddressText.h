#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

// The port a Box takes its links on, unless the user gives another.
inline constexpr int32_t kBoxCommandPort = 7171;

// A Box's address as a user types it: a host name or a dotted IPv4 address,
// then ":port" when the command port is not 7171.
struct HostAndPort {
    std::string host;
    int32_t port = kBoxCommandPort;
};

// None for anything else: an empty host; a host name that breaks the rules
// of names (dot-separated labels of 1 to 63 letters, digits and inner
// hyphens, 253 characters at most); digits and dots that are not an IPv4
// address; a port that is not a number from 1 to 65535. Spaces around the
// whole are ignored.
std::optional<HostAndPort> ParseHostAndPort(std::string_view text);

// "host" for the command port 7171, else "host:port".
std::string HostAndPortText(const std::string& host, int32_t port);

bool IsIpv4Address(const std::string& host);
