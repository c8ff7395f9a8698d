#include "AnnouncedDevice.h"
#include "BoxAnnouncer.h"
#include "BoxSimProcess.h"
#include "CommandRunner.h"
#include "GLibWait.h"
#include "PrivateNetwork.h"

#include <arpa/inet.h>
#include <glib.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <thread>

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
    EXPECT_NE(found.standardOutput.find("127.0.0.2\tStudy Box\tBox\t" + study.Location() + "\n"),
              std::string::npos)
        << found.standardOutput;
    EXPECT_NE(found.standardOutput.find("127.0.0.3\tAttic?10.0.0.9?Fake\tBox\t" + attic.Location() +
                                        "\n"),
              std::string::npos)
        << found.standardOutput;

    // The Box answers a search after a random delay of up to its MX (1 s),
    // then the description is fetched: a window of 1 s could end first. One
    // of 4 s holds both, and still replaces the search window.
    const auto waited = RunCommand(kVellumoctl + " discover --iface lo --timeout 4");
    EXPECT_EQ(waited.exitCode, 0);
    EXPECT_NE(waited.standardOutput.find("127.0.0.2\tStudy Box\tBox\t"), std::string::npos);
}

TEST_F(VellumoctlDiscover, FindsARunningSimulatedBox) {
    BoxSimProcess box({"--upnp-iface", "lo", "--friendly-name", "Den Box"}, "127.0.0.4");
    ASSERT_TRUE(box.isReady());
    const auto found = RunCommand(kVellumoctl + " discover --iface lo");
    EXPECT_EQ(found.exitCode, 0);
    EXPECT_NE(found.standardOutput.find("127.0.0.4\tDen Box\tBox\thttp://127.0.0.4:"),
              std::string::npos)
        << found.standardOutput;
}

// A description with both AV services is a TV or speaker's; one that lacks
// AVTransport is unusable and says why. The devices are served from this
// thread's GLib context while the command runs on another thread.
TEST_F(VellumoctlDiscover, PrintsTheKindOfEveryDevice) {
    const std::string transport = "urn:schemas-upnp-org:service:AVTransport:1";
    const std::string rendering = "urn:schemas-upnp-org:service:RenderingControl:1";
    const AnnouncedDevice tv("127.0.0.2",
                             "<friendlyName>Lounge TV</friendlyName>" +
                                 AnnouncedDevice::ServiceListXml({rendering, transport}));
    const AnnouncedDevice mute("127.0.0.3", "<friendlyName>Mute</friendlyName>" +
                                                AnnouncedDevice::ServiceListXml({rendering}));
    ASSERT_TRUE(tv.IsAnnounced() && mute.IsAnnounced());
    CommandOutput found;
    std::atomic<bool> isDone{false};
    std::thread command([&] {
        found = RunCommand(kVellumoctl + " discover --iface lo");
        isDone = true;
        // The waiting loop below may sleep until the next GLib event.
        g_main_context_wakeup(nullptr);
    });
    const bool isEnded = RunMainContextUntil([&] { return isDone.load(); });
    command.join();
    ASSERT_TRUE(isEnded);
    EXPECT_EQ(found.exitCode, 0);
    EXPECT_NE(found.standardOutput.find("127.0.0.2\tLounge TV\tTV or speaker\t" + tv.Base() +
                                        "/description.xml\n"),
              std::string::npos)
        << found.standardOutput;
    EXPECT_NE(found.standardOutput.find("127.0.0.3\tMute\tunusable: offers no AVTransport "
                                        "service\t" +
                                        mute.Base() + "/description.xml\n"),
              std::string::npos)
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
    EXPECT_NE(help.standardOutput.find("port 7273 for the media server"), std::string::npos);
    EXPECT_NE(help.standardOutput.find("0 ok, 1 failure, 2 usage"), std::string::npos);
}

} // namespace

// The doctor checks the media server's port beside the firmware server's: a
// port held by another program is a warning with what to do.
TEST_F(VellumoctlDiscover, DoctorReportsTheMediaServerPort) {
    const int holder = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{AF_INET, htons(7273), {}, {}};
    ASSERT_EQ(bind(holder, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    ASSERT_EQ(listen(holder, 1), 0);
    const auto held = RunCommand(kVellumoctl + " doctor --box 127.0.0.9");
    close(holder);
    const std::string& output = held.standardOutput;
    const size_t firmware = output.find("[ ok ] port 7272 is free for the firmware server");
    const size_t media = output.find("[warn] port 7273 cannot be taken: Address already in use");
    const size_t advice = output.find("-> playing on TVs and speakers needs it: end the program "
                                      "that holds it (ss -ltnp 'sport = :7273')");
    ASSERT_NE(firmware, std::string::npos) << output;
    ASSERT_NE(media, std::string::npos) << output;
    ASSERT_NE(advice, std::string::npos) << output;
    EXPECT_LT(firmware, media);
    EXPECT_LT(media, advice);

    const auto free = RunCommand(kVellumoctl + " doctor --box 127.0.0.9");
    EXPECT_NE(free.standardOutput.find("[ ok ] port 7273 is free for the media server"),
              std::string::npos)
        << free.standardOutput;
}
