#include "CommandRunner.h"
#include "PrivateNetwork.h"
#include "TraceCapture.h"
#include "network/FirewallExceptions.h"
#include "network/WindowsFirewall.h"

#include <gtest/gtest.h>
#include <linux/capability.h>
#include <nftables/libnftables.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace {

constexpr const char* kExecutable = "/usr/bin/vellumo";

// Runs nft commands the way an administrator would, and reads the ruleset.
class Nft {
public:
    Nft() : m_context(nft_ctx_new(NFT_CTX_DEFAULT)) {
        nft_ctx_buffer_output(m_context);
        nft_ctx_buffer_error(m_context);
    }
    ~Nft() { nft_ctx_free(m_context); }
    void Run(const std::string& commands) {
        ASSERT_EQ(nft_run_cmd_from_buffer(m_context, commands.c_str()), 0)
            << nft_ctx_get_error_buffer(m_context);
    }
    std::string Ruleset() {
        nft_run_cmd_from_buffer(m_context, "list ruleset");
        return nft_ctx_get_output_buffer(m_context);
    }

private:
    nft_ctx* m_context;
};

size_t Count(const std::string& text, const std::string& what) {
    size_t count = 0;
    for (auto at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) {
        ++count;
    }
    return count;
}

// Each test body runs in a network namespace of its own, with a fresh ruleset.
void InFreshNetwork(const std::function<void()>& body) {
    std::string why;
    if (!RunInFreshNetwork(body, &why)) {
        GTEST_SKIP() << "needs a private network namespace: " << why;
    }
}

void DropNetAdminCapability() {
    __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct data[2]{};
    ASSERT_EQ(syscall(SYS_capget, &header, data), 0);
    data[CAP_NET_ADMIN / 32].effective &= ~(1u << (CAP_NET_ADMIN % 32));
    ASSERT_EQ(syscall(SYS_capset, &header, data), 0);
}

const char* kDroppingChain = "add table inet filter\n"
                             "add chain inet filter input { type filter hook input priority 0; "
                             "policy drop; }\n";

} // namespace

// A chain that drops by default and ends in an explicit drop rule gets the
// three exceptions ahead of that rule; a second run adds nothing.
TEST(Firewall, DroppingInputChainGetsTheThreeRulesOnce) {
    InFreshNetwork([] {
        Nft nft;
        nft.Run(std::string(kDroppingChain) + "add rule inet filter input counter drop\n");

        const FirewallCheck before = CheckFirewallExceptions(kExecutable);
        EXPECT_EQ(before.result, kFirewallOk);
        EXPECT_TRUE(before.isFirewallOn);
        EXPECT_FALSE(before.isUpnpTcpOpen || before.isUpnpUdpOpen || before.isAppAuthorized);
        EXPECT_TRUE(before.NeedsCreationRun());

        EXPECT_EQ(CreateFirewallExceptions(kExecutable), kFirewallOk);
        const std::string ruleset = nft.Ruleset();
        EXPECT_EQ(Count(ruleset, "tcp dport 2869 accept comment \"UPnP TCP 2869\""), 1u);
        EXPECT_EQ(Count(ruleset, "udp dport 1900 accept comment \"UPnP UDP 1900\""), 1u);
        EXPECT_EQ(Count(ruleset, "tcp dport 7272 accept comment \"Zenthar Tavoli Applicaton\""),
                  1u);
        EXPECT_EQ(Count(ruleset, "tcp dport 7273 accept comment \"Zenthar Tavoli Applicaton\""),
                  1u);
        EXPECT_LT(ruleset.find("UPnP TCP 2869"), ruleset.find("drop\n"));

        const FirewallCheck after = CheckFirewallExceptions(kExecutable);
        EXPECT_TRUE(after.isUpnpTcpOpen && after.isUpnpUdpOpen && after.isAppAuthorized);
        EXPECT_FALSE(after.NeedsCreationRun());

        EXPECT_EQ(CreateFirewallExceptions(kExecutable), kFirewallOk);
        EXPECT_EQ(nft.Ruleset(), ruleset);
    });
}

