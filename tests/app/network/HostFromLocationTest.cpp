#include "network/HostFromLocation.h"

#include <gtest/gtest.h>

TEST(HostFromLocation, TakesTheHostWithOrWithoutPort) {
    EXPECT_EQ(HostFromLocation("http://192.168.1.20:49152/description.xml"), "192.168.1.20");
    EXPECT_EQ(HostFromLocation("http://192.168.1.20/description.xml"), "192.168.1.20");
    EXPECT_EQ(HostFromLocation("http://192.168.1.20"), "192.168.1.20");
    // A colon in the path does not stretch the host over the path.
    EXPECT_EQ(HostFromLocation("http://10.0.0.5/dev/uuid:1234/desc.xml"), "10.0.0.5");
}

// Bad input: no "://", empty text, nothing after the scheme.
TEST(HostFromLocation, OddLocationsGiveWhatPrecedesTheFirstSeparator) {
    EXPECT_EQ(HostFromLocation("10.0.0.5:8080/desc.xml"), "10.0.0.5");
    EXPECT_EQ(HostFromLocation("box.local"), "box.local");
    EXPECT_EQ(HostFromLocation(""), "");
    EXPECT_EQ(HostFromLocation("http://"), "");
}
