#include "Commands.h"

#include "BoxAddress.h"
#include "Escapes.h"
#include "network/FirewallExceptions.h"
#include "network/HostFromLocation.h"
#include "network/IcmpEcho.h"
#include "network/KvuUPnPFinder.h"
#include "network/LocalAddress.h"
#include "network/WindowsFirewall.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <glib.h>
#include <ifaddrs.h>
#include <net/if.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <iterator>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace {

// The application's servers that peers connect to, and why each matters.
struct ServerPort {
    int port;
    const char* server;
    const char* need;
};
constexpr ServerPort kServerPorts[] = {
    {kApplicationPorts[0], "the firmware server", "firmware upgrades need it"},
    {kApplicationPorts[1], "the media server", "playing on TVs and speakers needs it"},
};
static_assert(std::size(kServerPorts) == std::size(kApplicationPorts));
constexpr int kConnectTimeoutMs = 3000;
// Ends the search should a finder never report its end.
constexpr unsigned kSearchGuardSeconds = 30;

enum class Verdict { Ok, Warning, Failure, Skipped };

// One result line, and what to do about it indented below.
void Report(Verdict verdict, const std::string& text, const std::string& advice = {}) {
    // Indexed by Verdict.
    constexpr const char* kTags[] = {"[ ok ]", "[warn]", "[FAIL]", "[skip]"};
    std::printf("%s %s\n", kTags[static_cast<int>(verdict)], text.c_str());
    if (!advice.empty())
        std::printf("       -> %s\n", advice.c_str());
    std::fflush(stdout);
}

struct Interface {
    std::string name;
    bool isUp = false;
    bool isLoopback = false;
    bool hasMulticast = false;
    std::vector<std::string> addresses; // IPv4, dotted
};

std::map<std::string, Interface> ListInterfaces() {
    std::map<std::string, Interface> interfaces;
    ifaddrs* list = nullptr;
    if (getifaddrs(&list) != 0) {
        Report(Verdict::Failure,
               std::string("cannot list the network interfaces: ") + std::strerror(errno));
        return interfaces;
    }
    for (const ifaddrs* entry = list; entry != nullptr; entry = entry->ifa_next) {
        Interface& interface = interfaces[entry->ifa_name];
        interface.name = entry->ifa_name;
        interface.isUp = (entry->ifa_flags & IFF_UP) != 0;
        interface.isLoopback = (entry->ifa_flags & IFF_LOOPBACK) != 0;
        interface.hasMulticast = (entry->ifa_flags & IFF_MULTICAST) != 0;
        if (entry->ifa_addr != nullptr && entry->ifa_addr->sa_family == AF_INET) {
            char text[INET_ADDRSTRLEN] = {};
            inet_ntop(AF_INET, &reinterpret_cast<const sockaddr_in*>(entry->ifa_addr)->sin_addr,
                      text, sizeof text);
            interface.addresses.push_back(text);
        }
    }
    freeifaddrs(list);
    return interfaces;
}

std::string Joined(const std::vector<std::string>& items) {
    std::string text;
    for (const std::string& item : items)
        text += (text.empty() ? "" : ", ") + item;
    return text;
}

// One interface the search may use: up, with an IPv4 address. Multicast off
// is only a warning: the kernel may still carry the search there (loopback
// does without the flag), and the search that follows decides.
bool CheckInterface(const Interface& interface) {
    const std::string& name = interface.name;
    if (!interface.isUp) {
        Report(Verdict::Failure, "interface " + name + " is down",
               "bring it up: ip link set " + name + " up");
        return false;
    }
    if (interface.addresses.empty()) {
        Report(Verdict::Failure, "interface " + name + " has no IPv4 address",
               "connect it to the Box's network and let it get an address (DHCP)");
        return false;
    }
    if (!interface.hasMulticast) {
        Report(Verdict::Warning,
               "interface " + name + " (" + Joined(interface.addresses) + ") has multicast off",
               "if the search below finds no Box there: ip link set " + name + " multicast on");
        return true;
    }
    Report(Verdict::Ok,
           "interface " + name + " is up with " + Joined(interface.addresses) + ", multicast on");
    return true;
}

