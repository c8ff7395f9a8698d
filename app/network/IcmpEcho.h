#pragma once

#include <chrono>
#include <string>

inline constexpr int kIcmpEchoAttempts = 2;
inline constexpr std::chrono::milliseconds kIcmpEchoTimeout{2000};

// Whether the host at address (dotted IPv4) answers an ICMP echo request:
// up to attempts requests without payload, each waiting up to timeout for
// its reply. Uses an unprivileged ICMP socket (SOCK_DGRAM, IPPROTO_ICMP), or
// a raw socket where the system refuses that one. Blocks the calling thread;
// every failure is traced and means "no answer".
bool SendIcmpEcho(const std::string& address, int attempts = kIcmpEchoAttempts,
                  std::chrono::milliseconds timeout = kIcmpEchoTimeout);
