#include "BoxAnnouncer.h"
#include "BoxSimProcess.h"
#include "CommandRunner.h"
#include "PrivateNetwork.h"

#include <gtest/gtest.h>

namespace {

const std::string kVellumoctl = VELLUMOCTL_PATH;

class VellumoctlDiscover : public testing::Test {
protected:
    void SetUp() override {
        if (!IsInPrivateNetwork()) {
            GTEST_SKIP() << "needs a private network namespace (root)";
        }
    }
};

TEST_F(VellumoctlDiscover, PrintsAddressAndNameOfEveryBox) {
    BoxAnnouncer study("lo", "Study Box", "127.0.0.2");
    // A name with a line break must not forge a second line.
    BoxAnnouncer attic("lo", "Attic\n10.0.0.9\tFake", "127.0.0.3");
    ASSERT_TRUE(study.Start());
    ASSERT_TRUE(attic.Start());
    const auto found = RunCommand(kVellumoctl + " discover --iface lo");
    EXPECT_EQ(found.exitCode, 0);
    EXPECT_NE(found.standardOutput.find("127.0.0.2\tStudy Box\n"), std::string::npos)
        << found.standardOutput;
    EXPECT_NE(found.standardOutput.find("127.0.0.3\tAttic?10.0.0.9?Fake\n"), std::string::npos)
        << found.standardOutput;

    // The Box answers a search after a random delay of up to its MX (1 s),
    // then the description is fetched: a window of 1 s could end first. One
    // of 4 s holds both, and still replaces the search window.
    const auto waited = RunCommand(kVellumoctl + " discover --iface lo --timeout 4");
    EXPECT_EQ(waited.exitCode, 0);
    EXPECT_NE(waited.standardOutput.find("127.0.0.2\tStudy Box\n"), std::string::npos);
}

TEST_F(VellumoctlDiscover, FindsARunningSimulatedBox) {
    BoxSimProcess box({"--upnp-iface", "lo", "--friendly-name", "Den Box"}, "127.0.0.4");
    ASSERT_TRUE(box.isReady());
    const auto found = RunCommand(kVellumoctl + " discover --iface lo");
    EXPECT_EQ(found.exitCode, 0);
    EXPECT_NE(found.standardOutput.find("127.0.0.4\tDen Box\n"), std::string::npos)
        << found.standardOutput;
}

TEST_F(VellumoctlDiscover, NoBoxOrNoInterfaceIsAFailure) {
    const auto none = RunCommand(kVellumoctl + " discover --iface lo 2>/dev/null");
    EXPECT_EQ(none.exitCode, 1);
    EXPECT_EQ(none.standardOutput, "");
    EXPECT_EQ(RunCommand(kVellumoctl + " discover --iface no-such-if0 2>/dev/null").exitCode, 1);
}

TEST(Vellumoctl, UsageErrorsExitWith2AndHelpDocumentsTheCodes) {
    for (const char* arguments : {"", " bogus", " discover --timeout", " discover --timeout 0",
                                  " discover --timeout x1", " discover --iface", " discover extra",
                                  " firewall", " firewall close", " firewall check extra"}) {
        EXPECT_EQ(RunCommand(kVellumoctl + arguments + " 2>/dev/null").exitCode, 2) << arguments;
    }
    const auto help = RunCommand(kVellumoctl + " --help");
    EXPECT_EQ(help.exitCode, 0);
    EXPECT_NE(help.standardOutput.find("discover [--iface IF] [--timeout S]"), std::string::npos);
    EXPECT_NE(help.standardOutput.find("firewall check|open"), std::string::npos);
    EXPECT_NE(help.standardOutput.find("0 ok, 1 failure, 2 usage"), std::string::npos);
}

} // namespace
