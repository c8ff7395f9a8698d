// A second start of the application with files, as far as the hand-over
// goes: its arguments, read against its working directory, go to the
// running instance on the session bus. Exit code 0 when they were taken.
#include "CFileHandOver.h"
#include "COpenFilesClient.h"

#include <QCoreApplication>
#include <QDir>

int main(int argc, char** argv) {
    QCoreApplication application(argc, argv);
    const QStringList paths = CFileHandOver::LocalPaths(
        std::vector<std::string>(argv + 1, argv + argc), QDir::currentPath());
    return COpenFilesClient::HandOver(paths, QDBusConnection::sessionBus()) ? 0 : 1;
}
