// The PC's address on the box's network, and the interfaces the search uses.
#include "DummyNetwork.h"
#include "network/IcmpEcho.h"
#include "network/LocalAddress.h"

#include <gtest/gtest.h>

#include <fstream>

namespace {

#define REQUIRE_DUMMY_NETWORK()                                                                    \
    if (!IsInDummyNetwork())                                                                       \
    GTEST_SKIP() << "needs a private network namespace (root)"

} // namespace

// The subnet decides, not the text: 192.168.10.7 starts with "192.168.1"
// too, and comes first.
TEST(LocalAddress, TheInterfaceSubnetHoldingTheBoxWins) {
    REQUIRE_DUMMY_NETWORK();
    EXPECT_EQ(FindLocalAddress("192.168.1.5"), "192.168.1.20");
    EXPECT_EQ(FindLocalAddress("192.168.10.200"), "192.168.10.7");
    EXPECT_EQ(FindLocalAddress("127.0.0.5"), "127.0.0.1");
    EXPECT_EQ(FindLocalAddress("172.16.0.1"), std::nullopt);
}

TEST(LocalAddress, WithoutAHoldingSubnetTheDottedPrefixDecides) {
    const std::vector<LocalIPv4Address> local = {
        {"lo", "127.0.1.1", "255.0.0.0", true},
        {"wl0", "192.168.10.7", "255.255.255.255", false},
        {"wl1", "192.168.1.20", "255.255.255.255", false},
    };
    EXPECT_EQ(FindLocalAddress("192.168.1.5", local), "192.168.1.20");
    EXPECT_EQ(FindLocalAddress("10.0.0.1", local), std::nullopt);
    // A name that is no address only gets the prefix test.
    EXPECT_EQ(FindLocalAddress("192.168.1.box", local), "192.168.1.20");
    EXPECT_EQ(FindLocalAddress("", local), std::nullopt);
}

TEST(LocalAddress, TheSearchUsesInterfacesThatAreUpWithIPv4ExceptLoopback) {
    REQUIRE_DUMMY_NETWORK();
    EXPECT_EQ(DefaultSearchInterfaces(), std::vector<std::string>{kDummyInterface});
}

// Loopback and our own address answer; an address of the dummy interface's
// subnet that nobody holds does not. First through the raw socket (a new
// namespace allows no unprivileged ICMP sockets), then through the
// unprivileged one.
TEST(IcmpEcho, LoopbackAnswersAnUnheldAddressDoesNot) {
    REQUIRE_DUMMY_NETWORK();
    for (const char* groups : {"1 0", "0 2147483647"}) {
        SCOPED_TRACE(groups);
        std::ofstream("/proc/sys/net/ipv4/ping_group_range") << groups;
        EXPECT_TRUE(SendIcmpEcho("127.0.0.1"));
        EXPECT_TRUE(SendIcmpEcho("10.99.0.1"));
        EXPECT_FALSE(SendIcmpEcho("10.99.0.2", 2, std::chrono::milliseconds(200)));
    }
    EXPECT_FALSE(SendIcmpEcho("not an address"));
}
