#pragma once

#include <string>

// The test process's own network with a second interface: its private
// namespace (PrivateNetwork.h) with an interface "d0" holding
// kDummyAddresses. It is one end of a veth pair whose other end, in the same
// namespace, holds no address: what is sent to the subnets' other hosts
// reaches nobody. (A veth pair rather than a dummy device: container kernels
// often lack the dummy driver.)
inline constexpr const char* kDummyInterface = "d0";
inline constexpr const char* kDummyPeer = "d0peer";
inline constexpr const char* kDummyAddresses[] = {"192.168.10.7/24", "192.168.1.20/24",
                                                  "10.99.0.1/24"};

// Enters the private network and adds the interface. Call before any thread
// starts. False, with the reason, when refused.
bool EnterDummyNetwork(std::string* why);
// Whether the process is in its private network with the interface; the
// first call in a process that entered its private network at start-up adds
// the interface (traced to standard error when refused).
bool IsInDummyNetwork();
