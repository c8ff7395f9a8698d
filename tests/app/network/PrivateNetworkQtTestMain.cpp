#include "PrivateNetwork.h"

#include <QCoreApplication>
#include <gtest/gtest.h>

#include <cstdio>

// The tests discover, announce, ping or change firewall rules: the process
// leaves the machine's network before its first thread starts, and the tests
// that need it skip when it cannot.
int main(int argc, char** argv) {
    std::string why;
    if (!EnterPrivateNetwork(&why))
        std::fprintf(stderr, "no private network: %s\n", why.c_str());
    testing::InitGoogleTest(&argc, argv);
    // Qt's event loop dispatches GLib's default main context, as in the app.
    QCoreApplication application(argc, argv);
    return RUN_ALL_TESTS();
}
