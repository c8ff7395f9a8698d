#include <QApplication>
#include <gtest/gtest.h>

// A headless application in which the web engine can start from a module
// loaded later: it shares its contexts with the application's, which must be
// said before the application exists (and loads nothing).
int main(int argc, char** argv) {
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    testing::InitGoogleTest(&argc, argv);
    QApplication application(argc, argv);
    return RUN_ALL_TESTS();
}
