// vellumoctl doctor in a private network whose only interface is loopback,
// with and without a simulated Box on the Box's own port.
#include "BoxSimProcess.h"
#include "CommandRunner.h"
#include "PrivateNetwork.h"
#include "TempDir.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <fstream>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

const std::string kDoctor = std::string(VELLUMOCTL_PATH) + " doctor";

class Doctor : public testing::Test {
protected:
    void SetUp() override {
        if (!IsInPrivateNetwork())
            GTEST_SKIP() << "needs a private network namespace (root)";
    }
};

// Where each text appears in the output, npos when missing.
std::vector<size_t> Positions(const std::string& output, const std::vector<std::string>& texts) {
    std::vector<size_t> positions;
    for (const std::string& text : texts)
        positions.push_back(output.find(text));
    return positions;
}

// A port 7272 held by another program is reported with what to do; the Box
// stays usable.
TEST_F(Doctor, ABoxIsCheckedInOrderAndUsable) {
    BoxSimProcess box({"--port", "7171", "--upnp-iface", "lo", "--friendly-name", "Den Box"},
                      "127.0.0.4");
    ASSERT_TRUE(box.isReady());
    const int holder = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{AF_INET, htons(7272), {}, {}};
    ASSERT_EQ(bind(holder, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    ASSERT_EQ(listen(holder, 1), 0);
    const CommandOutput found = RunCommand(kDoctor + " --iface lo");
    close(holder);
    EXPECT_EQ(found.exitCode, 0) << found.standardOutput;
    const std::vector<size_t> positions = Positions(
        found.standardOutput,
        {"[ ok ] interface lo is up with 127.0.0.1", "[ ok ] firewall: the input policy accepts",
         "[ ok ] Box 127.0.0.4 \"Den Box\" answered on lo",
         "[ ok ] the Box 127.0.0.4 answers echo requests",
         "[ ok ] the Box accepts connections on 127.0.0.4:7171", "[warn] port 7272 cannot be taken",
         "-> firmware upgrades need it", "The Box is usable."});
    for (size_t i = 0; i < positions.size(); ++i) {
        ASSERT_NE(positions[i], std::string::npos) << i << ":\n" << found.standardOutput;
        if (i > 0) {
            EXPECT_GT(positions[i], positions[i - 1]) << found.standardOutput;
        }
    }

    // Given by address, with nothing to search but loopback.
    const CommandOutput given = RunCommand(kDoctor + " --box 127.0.0.4");
    EXPECT_EQ(given.exitCode, 0) << given.standardOutput;
    EXPECT_NE(given.standardOutput.find("[FAIL] no interface besides loopback"), std::string::npos);
    EXPECT_NE(given.standardOutput.find("[ ok ] port 7272 is free"), std::string::npos);
}

TEST_F(Doctor, WithoutABoxItFailsWithAdvice) {
    const CommandOutput unanswered = RunCommand(kDoctor + " --iface lo");
    EXPECT_EQ(unanswered.exitCode, 1);
    EXPECT_NE(unanswered.standardOutput.find("[FAIL] UPnP search on lo: no Box answered"),
              std::string::npos)
        << unanswered.standardOutput;
    EXPECT_NE(unanswered.standardOutput.find("No usable Box."), std::string::npos);

    // Loopback answers echo requests, but nothing takes connections there.
    const CommandOutput refused = RunCommand(kDoctor + " --box 127.0.0.3");
    EXPECT_EQ(refused.exitCode, 1);
    EXPECT_NE(refused.standardOutput.find("[FAIL] no connection to the Box on 127.0.0.3:7171"),
              std::string::npos)
        << refused.standardOutput;

    const CommandOutput loopbackOnly = RunCommand(kDoctor);
    EXPECT_EQ(loopbackOnly.exitCode, 1);
    EXPECT_NE(loopbackOnly.standardOutput.find("[FAIL] no interface besides loopback"),
              std::string::npos);
    EXPECT_NE(loopbackOnly.standardOutput.find("[skip] no Box to reach"), std::string::npos);

    EXPECT_EQ(RunCommand(kDoctor + " --iface no-such-if0").exitCode, 1);
}

// A fresh network's loopback lacks the MULTICAST flag, yet the search finds
// a Box there: the flag is a warning, the search runs and decides.
TEST_F(Doctor, MulticastOffIsAWarningAndTheSearchDecides) {
    TempDir dir;
    const std::string script = dir.file("fresh-network.sh");
    std::ofstream(script) << "ip link set lo up\n"
                          << BOXSIM_PATH " --port 7171 --upnp-iface lo --friendly-name 'Bare Box'"
                          << " > box.out &\n"
                          << "for i in $(seq 50); do grep -q ready box.out && break; sleep 0.1; "
                             "done\n"
                          << kDoctor << " --iface lo\n"
                          << "status=$?\nkill $!\nexit $status\n";
    const CommandOutput output = RunCommand("cd " + dir.path() + " && unshare -n -- sh " + script);
    EXPECT_EQ(output.exitCode, 0) << output.standardOutput;
    EXPECT_NE(output.standardOutput.find("[warn] interface lo (127.0.0.1) has multicast off"),
              std::string::npos)
        << output.standardOutput;
    EXPECT_NE(output.standardOutput.find("\"Bare Box\" answered on lo"), std::string::npos)
        << output.standardOutput;
}

TEST(DoctorUsage, BadArgumentsExitWith2) {
    for (const char* arguments : {" --box", " --box not-an-address", " --box 127.0.0.1:99999",
                                  " --iface", " extra", " --box 127.0.0.1 stray"})
        EXPECT_EQ(RunCommand(kDoctor + arguments + " 2>/dev/null").exitCode, 2) << arguments;
}

} // namespace