// No ruleset at all, then an input chain that accepts by default (beside an
// output chain that drops): the firewall is off and nothing is added.
TEST(Firewall, NoDroppingInputChainIsReportedOffAndLeftAlone) {
    InFreshNetwork([] {
        Nft nft;
        EXPECT_FALSE(CheckFirewallExceptions(kExecutable).isFirewallOn);
        EXPECT_EQ(CreateFirewallExceptions(kExecutable), kFirewallOk);
        EXPECT_EQ(nft.Ruleset(), "");

        nft.Run("add table inet filter\n"
                "add chain inet filter input { type filter hook input priority 0; policy "
                "accept; }\n"
                "add chain inet filter output { type filter hook output priority 0; policy "
                "drop; }\n");
        const std::string ruleset = nft.Ruleset();
        const FirewallCheck check = CheckFirewallExceptions(kExecutable);
        EXPECT_EQ(check.result, kFirewallOk);
        EXPECT_FALSE(check.isFirewallOn);
        EXPECT_FALSE(check.NeedsCreationRun());
        EXPECT_EQ(CreateFirewallExceptions(kExecutable), kFirewallOk);
        EXPECT_EQ(nft.Ruleset(), ruleset);
    });
}

// Someone else's rules that admit a port (in a set, a range, with a counter,
// without our name) are reused; a rule narrowed to one source address is not
// enough. Packets pass every input chain in turn, so each dropping one is
// looked at and completed.
TEST(Firewall, RulesAddedBySomeoneElseAreReusedInEveryDroppingChain) {
    InFreshNetwork([] {
        Nft nft;
        nft.Run(std::string(kDroppingChain) +
                "add rule inet filter input udp dport { 53, 1900 } counter accept\n"
                "add rule inet filter input tcp dport 7000-7300 accept\n"
                "add rule inet filter input ip saddr 10.0.0.1 tcp dport 2869 accept\n"
                "add table ip legacy\n"
                "add chain ip legacy INPUT { type filter hook input priority 10; policy drop; }\n"
                "add rule ip legacy INPUT tcp dport { 1900, 2869, 7272, 7273 } accept\n"
                "add rule ip legacy INPUT udp dport 1900 accept\n");
        const FirewallCheck check = CheckFirewallExceptions(kExecutable);
        EXPECT_TRUE(check.isUpnpUdpOpen);
        EXPECT_TRUE(check.isAppAuthorized);
        EXPECT_FALSE(check.isUpnpTcpOpen);

        EXPECT_EQ(CreateFirewallExceptions(kExecutable), kFirewallOk);
        const std::string ruleset = nft.Ruleset();
        EXPECT_EQ(Count(ruleset, "comment"), 1u);
        EXPECT_EQ(Count(ruleset, "tcp dport 2869 accept comment \"UPnP TCP 2869\""), 1u);
        EXPECT_FALSE(CheckFirewallExceptions(kExecutable).NeedsCreationRun());
    });
}

// The application's exception stands for both its server ports: one of them
// admitted is not enough, and authorizing adds only the other.
TEST(Firewall, TheApplicationNeedsBothServerPorts) {
    InFreshNetwork([] {
        Nft nft;
        nft.Run(std::string(kDroppingChain) + "add rule inet filter input tcp dport 7272 accept\n");
        EXPECT_EQ(ApplicationPortsText(), "7272/tcp, 7273/tcp");
        const FirewallCheck check = CheckFirewallExceptions(kExecutable);
        EXPECT_FALSE(check.isAppAuthorized);
        FirewallProfile profile;
        ASSERT_EQ(WindowsFirewallInitialize(profile), kFirewallOk);
        EXPECT_EQ(WindowsFirewallAppAuthorize(profile, kExecutable), kFirewallOk);
        const std::string ruleset = nft.Ruleset();
        EXPECT_EQ(Count(ruleset, "comment"), 1u);
        EXPECT_EQ(Count(ruleset, "tcp dport 7273 accept comment \"Zenthar Tavoli Applicaton\""),
                  1u);
        EXPECT_TRUE(CheckFirewallExceptions(kExecutable).isAppAuthorized);

        nft.Run("flush ruleset\n" + std::string(kDroppingChain) +
                "add rule inet filter input tcp dport 7273 accept\n");
        EXPECT_FALSE(CheckFirewallExceptions(kExecutable).isAppAuthorized);
    });
}