// The interfaces to search: the one given, else every interface that is up
// with an IPv4 address, loopback excluded.
std::vector<std::string> CheckInterfaces(const std::string& pinned) {
    const std::map<std::string, Interface> interfaces = ListInterfaces();
    std::vector<std::string> usable;
    if (!pinned.empty()) {
        const auto found = interfaces.find(pinned);
        if (found == interfaces.end())
            Report(Verdict::Failure, "there is no interface " + pinned,
                   "name one that `ip -brief address` lists");
        else if (CheckInterface(found->second))
            usable.push_back(pinned);
        return usable;
    }
    bool hasCandidate = false;
    for (const auto& [name, interface] : interfaces) {
        if (interface.isLoopback || !interface.isUp || interface.addresses.empty())
            continue;
        hasCandidate = true;
        if (CheckInterface(interface))
            usable.push_back(name);
    }
    if (!hasCandidate)
        Report(Verdict::Failure, "no interface besides loopback is up with an IPv4 address",
               "connect this PC to the Box's network (cable or Wi-Fi)");
    return usable;
}

void CheckFirewall() {
    const FirewallCheck check = CheckFirewallExceptions(RunningExecutablePath());
    if (check.result != kFirewallOk) {
        char code[16];
        std::snprintf(code, sizeof code, "0x%08X", static_cast<unsigned>(check.result));
        Report(Verdict::Warning, std::string("cannot read the firewall (") + code + ")",
               "run the doctor as root to check it");
        return;
    }
    if (!check.isFirewallOn) {
        Report(Verdict::Ok, "firewall: the input policy accepts by default, nothing to open");
        return;
    }
    Report(Verdict::Ok, "firewall: the input policy drops by default");
    const std::string applicationPorts = ApplicationPortsText();
    const struct {
        const char* name;
        const char* port;
        bool isOpen;
    } rules[] = {{kUpnpTcpRuleName, "2869/tcp", check.isUpnpTcpOpen},
                 {kUpnpUdpRuleName, "1900/udp", check.isUpnpUdpOpen},
                 {kApplicationRuleName, applicationPorts.c_str(), check.isAppAuthorized}};
    for (const auto& rule : rules) {
        if (rule.isOpen)
            Report(Verdict::Ok,
                   std::string("firewall rule \"") + rule.name + "\" admits " + rule.port);
        else
            Report(Verdict::Failure,
                   std::string("firewall rule \"") + rule.name + "\" for " + rule.port +
                       " is missing",
                   "add it: sudo vellumoctl firewall open");
    }
}

// Collects the answers of one search per interface until every search ended.
class SearchReport : public KvuUPnPFinderObserver {
public:
    SearchReport(GMainLoop* loop, std::string interfaceName, int* pending)
        : m_loop(loop), m_interfaceName(std::move(interfaceName)), m_pending(pending) {}

    void DeviceFound(const std::string& location, const std::string&,
                     const std::string& friendlyName, const std::string&) override {
        const std::string host = HostFromLocation(location);
        Report(Verdict::Ok, "Box " + kvu::MaskControlCharacters(host, '?') + " \"" +
                                kvu::MaskControlCharacters(friendlyName, '?') + "\" answered on " +
                                m_interfaceName);
        hosts.push_back(host);
    }
    void SearchCompleted() override { finish(); }
    void SearchFailed(const std::string& detail) override {
        Report(Verdict::Failure, "the search on " + m_interfaceName +
                                     " failed: " + kvu::MaskControlCharacters(detail, '?'));
        finish();
    }

    std::vector<std::string> hosts;

private:
    void finish() {
        if (m_isFinished)
            return;
        m_isFinished = true;
        if (--*m_pending == 0)
            g_main_loop_quit(m_loop);
    }

    GMainLoop* m_loop;
    std::string m_interfaceName;
    int* m_pending;
    bool m_isFinished = false;
};

// Searches every interface at once; the addresses that answered, in order.
std::vector<std::string> SearchForBoxes(const std::vector<std::string>& interfaces) {
    std::vector<std::string> hosts;
    if (interfaces.empty()) {
        Report(Verdict::Skipped, "UPnP search: no interface to search");
        return hosts;
    }
    GMainLoop* loop = g_main_loop_new(nullptr, FALSE);
    int pending = static_cast<int>(interfaces.size());
    {
        std::vector<std::unique_ptr<SearchReport>> reports;
        std::vector<std::unique_ptr<KvuUPnPFinder>> finders;
        for (const std::string& name : interfaces) {
            reports.push_back(std::make_unique<SearchReport>(loop, name, &pending));
            finders.push_back(std::make_unique<KvuUPnPFinder>(name));
            finders.back()->AddObserver(reports.back().get());
            finders.back()->StartSearch();
        }
        const guint guard = g_timeout_add_seconds(
            kSearchGuardSeconds,
            [](gpointer data) {
                g_main_loop_quit(static_cast<GMainLoop*>(data));
                return G_SOURCE_REMOVE;
            },
            loop);
        g_main_loop_run(loop);
        if (g_main_context_find_source_by_id(nullptr, guard) != nullptr)
            g_source_remove(guard);
        for (const auto& report : reports)
            hosts.insert(hosts.end(), report->hosts.begin(), report->hosts.end());
    }
    g_main_loop_unref(loop);
    if (hosts.empty())
        Report(Verdict::Failure, "UPnP search on " + Joined(interfaces) + ": no Box answered",
               "check that the Box is on and joined to the same network; Wi-Fi access points "
               "that isolate clients block the search");
    return hosts;
}

