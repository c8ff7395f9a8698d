// Process starts of the program: the firewall run and the second instance.
#include "CommandRunner.h"
#include "PrivateNetwork.h"
#include "ScopedEnvironment.h"
#include "TempDir.h"
#include "TiedChild.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <optional>
#include <thread>

namespace {

constexpr auto kExitBound = std::chrono::seconds(30);

// The exit code, or nothing when the process did not end within the bound
// (it is then killed).
std::optional<int> waitForExit(pid_t pid, std::chrono::seconds bound = kExitBound) {
    const auto deadline = std::chrono::steady_clock::now() + bound;
    int status = 0;
    while (waitpid(pid, &status, WNOHANG) == 0) {
        if (std::chrono::steady_clock::now() > deadline) {
            kill(pid, SIGKILL);
            waitpid(pid, &status, 0);
            return std::nullopt;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return WIFEXITED(status) ? std::optional(WEXITSTATUS(status)) : std::optional(-1);
}

bool isLockHeld(const std::string& path) {
    const int fd = open(path.c_str(), O_RDWR | O_CLOEXEC);
    if (fd < 0)
        return false;
    const bool isHeld = flock(fd, LOCK_EX | LOCK_NB) != 0;
    close(fd);
    return isHeld;
}

} // namespace

// Without any display: a window, or even the start of the window system,
// would end the run with an error or keep it waiting.
TEST(VellumoProgram, CloseFirewallAloneAddsTheThreeRulesWithoutAWindow) {
    std::string why;
    const bool isEntered = RunInFreshNetwork(
        [] {
            ASSERT_EQ(std::system("nft 'add table inet filter; add chain inet filter input "
                                  "{ type filter hook input priority 0; policy drop; }'"),
                      0);
            const ScopedEnvironment noDisplay("DISPLAY", nullptr);
            const ScopedEnvironment noWayland("WAYLAND_DISPLAY", nullptr);
            const ScopedEnvironment noPlatform("QT_QPA_PLATFORM", nullptr);
            const pid_t run = SpawnTiedChild({VELLUMO_PATH, "-CloseFirewall"}, -1, -1);
            ASSERT_GT(run, 0);
            EXPECT_EQ(waitForExit(run), 0);
            const std::string ruleset = RunCommand("nft list ruleset").standardOutput;
            for (const char* rule : {"tcp dport 2869 accept comment \"UPnP TCP 2869\"",
                                     "udp dport 1900 accept comment \"UPnP UDP 1900\"",
                                     "tcp dport 7272 accept comment \"Zenthar Tavoli Applicaton\""})
                EXPECT_NE(ruleset.find(rule), std::string::npos) << rule << "\n" << ruleset;
        },
        &why);
    if (!isEntered)
        GTEST_SKIP() << "needs a private network namespace: " << why;
}

// The first start searches on loopback and finds nothing: it waits on its
// device list. A second normal start ends at once; a firewall run still runs.
TEST(VellumoProgram, ASecondStartEndsAtOnce) {
    if (!IsInPrivateNetwork())
        GTEST_SKIP() << "needs a private network namespace (root)";
    TempDir runtime;
    const ScopedEnvironment runtimeDirectory("XDG_RUNTIME_DIR", runtime.path().c_str());
    const ScopedEnvironment configDirectory("XDG_CONFIG_HOME", runtime.path().c_str());
    const ScopedEnvironment offscreen("QT_QPA_PLATFORM", "offscreen");
    const pid_t first = SpawnTiedChild({VELLUMO_PATH, "--iface", "lo"}, -1, -1);
    ASSERT_GT(first, 0);
    const std::string lock = runtime.file("ZentharTavoli.lock");
    const auto deadline = std::chrono::steady_clock::now() + kExitBound;
    while (!isLockHeld(lock) && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    ASSERT_TRUE(isLockHeld(lock));

    const pid_t second = SpawnTiedChild({VELLUMO_PATH, "--iface", "lo"}, -1, -1);
    EXPECT_EQ(waitForExit(second), 0);
    const pid_t upgrade = SpawnTiedChild({VELLUMO_PATH, "-upgrade"}, -1, -1);
    EXPECT_EQ(waitForExit(upgrade), 0);
    EXPECT_EQ(waitpid(first, nullptr, WNOHANG), 0) << "the first instance ended";
    kill(first, SIGTERM);
    waitForExit(first);
}
