#include "CFileHandOver.h"

#include "BusExport.h"
#include "CFileCollector.h"
#include "CPlayRequest.h"
#include "DebugPrint.h"
#include "MediaClassifier.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

std::vector<std::string> CFileHandOver::FileArguments(const StartupOptions& options) {
    std::vector<std::string> files;
    if (options.mode != StartupMode::Normal || !options.OpensMainWindow())
        return files;
    for (const std::string& argument : options.arguments) {
        if (argument.empty() || argument.front() == '-')
            DebugPrint("CFileHandOver: '%s' is not a file, left out\n", argument.c_str());
        else
            files.push_back(argument);
    }
    return files;
}

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
    Open(bounded);
}

void CFileHandOver::Open(const QStringList& paths) {
    CFileCollector collector;
    for (const QString& path : paths) {
        if (!QDir::isAbsolutePath(path) || !QFileInfo::exists(path)) {
            DebugPrint("CFileHandOver::Open(): '%s' is no existing local path, left out\n",
                       qPrintable(path));
            continue;
        }
        collector.CollectFiles(QFile::encodeName(path).toStdString());
    }
    Drop photoMusic{{}, kPhotoMusicPoolMask};
    Drop video{{}, kVideoPoolMask};
    for (const std::wstring& file : collector.Files()) {
        if (m_waitingFiles + photoMusic.urls.size() + video.urls.size() >= kMaxWaitingFiles) {
            DebugPrint("CFileHandOver::Open(): more than %lld files wait, the rest is left out\n",
                       static_cast<long long>(kMaxWaitingFiles));
            break;
        }
        Drop& drop = Classify(file) == kMediaVideo ? video : photoMusic;
        drop.urls.append(QUrl::fromLocalFile(QString::fromStdWString(file)));
    }
    for (Drop* drop : {&photoMusic, &video}) {
        if (drop->urls.isEmpty())
            continue;
        m_waitingFiles += drop->urls.size();
        m_waiting.push_back(std::move(*drop));
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
    std::vector<Drop> drops = std::move(m_waiting);
    m_waiting.clear();
    m_waitingFiles = 0;
    for (const Drop& drop : drops)
        m_receiver(drop.urls, drop.poolMask);
}
