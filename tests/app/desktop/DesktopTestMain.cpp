#include <QApplication>
#include <gtest/gtest.h>

// The D-Bus objects are served by Qt's event loop, which the tests spin
// while they wait. The media keys' tests play through the real status
// window, offscreen.
int main(int argc, char** argv) {
    testing::InitGoogleTest(&argc, argv);
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    return RUN_ALL_TESTS();
}
