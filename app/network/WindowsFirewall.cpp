#include "WindowsFirewall.h"

#include "DebugPrint.h"

#include <algorithm>
#include <iterator>

std::string ApplicationPortsText() {
    std::string text;
    for (const int port : kApplicationPorts) {
        text += (text.empty() ? "" : ", ") + std::to_string(port) + "/tcp";
    }
    return text;
}

FirewallResult WindowsFirewallInitialize(FirewallProfile& profile) {
    return profile.Load();
}

FirewallResult WindowsFirewallPortIsEnabled(const FirewallProfile& profile, int port, int protocol,
                                            bool* isEnabled) {
    if (!profile.IsLoaded() || isEnabled == nullptr) {
        DebugPrint("get_GloballyOpenPorts failed: 0x%08lx\n", FirewallHex(kFirewallNotLoaded));
        return kFirewallNotLoaded;
    }
    *isEnabled = profile.IsPortOpen(port, protocol);
    return kFirewallOk;
}

FirewallResult WindowsFirewallAppIsEnabled(const FirewallProfile& profile,
                                           const std::string& imagePath, bool* isEnabled) {
    if (!profile.IsLoaded() || isEnabled == nullptr) {
        DebugPrint("get_AuthorizedApplications failed: 0x%08lx\n", FirewallHex(kFirewallNotLoaded));
        return kFirewallNotLoaded;
    }
    if (imagePath.empty()) {
        DebugPrint("SysAllocString failed: 0x%08lx\n", FirewallHex(kFirewallInvalidArgument));
        return kFirewallInvalidArgument;
    }
    *isEnabled = std::all_of(std::begin(kApplicationPorts), std::end(kApplicationPorts),
                             [&](int port) { return profile.IsPortOpen(port, kProtocolTcp); });
    return kFirewallOk;
}

FirewallResult WindowsFirewallPortOpen(FirewallProfile& profile, int port, int protocol,
                                       const std::string& name) {
    bool isEnabled = false;
    FirewallResult result = WindowsFirewallPortIsEnabled(profile, port, protocol, &isEnabled);
    if (result != kFirewallOk) {
        DebugPrint("WindowsFirewallPortIsEnabled failed: 0x%08lx\n", FirewallHex(result));
        return result;
    }
    if (isEnabled) {
        return kFirewallOk;
    }
    if (port <= 0 || port > 65535) {
        DebugPrint("put_Port failed: 0x%08lx\n", FirewallHex(kFirewallInvalidArgument));
        return kFirewallInvalidArgument;
    }
    if (protocol != kProtocolTcp && protocol != kProtocolUdp) {
        DebugPrint("put_Protocol failed: 0x%08lx\n", FirewallHex(kFirewallInvalidArgument));
        return kFirewallInvalidArgument;
    }
    if (name.empty()) {
        DebugPrint("put_Name failed: 0x%08lx\n", FirewallHex(kFirewallInvalidArgument));
        return kFirewallInvalidArgument;
    }
    result = profile.OpenPort(port, protocol, name);
    if (result != kFirewallOk) {
        DebugPrint("Add failed: 0x%08lx\n", FirewallHex(result));
    }
    return result;
}

FirewallResult WindowsFirewallAppAuthorize(FirewallProfile& profile, const std::string& imagePath) {
    bool isEnabled = false;
    FirewallResult result = WindowsFirewallAppIsEnabled(profile, imagePath, &isEnabled);
    if (result != kFirewallOk) {
        DebugPrint("WindowsFirewallAppIsEnabled failed: 0x%08lx\n", FirewallHex(result));
        return result;
    }
    if (isEnabled) {
        return kFirewallOk;
    }
    // Every port gets its chance; the first failure is reported.
    for (const int port : kApplicationPorts) {
        if (profile.IsPortOpen(port, kProtocolTcp)) {
            continue;
        }
        const FirewallResult opened = profile.OpenPort(port, kProtocolTcp, kApplicationRuleName);
        if (opened != kFirewallOk) {
            DebugPrint("Add failed: 0x%08lx\n", FirewallHex(opened));
            if (result == kFirewallOk) {
                result = opened;
            }
        }
    }
    return result;
}
