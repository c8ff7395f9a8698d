#include "CScreenshotWriter.h"
#include "Screenshots.h"

#include <QApplication>
#include <QStringList>
#include <QTest>

#include <cstdio>

void Activate(QWidget& window) {
    window.activateWindow();
    if (!QTest::qWaitForWindowActive(&window))
        std::fprintf(stderr, "%s did not become active\n", qPrintable(window.objectName()));
}

// Usage: vellumo_screenshots OUTDIR. Run with QT_QPA_PLATFORM=offscreen, and
// with QT_SCALE_FACTOR=2 for the pictures of a high-density screen.
int main(int argc, char** argv) {
    QApplication application(argc, argv);
    const QStringList arguments = QApplication::arguments();
    if (arguments.size() != 2) {
        std::fprintf(stderr, "usage: vellumo_screenshots OUTDIR\n");
        return 2;
    }
    CScreenshotWriter writer(arguments.at(1));
    for (auto shoot : {&ShootControls, &ShootDialogs, &ShootWindows})
        shoot(writer);
    std::printf("%d pictures in %s\n", writer.written(), qPrintable(arguments.at(1)));
    return writer.failed() == 0 ? 0 : 1;
}
