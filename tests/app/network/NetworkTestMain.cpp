#include "PrivateNetwork.h"

#include <QCoreApplication>
#include <gtest/gtest.h>

#include <cstdio>

// Everything here discovers, announces or changes firewall rules, so the
// process leaves the machine's network before its first thread starts. When
// it cannot, the tests that need the network skip.
int main(int argc, char** argv) {
    std::string why;
    if (!EnterPrivateNetwork(&why)) {
        std::fprintf(stderr, "no private network: %s\n", why.c_str());
    }
    testing::InitGoogleTest(&argc, argv);
    // Qt's event loop dispatches GLib's default main context, as in the app.
    QCoreApplication application(argc, argv);
    return RUN_ALL_TESTS();
}
