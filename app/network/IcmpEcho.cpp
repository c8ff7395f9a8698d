#include "IcmpEcho.h"

#include "DebugPrint.h"

#include <algorithm>
#include <arpa/inet.h>
#include <atomic>
#include <cerrno>
#include <cstdint>
#include <netinet/in.h>
#include <netinet/ip.h>
#include <netinet/ip_icmp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

std::atomic<uint16_t> g_nextSequence{1};

struct IcmpSocket {
    int fd = -1;
    bool isRaw = false; // raw sockets see the IP header and every ICMP packet
    ~IcmpSocket() {
        if (fd >= 0)
            ::close(fd);
    }
};

void openSocket(IcmpSocket& icmp) {
    icmp.fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, IPPROTO_ICMP);
    if (icmp.fd >= 0)
        return;
    // net.ipv4.ping_group_range does not hold the user's group: try raw.
    icmp.fd = ::socket(AF_INET, SOCK_RAW | SOCK_CLOEXEC, IPPROTO_ICMP);
    icmp.isRaw = icmp.fd >= 0;
}

uint16_t internetChecksum(const uint8_t* bytes, size_t size) {
    uint32_t sum = 0;
    for (size_t i = 0; i + 1 < size; i += 2)
        sum += static_cast<uint32_t>(bytes[i] << 8 | bytes[i + 1]);
    if (size % 2 != 0)
        sum += static_cast<uint32_t>(bytes[size - 1] << 8);
    while (sum >> 16)
        sum = (sum & 0xFFFF) + (sum >> 16);
    return htons(static_cast<uint16_t>(~sum));
}

bool sendRequest(const IcmpSocket& icmp, const sockaddr_in& target, uint16_t identifier,
                 uint16_t sequence) {
    icmphdr request{};
    request.type = ICMP_ECHO;
    request.un.echo.id = htons(identifier);
    request.un.echo.sequence = htons(sequence);
    request.checksum = internetChecksum(reinterpret_cast<const uint8_t*>(&request), sizeof request);
    const ssize_t sent = ::sendto(icmp.fd, &request, sizeof request, MSG_NOSIGNAL,
                                  reinterpret_cast<const sockaddr*>(&target), sizeof target);
    if (sent != static_cast<ssize_t>(sizeof request)) {
        DebugPrint("SendIcmpEcho(): sendto failed: 0x%08lx\n", static_cast<unsigned long>(errno));
        return false;
    }
    return true;
}

// Whether packet is the reply to our request from the target. The kernel
// gives an unprivileged socket only its own replies, with its own identifier.
bool isOurReply(const IcmpSocket& icmp, const uint8_t* packet, size_t size, const sockaddr_in& from,
                const sockaddr_in& target, uint16_t identifier, uint16_t sequence) {
    if (from.sin_addr.s_addr != target.sin_addr.s_addr)
        return false;
    if (icmp.isRaw) {
        if (size < sizeof(iphdr))
            return false;
        const size_t headerBytes = static_cast<size_t>(packet[0] & 0x0F) * 4;
        if (headerBytes < sizeof(iphdr) || headerBytes > size)
            return false;
        packet += headerBytes;
        size -= headerBytes;
    }
    if (size < sizeof(icmphdr))
        return false;
    icmphdr reply;
    std::copy(packet, packet + sizeof reply, reinterpret_cast<uint8_t*>(&reply));
    return reply.type == ICMP_ECHOREPLY && ntohs(reply.un.echo.sequence) == sequence &&
           (!icmp.isRaw || ntohs(reply.un.echo.id) == identifier);
}

bool awaitReply(const IcmpSocket& icmp, const sockaddr_in& target, uint16_t identifier,
                uint16_t sequence, std::chrono::milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0)
            return false;
        pollfd readable{icmp.fd, POLLIN, 0};
        const int ready = ::poll(&readable, 1, static_cast<int>(left.count()));
        if (ready < 0 && errno == EINTR)
            continue;
        if (ready <= 0)
            return false;
        uint8_t packet[1500];
        sockaddr_in from{};
        socklen_t fromSize = sizeof from;
        const ssize_t size = ::recvfrom(icmp.fd, packet, sizeof packet, 0,
                                        reinterpret_cast<sockaddr*>(&from), &fromSize);
        if (size < 0) {
            if (errno == EINTR || errno == EAGAIN)
                continue;
            DebugPrint("SendIcmpEcho(): recvfrom failed: 0x%08lx\n",
                       static_cast<unsigned long>(errno));
            return false;
        }
        if (isOurReply(icmp, packet, static_cast<size_t>(size), from, target, identifier, sequence))
            return true;
    }
}

} // namespace

bool SendIcmpEcho(const std::string& address, int attempts, std::chrono::milliseconds timeout) {
    sockaddr_in target{};
    target.sin_family = AF_INET;
    if (inet_pton(AF_INET, address.c_str(), &target.sin_addr) != 1) {
        DebugPrint("SendIcmpEcho(): not an IPv4 address: %s\n", address.c_str());
        return false;
    }
    IcmpSocket icmp;
    openSocket(icmp);
    if (icmp.fd < 0) {
        DebugPrint("SendIcmpEcho(): unable to open an ICMP socket: 0x%08lx\n",
                   static_cast<unsigned long>(errno));
        return false;
    }
    const auto identifier = static_cast<uint16_t>(::getpid());
    for (int attempt = 0; attempt < attempts; ++attempt) {
        const uint16_t sequence = g_nextSequence.fetch_add(1);
        if (sendRequest(icmp, target, identifier, sequence) &&
            awaitReply(icmp, target, identifier, sequence, timeout))
            return true;
    }
    return false;
}
