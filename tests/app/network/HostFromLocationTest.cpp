#include "HostFromLocation.h"

#include <gtest/gtest.h>

TEST(HostFromLocation, TakesTheHostWithOrWithoutPort) {
    EXPECT_EQ(HostFromLocation("http://192.168.1.20:49152/description.xml"), "192.168.1.20");
    EXPECT_EQ(HostFromLocation("http://192.168.1.20/description.xml"), "192.168.1.20");
    EXPECT_EQ(HostFromLocation("http://192.168.1.20"), "192.168.1.20");
    EXPECT_EQ(HostFromLocation("http://192.168.1.20:80"), "192.168.1.20");
}

TEST(HostFromLocation, ColonInThePathDoesNotStretchTheHost) {
    EXPECT_EQ(HostFromLocation("http://10.0.0.5/dev/uuid:1234/desc.xml"), "10.0.0.5");
}

// Bad input: no scheme separator, empty text, separator at the end.
TEST(HostFromLocation, OddLocationsGiveWhatPrecedesTheFirstSeparator) {
    EXPECT_EQ(HostFromLocation("10.0.0.5:8080/desc.xml"), "10.0.0.5");
    EXPECT_EQ(HostFromLocation("box.local"), "box.local");
    EXPECT_EQ(HostFromLocation(""), "");
    EXPECT_EQ(HostFromLocation("http://"), "");
    EXPECT_EQ(HostFromLocation("/description.xml"), "");
}
