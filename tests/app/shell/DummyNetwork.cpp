#include "DummyNetwork.h"

#include "PrivateNetwork.h"

#include <cstdlib>

namespace {

bool g_isInDummyNetwork = false;

bool run(const std::string& command, std::string* why) {
    if (std::system(command.c_str()) == 0)
        return true;
    *why = command + " failed";
    return false;
}

} // namespace

bool EnterDummyNetwork(std::string* why) {
    const std::string device = kDummyInterface;
    bool isReady = EnterPrivateNetwork(why) &&
                   run("ip link add " + device + " type veth peer name " + kDummyPeer, why);
    for (const char* address : kDummyAddresses)
        isReady = isReady && run("ip addr add " + std::string(address) + " dev " + device, why);
    g_isInDummyNetwork = isReady && run("ip link set " + device + " up", why) &&
                         run("ip link set " + std::string(kDummyPeer) + " up", why);
    return g_isInDummyNetwork;
}

bool IsInDummyNetwork() {
    return g_isInDummyNetwork;
}
