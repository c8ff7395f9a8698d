#include "Commands.h"

#include "network/FirewallExceptions.h"
#include "network/WindowsFirewall.h"

#include <cstdio>
#include <cstring>

namespace {

void PrintException(const char* name, const char* key, bool isPresent) {
    std::printf("%s (%s): %s\n", name, key, isPresent ? "present" : "missing");
}

// Prints what the check found; returns the exit code it stands for.
int PrintCheck(const FirewallCheck& check) {
    if (check.result != kFirewallOk) {
        std::fprintf(stderr, "vellumoctl firewall: cannot read the firewall (0x%08X)\n",
                     static_cast<unsigned>(check.result));
        return kExitFailure;
    }
    std::printf("firewall: %s\n", check.isFirewallOn ? "on" : "off (nothing to open)");
    PrintException(kUpnpTcpRuleName, "2869/tcp", check.isUpnpTcpOpen);
    PrintException(kUpnpUdpRuleName, "1900/udp", check.isUpnpUdpOpen);
    PrintException(kApplicationRuleName, ApplicationPortsText().c_str(), check.isAppAuthorized);
    return check.NeedsCreationRun() ? kExitFailure : kExitOk;
}

} // namespace

int RunFirewall(int argc, char** argv) {
    const bool isCheck = argc == 1 && std::strcmp(argv[0], "check") == 0;
    const bool isOpen = argc == 1 && std::strcmp(argv[0], "open") == 0;
    if (!isCheck && !isOpen) {
        std::fprintf(stderr, "usage: vellumoctl firewall check|open\n");
        return kExitUsage;
    }
    const std::string executable = RunningExecutablePath();
    if (isOpen) {
        const FirewallResult result = CreateFirewallExceptions(executable);
        if (result != kFirewallOk) {
            std::fprintf(stderr, "vellumoctl firewall: adding the exceptions failed (0x%08X)\n",
                         static_cast<unsigned>(result));
            PrintCheck(CheckFirewallExceptions(executable));
            return kExitFailure;
        }
    }
    return PrintCheck(CheckFirewallExceptions(executable));
}
