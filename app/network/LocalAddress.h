#pragma once

#include <optional>
#include <string>
#include <vector>

// The PC's own IPv4 addresses, as the network interfaces hold them.
struct LocalIPv4Address {
    std::string interfaceName;
    std::string address; // dotted text
    std::string netmask; // dotted text
    bool isLoopback = false;
};

// Every IPv4 address of an interface that is up, in the order the system
// lists them.
std::vector<LocalIPv4Address> ListLocalIPv4Addresses();

// The PC's address on the box's network: the first local address whose
// subnet (address and netmask) holds the box address; when none does, the
// first whose text starts with the box address's prefix (up to its last
// ".") followed by "."; else nothing. A box address that is no dotted IPv4
// address only takes the prefix test.
std::optional<std::string> FindLocalAddress(const std::string& boxAddress,
                                            const std::vector<LocalIPv4Address>& local);
std::optional<std::string> FindLocalAddress(const std::string& boxAddress);

// The interfaces the box search uses when none is named: those that are up
// with an IPv4 address, loopback excluded, each once, in the system's order.
std::vector<std::string> DefaultSearchInterfaces();
