#include "BusExport.h"

#include "DebugPrint.h"

#include <QDBusConnectionInterface>

bool ExportOnBus(QDBusConnection& bus, const char* path, QObject* object,
                 QDBusConnection::RegisterOptions options, const char* serviceName,
                 const char* who) {
    if (!bus.isConnected()) {
        DebugPrint("%s: no session bus, %s is not served\n", who, serviceName);
        return false;
    }
    if (!bus.registerObject(QString::fromLatin1(path), object, options)) {
        DebugPrint("%s: the object %s is taken\n", who, path);
        return false;
    }
    const QDBusReply<QDBusConnectionInterface::RegisterServiceReply> reply =
        bus.interface()->registerService(QString::fromLatin1(serviceName),
                                         QDBusConnectionInterface::DontQueueService,
                                         QDBusConnectionInterface::DontAllowReplacement);
    if (!reply.isValid() || reply.value() != QDBusConnectionInterface::ServiceRegistered) {
        DebugPrint("%s: cannot own %s: %s\n", who, serviceName,
                   qPrintable(reply.error().message()));
        bus.unregisterObject(QString::fromLatin1(path));
        return false;
    }
    return true;
}
