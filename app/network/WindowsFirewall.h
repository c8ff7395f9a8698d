#pragma once

#include "FirewallProfile.h"

#include <string>

// The firewall exceptions the application needs, on nftables. Every
// operation returns kFirewallOk or a negative code and traces each failure.

inline constexpr int kUpnpTcpPort = 2869;
inline constexpr int kUpnpUdpPort = 1900;
// The application's own HTTP servers' ports, which peers connect to: the
// Box fetches firmware from the first, renderers fetch media from the
// second. The application's exception is one rule for each.
inline constexpr int kApplicationPorts[] = {7272, 7273};
inline constexpr const char* kUpnpTcpRuleName = "UPnP TCP 2869";
inline constexpr const char* kUpnpUdpRuleName = "UPnP UDP 1900";
inline constexpr const char* kApplicationRuleName = "Zenthar Tavoli Applicaton";

// How reports name the application's exception's ports: "7272/tcp, 7273/tcp".
std::string ApplicationPortsText();

// Reads the current ruleset into profile.
FirewallResult WindowsFirewallInitialize(FirewallProfile& profile);

// nftables filters ports, not programs: the application's exception is the
// rules admitting its server ports. The image path names which program asks.
// Authorizing adds a rule for each port not admitted yet.
FirewallResult WindowsFirewallAppIsEnabled(const FirewallProfile& profile,
                                           const std::string& imagePath, bool* isEnabled);
FirewallResult WindowsFirewallAppAuthorize(FirewallProfile& profile, const std::string& imagePath);

// An exception that exists, whatever its name and whoever added it, is
// reused, never duplicated. With no dropping input chain nothing is added.
FirewallResult WindowsFirewallPortIsEnabled(const FirewallProfile& profile, int port, int protocol,
                                            bool* isEnabled);
FirewallResult WindowsFirewallPortOpen(FirewallProfile& profile, int port, int protocol,
                                       const std::string& name);
