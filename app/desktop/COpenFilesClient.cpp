#include "COpenFilesClient.h"

#include "CFileHandOver.h"
#include "DebugPrint.h"

#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <thread>

namespace {

bool sendBatch(const QStringList& batch, QDBusConnection& bus) {
    QDBusMessage call = QDBusMessage::createMethodCall(
        QString::fromLatin1(CFileHandOver::kServiceName),
        QString::fromLatin1(CFileHandOver::kObjectPath),
        QString::fromLatin1(CFileHandOver::kInterface), QStringLiteral("OpenFiles"));
    call << batch;
    const QDBusMessage reply = bus.call(call);
    if (reply.type() == QDBusMessage::ErrorMessage) {
        DebugPrint("COpenFilesClient::HandOver(): %s\n", qPrintable(reply.errorMessage()));
        return false;
    }
    return true;
}

// The running instance claims its name only once its window is made.
bool waitForInstance(QDBusConnection& bus, std::chrono::milliseconds wait) {
    constexpr std::chrono::milliseconds kPoll{100};
    const QString name = QString::fromLatin1(CFileHandOver::kServiceName);
    for (auto waited = std::chrono::milliseconds(0);; waited += kPoll) {
        if (bus.interface()->isServiceRegistered(name).value())
            return true;
        if (waited >= wait)
            return false;
        std::this_thread::sleep_for(kPoll);
    }
}

} // namespace

bool COpenFilesClient::HandOver(const QStringList& paths, QDBusConnection bus,
                                std::chrono::milliseconds waitForInstance) {
    if (!bus.isConnected()) {
        DebugPrint("COpenFilesClient::HandOver(): no session bus, %lld paths not handed over\n",
                   static_cast<long long>(paths.size()));
        return false;
    }
    if (!::waitForInstance(bus, waitForInstance)) {
        DebugPrint("COpenFilesClient::HandOver(): no running instance owns %s\n",
                   CFileHandOver::kServiceName);
        return false;
    }
    QStringList batch;
    qsizetype batchBytes = 0;
    for (const QString& path : paths) {
        const qsizetype bytes = CFileHandOver::CallBytes(path);
        if (bytes > CFileHandOver::kMaxBytesPerCall) {
            DebugPrint("COpenFilesClient::HandOver(): a path of %lld bytes left out\n",
                       static_cast<long long>(bytes));
            continue;
        }
        if (batch.size() == CFileHandOver::kMaxPathsPerCall ||
            batchBytes + bytes > CFileHandOver::kMaxBytesPerCall) {
            if (!sendBatch(batch, bus))
                return false;
            batch.clear();
            batchBytes = 0;
        }
        batch.append(path);
        batchBytes += bytes;
    }
    return batch.isEmpty() || sendBatch(batch, bus);
}
