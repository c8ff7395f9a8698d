// The smallest Qt Widgets program with a window: the yardstick of app_bench's
// start-up measure. Says "minimal window shown" on standard error once
// show() returned, as vellumo traces its own showing, then runs until ended.
#include <QApplication>
#include <QWidget>

#include <cstdio>

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    QWidget window;
    window.resize(470, 312);
    window.show();
    std::fputs("minimal window shown\n", stderr);
    std::fflush(stderr);
    return QApplication::exec();
}
