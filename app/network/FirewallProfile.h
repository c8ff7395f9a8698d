#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct nft_ctx;

// Result codes of the firewall operations: 0 success, negative failure, in
// the 32-bit shape the traces print ("0x%08lx").
using FirewallResult = int32_t;
inline constexpr FirewallResult kFirewallOk = 0;
inline constexpr FirewallResult kFirewallFailed = static_cast<int32_t>(0x80004005);
inline constexpr FirewallResult kFirewallAccessDenied = static_cast<int32_t>(0x80070005);
inline constexpr FirewallResult kFirewallOutOfMemory = static_cast<int32_t>(0x8007000E);
inline constexpr FirewallResult kFirewallInvalidArgument = static_cast<int32_t>(0x80070057);
inline constexpr FirewallResult kFirewallNotLoaded = static_cast<int32_t>(0x80004003);

// The code as the traces print it.
inline unsigned long FirewallHex(FirewallResult result) {
    return static_cast<uint32_t>(result);
}

inline constexpr int kProtocolTcp = 6;
inline constexpr int kProtocolUdp = 17;

// The host's nftables ruleset as the firewall operations see it. The
// firewall is on when an IPv4-capable ("ip" or "inet") input base chain drops
// by default; an exception holds when every such chain has an accept rule for
// its port and protocol. Lives for one check or one creation run.
class FirewallProfile {
public:
    struct AcceptedPort {
        int protocol; // kProtocolTcp or kProtocolUdp
        int firstPort;
        int lastPort;
        std::string comment;
    };
    struct Chain {
        std::string family;
        std::string table;
        std::string name;
        std::vector<AcceptedPort> acceptedPorts; // from plain "dport ... accept" rules
    };

    FirewallProfile() = default;
    ~FirewallProfile();
    FirewallProfile(const FirewallProfile&) = delete;
    FirewallProfile& operator=(const FirewallProfile&) = delete;

    // Reads the ruleset; the trace names the failing step.
    FirewallResult Load();
    bool IsLoaded() const { return m_context != nullptr; }
    bool IsFirewallEnabled() const { return !m_droppingChains.empty(); }
    const std::vector<Chain>& DroppingInputChains() const { return m_droppingChains; }

    // True when every dropping input chain accepts the port.
    bool IsPortOpen(int port, int protocol) const;
    // Puts an accept rule named by comment at the head of every dropping input
    // chain that lacks one for the port, then reads the ruleset again.
    FirewallResult OpenPort(int port, int protocol, const std::string& comment);

private:
    FirewallResult Run(const std::string& command);
    FirewallResult Fail(const char* step, FirewallResult result);

    nft_ctx* m_context = nullptr;
    std::vector<Chain> m_droppingChains;
};
