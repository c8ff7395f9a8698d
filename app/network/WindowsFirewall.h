#pragma once

#include "FirewallProfile.h"

#include <string>

// The firewall exceptions the application needs, on nftables. Every
// operation returns kFirewallOk or a negative code and traces each failure.

inline constexpr int kUpnpTcpPort = 2869;
inline constexpr int kUpnpUdpPort = 1900;
// The application's own HTTP server port, which the Box connects to.
inline constexpr int kApplicationPort = 7272;
inline constexpr const char* kUpnpTcpRuleName = "UPnP TCP 2869";
inline constexpr const char* kUpnpUdpRuleName = "UPnP UDP 1900";
inline constexpr const char* kApplicationRuleName = "Zenthar Tavoli Applicaton";

// Reads the current ruleset into profile.
FirewallResult WindowsFirewallInitialize(FirewallProfile& profile);

// nftables filters ports, not programs: the application's exception is the
// rule admitting its server port. The image path names which program asks.
FirewallResult WindowsFirewallAppIsEnabled(const FirewallProfile& profile,
                                           const std::string& imagePath, bool* isEnabled);
FirewallResult WindowsFirewallAppAuthorize(FirewallProfile& profile, const std::string& imagePath);

// An exception that exists, whatever its name and whoever added it, is
// reused, never duplicated. With no dropping input chain nothing is added.
FirewallResult WindowsFirewallPortIsEnabled(const FirewallProfile& profile, int port, int protocol,
                                            bool* isEnabled);
FirewallResult WindowsFirewallPortOpen(FirewallProfile& profile, int port, int protocol,
                                       const std::string& name);
