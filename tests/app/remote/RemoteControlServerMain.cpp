// The embedding start of the program, alone: what the bus starts through the
// service file in the D-Bus tests.
#include "remote/CRemoteControlService.h"

#include <QApplication>

int main(int argc, char** argv) {
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    QApplication application(argc, argv);
    return CRemoteControlService::RunEmbeddingServer(QStringLiteral(REMOTE_PAGE_MODULE));
}
