#include "DummyNetwork.h"

#include "PrivateNetwork.h"

#include <cstdio>
#include <cstdlib>

namespace {

bool run(const std::string& command, std::string* why) {
    if (std::system(command.c_str()) == 0)
        return true;
    *why = command + " failed";
    return false;
}

// The namespace is the whole process's once entered, so the interface may
// come after other threads have started.
bool addDummyInterface(std::string* why) {
    const std::string device = kDummyInterface;
    bool isReady = run("ip link add " + device + " type veth peer name " + kDummyPeer, why);
    for (const char* address : kDummyAddresses)
        isReady = isReady && run("ip addr add " + std::string(address) + " dev " + device, why);
    return isReady && run("ip link set " + device + " up", why) &&
           run("ip link set " + std::string(kDummyPeer) + " up", why);
}

} // namespace

bool EnterDummyNetwork(std::string* why) {
    return EnterPrivateNetwork(why) && IsInDummyNetwork();
}

bool IsInDummyNetwork() {
    static const bool isReady = [] {
        if (!IsInPrivateNetwork())
            return false;
        std::string why;
        const bool isAdded = addDummyInterface(&why);
        if (!isAdded)
            std::fprintf(stderr, "no second interface: %s\n", why.c_str());
        return isAdded;
    }();
    return isReady;
}
