#include "FirewallExceptions.h"

#include "DebugPrint.h"
#include "ExecutablePath.h"
#include "WindowsFirewall.h"

#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <climits>

extern char** environ;

namespace {

constexpr const char* kCreationSwitch = "-closefirewall";
// pkexec's exit codes when the user dismissed the prompt or failed to
// authenticate.
constexpr int kPkexecDismissed = 126;
constexpr int kPkexecNotAuthorized = 127;

// Runs one query, tracing a failure; a failure counts as "not enabled".
template <typename Query> bool Ask(Query query) {
    bool isEnabled = false;
    const FirewallResult result = query(&isEnabled);
    if (result != kFirewallOk) {
        DebugPrint("Firewall access failed!! (%lX)", FirewallHex(result));
        return false;
    }
    return isEnabled;
}

} // namespace

std::string RunningExecutablePath() {
    std::string path = kvu::ExecutablePath();
    if (path.empty())
        DebugPrint("Can't get the file name(%X)", static_cast<unsigned>(errno));
    return path;
}

FirewallCheck CheckFirewallExceptions(const std::string& executablePath) {
    FirewallCheck check;
    FirewallProfile profile;
    check.result = WindowsFirewallInitialize(profile);
    if (check.result != kFirewallOk) {
        DebugPrint("WindowsFirewallInitialize failed: 0x%08lx\n", FirewallHex(check.result));
        return check;
    }
    check.isFirewallOn = profile.IsFirewallEnabled();
    if (!check.isFirewallOn) {
        return check;
    }
    check.isUpnpTcpOpen = Ask([&](bool* isEnabled) {
        return WindowsFirewallPortIsEnabled(profile, kUpnpTcpPort, kProtocolTcp, isEnabled);
    });
    check.isUpnpUdpOpen = Ask([&](bool* isEnabled) {
        return WindowsFirewallPortIsEnabled(profile, kUpnpUdpPort, kProtocolUdp, isEnabled);
    });
    check.isAppAuthorized = Ask([&](bool* isEnabled) {
        return WindowsFirewallAppIsEnabled(profile, executablePath, isEnabled);
    });
    return check;
}

FirewallResult CreateFirewallExceptions(const std::string& executablePath) {
    FirewallProfile profile;
    FirewallResult first = WindowsFirewallInitialize(profile);
    if (first != kFirewallOk) {
        DebugPrint("Firewall access failed!! (%lX)", FirewallHex(first));
        return first;
    }
    const FirewallResult results[] = {
        WindowsFirewallPortOpen(profile, kUpnpTcpPort, kProtocolTcp, kUpnpTcpRuleName),
        WindowsFirewallPortOpen(profile, kUpnpUdpPort, kProtocolUdp, kUpnpUdpRuleName),
        WindowsFirewallAppAuthorize(profile, executablePath),
    };
    for (const FirewallResult result : results) {
        if (result != kFirewallOk) {
            DebugPrint("Firewall access failed!! (%lX)", FirewallHex(result));
            if (first == kFirewallOk) {
                first = result;
            }
        }
    }
    return first;
}

std::vector<std::string> ElevatedCreationCommand(const std::string& executablePath) {
    return {"pkexec", executablePath, kCreationSwitch};
}

ElevationOutcome RunElevatedCreation(const std::string& executablePath) {
    const auto command = ElevatedCreationCommand(executablePath);
    std::vector<char*> argv;
    for (const auto& argument : command) {
        argv.push_back(const_cast<char*>(argument.c_str()));
    }
    argv.push_back(nullptr);
    pid_t child = 0;
    const int error = posix_spawnp(&child, argv[0], nullptr, nullptr, argv.data(), environ);
    if (error != 0) {
        DebugPrint("RunElevatedCreation(): cannot start pkexec: %d\n", error);
        return ElevationOutcome::Failed;
    }
    int status = 0;
    while (waitpid(child, &status, 0) < 0) {
        if (errno != EINTR) {
            return ElevationOutcome::Failed;
        }
    }
    if (!WIFEXITED(status)) {
        return ElevationOutcome::Failed;
    }
    const int code = WEXITSTATUS(status);
    if (code == kPkexecDismissed || code == kPkexecNotAuthorized) {
        return ElevationOutcome::Refused;
    }
    return code == 0 ? ElevationOutcome::Done : ElevationOutcome::Failed;
}