// Without the right to change the firewall: traced, reported, nothing asked.
TEST(Firewall, NoPermissionIsTracedAndLeavesTheCheckAlone) {
    InFreshNetwork([] {
        {
            Nft nft;
            nft.Run(kDroppingChain);
        }
        DropNetAdminCapability();
        TraceCapture trace;
        const FirewallCheck check = CheckFirewallExceptions(kExecutable);
        EXPECT_LT(check.result, 0);
        EXPECT_FALSE(check.NeedsCreationRun());
        EXPECT_TRUE(trace.Contains("get_LocalPolicy failed: 0x"));
        EXPECT_TRUE(trace.Contains("WindowsFirewallInitialize failed: 0x"));
        EXPECT_LT(CreateFirewallExceptions(kExecutable), 0);
        EXPECT_TRUE(trace.Contains("Firewall access failed!! ("));
    });
}

TEST(Firewall, BadArgumentsAreRefusedAndTraced) {
    InFreshNetwork([] {
        TraceCapture trace;
        FirewallProfile unloaded;
        EXPECT_EQ(WindowsFirewallPortOpen(unloaded, 2869, kProtocolTcp, "x"), kFirewallNotLoaded);
        EXPECT_TRUE(trace.Contains("WindowsFirewallPortIsEnabled failed: 0x80004003"));

        Nft nft;
        nft.Run(kDroppingChain);
        FirewallProfile profile;
        ASSERT_EQ(WindowsFirewallInitialize(profile), kFirewallOk);
        EXPECT_EQ(WindowsFirewallPortOpen(profile, 2869, 1, "x"), kFirewallInvalidArgument);
        EXPECT_TRUE(trace.Contains("put_Protocol failed: 0x80070057"));
        EXPECT_EQ(WindowsFirewallAppAuthorize(profile, ""), kFirewallInvalidArgument);
        EXPECT_TRUE(trace.Contains("WindowsFirewallAppIsEnabled failed: 0x80070057"));
        // A name that would need quoting on an nft command line goes in whole.
        EXPECT_EQ(WindowsFirewallPortOpen(profile, 5000, kProtocolUdp, "a \"quoted\"; name"),
                  kFirewallOk);
        EXPECT_NE(nft.Ruleset().find("udp dport 5000 accept comment \"a \"quoted\"; name\""),
                  std::string::npos);
    });
}

// The command-line companion: open, then check, in a dropping namespace.
TEST(Firewall, VellumoctlOpenThenCheckReportsAllThree) {
    InFreshNetwork([] {
        Nft nft;
        nft.Run(kDroppingChain);
        const std::string vellumoctl = VELLUMOCTL_PATH;
        const auto missing = RunCommand(vellumoctl + " firewall check");
        EXPECT_EQ(missing.exitCode, 1);
        EXPECT_NE(missing.standardOutput.find("UPnP TCP 2869 (2869/tcp): missing"),
                  std::string::npos);
        EXPECT_EQ(RunCommand(vellumoctl + " firewall open").exitCode, 0);
        const auto present = RunCommand(vellumoctl + " firewall check");
        EXPECT_EQ(present.exitCode, 0);
        EXPECT_EQ(present.standardOutput,
                  "firewall: on\n"
                  "UPnP TCP 2869 (2869/tcp): present\n"
                  "UPnP UDP 1900 (1900/udp): present\n"
                  "Zenthar Tavoli Applicaton (7272/tcp, 7273/tcp): present\n");
    });
}
