#include "CFileHandOver.h"

#include "BusExport.h"
#include "DebugPrint.h"
#include "playback/CFileCollector.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

QStringList CFileHandOver::LocalPaths(const std::vector<std::string>& arguments,
                                      const QString& workingDirectory) {
    const QDir base(workingDirectory);
    QStringList paths;
    for (const std::string& argument : arguments) {
        if (argument.find("://") != std::string::npos || argument.starts_with("file:")) {
            // One reading of addresses for drops and arguments alike.
            for (const std::string& path : LocalPathsFromUriList(argument))
                paths.append(QFile::decodeName(path.c_str()));
            continue;
        }
        paths.append(QDir::cleanPath(base.absoluteFilePath(QFile::decodeName(argument.c_str()))));
    }
    return paths;
}

bool CFileHandOver::Register(QDBusConnection bus) {
    return ExportOnBus(bus, kObjectPath, this, QDBusConnection::ExportScriptableSlots, kServiceName,
                       "CFileHandOver::Register()");
}

void CFileHandOver::OpenFiles(const QStringList& paths) {
    qsizetype bytes = 0;
    QStringList bounded;
    for (const QString& path : paths) {
        bytes += CallBytes(path);
        if (bounded.size() == kMaxPathsPerCall || bytes > kMaxBytesPerCall) {
            DebugPrint(
                "CFileHandOver::OpenFiles(): %lld paths beyond the bounds of a call left out\n",
                static_cast<long long>(paths.size() - bounded.size()));
            break;
        }
        bounded.append(path);
    }
    // The caller is answered at once: what the files lead to (a folder walk,
    // a message waiting for the user) happens later, in the event loop.
    QMetaObject::invokeMethod(
        this, [this, bounded = std::move(bounded)] { Open(bounded); }, Qt::QueuedConnection);
}

void CFileHandOver::Open(const QStringList& paths) {
    QStringList batch;
    for (const QString& path : paths) {
        if (!QDir::isAbsolutePath(path) || !QFileInfo::exists(path)) {
            DebugPrint("CFileHandOver::Open(): '%s' is no existing local path, left out\n",
                       qPrintable(path));
            continue;
        }
        if (m_waitingPaths + batch.size() >= kMaxWaitingPaths) {
            DebugPrint("CFileHandOver::Open(): more than %lld paths wait, the rest is left out\n",
                       static_cast<long long>(kMaxWaitingPaths));
            break;
        }
        batch.append(path);
    }
    if (!batch.isEmpty()) {
        m_waitingPaths += batch.size();
        m_waiting.push_back(std::move(batch));
    }
    deliver();
}

void CFileHandOver::SetReceiver(Receiver receiver) {
    m_receiver = std::move(receiver);
    deliver();
}

void CFileHandOver::deliver() {
    if (!m_receiver)
        return;
    // The receiver may open more files meanwhile: take the queue first.
    std::vector<QStringList> batches = std::move(m_waiting);
    m_waiting.clear();
    m_waitingPaths = 0;
    for (const QStringList& batch : batches)
        m_receiver(batch);
}
