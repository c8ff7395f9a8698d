#include "DummyNetwork.h"

#include <QCoreApplication>
#include <gtest/gtest.h>

#include <cstdio>

// The process leaves the machine's network before its first thread starts:
// the tests search, announce and ping. Qt's event loop runs GLib's default
// context, as in the application.
int main(int argc, char** argv) {
    std::string why;
    if (!EnterDummyNetwork(&why))
        std::fprintf(stderr, "no private network: %s\n", why.c_str());
    testing::InitGoogleTest(&argc, argv);
    QCoreApplication application(argc, argv);
    return RUN_ALL_TESTS();
}
