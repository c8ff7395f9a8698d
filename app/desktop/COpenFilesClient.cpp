#include "COpenFilesClient.h"

#include "CFileHandOver.h"
#include "DebugPrint.h"

#include <QDBusMessage>

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

} // namespace

bool COpenFilesClient::HandOver(const QStringList& paths, QDBusConnection bus) {
    if (!bus.isConnected()) {
        DebugPrint("COpenFilesClient::HandOver(): no session bus, %lld paths not handed over\n",
                   static_cast<long long>(paths.size()));
        return false;
    }
    QStringList batch;
    qsizetype batchBytes = 0;
    for (const QString& path : paths) {
        const qsizetype bytes = path.size() * qsizetype(sizeof(QChar));
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