std::optional<sockaddr_in> Ipv4(const std::string& host, int port) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<uint16_t>(port));
    if (inet_pton(AF_INET, host.c_str(), &address.sin_addr) != 1)
        return std::nullopt;
    return address;
}

// A connect that gives up after kConnectTimeoutMs; the error, 0 on success.
int ConnectWithin(const sockaddr_in& address) {
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0)
        return errno;
    int error = 0;
    if (connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
        error = errno;
        if (error == EINPROGRESS) {
            pollfd entry{fd, POLLOUT, 0};
            socklen_t length = sizeof error;
            if (poll(&entry, 1, kConnectTimeoutMs) == 1)
                getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &length);
            else
                error = ETIMEDOUT;
        }
    }
    close(fd);
    return error;
}

bool CheckBox(const BoxAddress& box) {
    if (SendIcmpEcho(box.host))
        Report(Verdict::Ok, "the Box " + box.host + " answers echo requests (ping)");
    else
        Report(Verdict::Warning, "the Box " + box.host + " does not answer echo requests (ping)",
               "if the next check fails too, check the Box's power and network cable or Wi-Fi");
    const auto address = Ipv4(box.host, box.port);
    const int error = address ? ConnectWithin(*address) : EINVAL;
    const std::string target = box.host + ":" + std::to_string(box.port);
    if (error == 0) {
        Report(Verdict::Ok, "the Box accepts connections on " + target);
        return true;
    }
    Report(Verdict::Failure, "no connection to the Box on " + target + ": " + std::strerror(error),
           error == ECONNREFUSED
               ? "nothing takes connections on that port: if this is the Box, restart it"
               : "check the address, and that no firewall between this PC and the Box blocks it");
    return false;
}

void CheckServerPort(const ServerPort& server) {
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const int on = 1;
    setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    const sockaddr_in address = *Ipv4("0.0.0.0", server.port);
    const bool isFree =
        fd >= 0 && bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
    const int error = errno;
    if (fd >= 0)
        close(fd);
    const std::string port = std::to_string(server.port);
    if (isFree)
        Report(Verdict::Ok, "port " + port + " is free for " + server.server);
    else
        Report(Verdict::Warning, "port " + port + " cannot be taken: " + std::strerror(error),
               std::string(server.need) +
                   ": end the program that holds it (ss -ltnp 'sport = :" + port + "')");
}

} // namespace

int RunDoctor(int argc, char** argv) {
    std::optional<BoxAddress> givenBox;
    std::string pinnedInterface;
    for (int i = 0; i < argc; ++i) {
        BoxAddress box;
        if (std::strcmp(argv[i], "--box") == 0 && i + 1 < argc &&
            ParseBoxAddress(argv[i + 1], box) && Ipv4(box.host, box.port)) {
            givenBox = box;
            ++i;
        } else if (std::strcmp(argv[i], "--iface") == 0 && i + 1 < argc && argv[i + 1][0] != '\0') {
            pinnedInterface = argv[++i];
        } else {
            std::fprintf(stderr, "usage: vellumoctl doctor [--box ADDR[:PORT]] [--iface IF]\n");
            return kExitUsage;
        }
    }

    const std::vector<std::string> interfaces = CheckInterfaces(pinnedInterface);
    CheckFirewall();
    const std::vector<std::string> found = SearchForBoxes(interfaces);
    std::optional<BoxAddress> box = givenBox;
    if (!box && !found.empty())
        box = BoxAddress{found.front()};
    bool isUsable = false;
    if (box)
        isUsable = CheckBox(*box);
    else
        Report(Verdict::Skipped, "no Box to reach",
               "give its address: vellumoctl doctor --box ADDR");
    for (const ServerPort& server : kServerPorts)
        CheckServerPort(server);
    std::printf("%s\n", isUsable ? "The Box is usable." : "No usable Box.");
    return isUsable ? kExitOk : kExitFailure;
}
