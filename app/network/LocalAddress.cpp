#include "LocalAddress.h"

#include "DebugPrint.h"

#include <algorithm>
#include <arpa/inet.h>
#include <cerrno>
#include <ifaddrs.h>
#include <net/if.h>
#include <netinet/in.h>

namespace {

std::string dottedText(const sockaddr* address) {
    if (address == nullptr || address->sa_family != AF_INET)
        return {};
    char text[INET_ADDRSTRLEN] = {};
    const auto* ipv4 = reinterpret_cast<const sockaddr_in*>(address);
    return inet_ntop(AF_INET, &ipv4->sin_addr, text, sizeof text) != nullptr ? text : "";
}

std::optional<in_addr_t> parseDotted(const std::string& text) {
    in_addr parsed{};
    if (inet_pton(AF_INET, text.c_str(), &parsed) != 1)
        return std::nullopt;
    return parsed.s_addr;
}

bool isInSubnet(in_addr_t box, const LocalIPv4Address& local) {
    const auto address = parseDotted(local.address);
    const auto mask = parseDotted(local.netmask);
    return address && mask && (*address & *mask) == (box & *mask);
}

} // namespace

std::vector<LocalIPv4Address> ListLocalIPv4Addresses() {
    std::vector<LocalIPv4Address> addresses;
    ifaddrs* list = nullptr;
    if (getifaddrs(&list) != 0) {
        DebugPrint("ListLocalIPv4Addresses(): getifaddrs failed: 0x%08lx\n",
                   static_cast<unsigned long>(errno));
        return addresses;
    }
    for (const ifaddrs* entry = list; entry != nullptr; entry = entry->ifa_next) {
        if (entry->ifa_addr == nullptr || entry->ifa_addr->sa_family != AF_INET ||
            (entry->ifa_flags & IFF_UP) == 0)
            continue;
        addresses.push_back({entry->ifa_name, dottedText(entry->ifa_addr),
                             dottedText(entry->ifa_netmask),
                             (entry->ifa_flags & IFF_LOOPBACK) != 0});
    }
    freeifaddrs(list);
    return addresses;
}

std::optional<std::string> FindLocalAddress(const std::string& boxAddress,
                                            const std::vector<LocalIPv4Address>& local) {
    if (const auto box = parseDotted(boxAddress)) {
        for (const LocalIPv4Address& candidate : local)
            if (isInSubnet(*box, candidate))
                return candidate.address;
    }
    const std::string prefix = boxAddress.substr(0, boxAddress.rfind('.')) + ".";
    for (const LocalIPv4Address& candidate : local)
        if (candidate.address.starts_with(prefix))
            return candidate.address;
    DebugPrint("FindLocalAddress(): no local address on the network of %s\n", boxAddress.c_str());
    return std::nullopt;
}

std::optional<std::string> FindLocalAddress(const std::string& boxAddress) {
    return FindLocalAddress(boxAddress, ListLocalIPv4Addresses());
}

std::vector<std::string> DefaultSearchInterfaces() {
    std::vector<std::string> names;
    for (const LocalIPv4Address& address : ListLocalIPv4Addresses())
        if (!address.isLoopback &&
            std::find(names.begin(), names.end(), address.interfaceName) == names.end())
            names.push_back(address.interfaceName);
    return names;
}
