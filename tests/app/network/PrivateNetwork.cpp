#include "PrivateNetwork.h"

#include <net/if.h>
#include <sched.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <thread>

namespace {

bool g_isInPrivateNetwork = false;

bool BringLoopbackUp(std::string* why) {
    const int fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        *why = std::string("socket: ") + strerror(errno);
        return false;
    }
    ifreq request{};
    std::strncpy(request.ifr_name, "lo", IFNAMSIZ - 1);
    bool isUp = ioctl(fd, SIOCGIFFLAGS, &request) == 0;
    if (isUp) {
        request.ifr_flags |= IFF_UP | IFF_MULTICAST;
        isUp = ioctl(fd, SIOCSIFFLAGS, &request) == 0;
    }
    if (!isUp) {
        *why = std::string("bringing lo up: ") + strerror(errno);
    }
    close(fd);
    return isUp;
}

// UPnP needs each host address to be one of the interface's own, with its
// mask; loopback only carries 127.0.0.1 until told otherwise.
bool AddLoopbackHosts(std::string* why) {
    for (const char* host : {"127.0.0.2", "127.0.0.3", "127.0.0.4"}) {
        const std::string command = std::string("ip addr add ") + host + "/8 dev lo";
        if (std::system(command.c_str()) != 0) {
            *why = command + " failed";
            return false;
        }
    }
    return true;
}

bool UnshareNetwork(std::string* why) {
    if (unshare(CLONE_NEWNET) != 0) {
        *why = std::string("unshare(CLONE_NEWNET): ") + strerror(errno) + " (needs root)";
        return false;
    }
    return BringLoopbackUp(why);
}

} // namespace

bool EnterPrivateNetwork(std::string* why) {
    g_isInPrivateNetwork = UnshareNetwork(why) && AddLoopbackHosts(why);
    return g_isInPrivateNetwork;
}

bool IsInPrivateNetwork() {
    return g_isInPrivateNetwork;
}

bool RunInFreshNetwork(const std::function<void()>& body, std::string* why) {
    bool isEntered = false;
    std::thread worker([&] {
        pthread_setname_np(pthread_self(), "fresh-netns");
        isEntered = UnshareNetwork(why);
        if (isEntered) {
            body();
        }
    });
    worker.join();
    return isEntered;
}
