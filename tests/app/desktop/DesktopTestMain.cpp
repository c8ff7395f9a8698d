#include <QCoreApplication>
#include <gtest/gtest.h>

// The D-Bus objects are served by Qt's event loop, which the tests spin
// while they wait.
int main(int argc, char** argv) {
    testing::InitGoogleTest(&argc, argv);
    QCoreApplication application(argc, argv);
    return RUN_ALL_TESTS();
}
