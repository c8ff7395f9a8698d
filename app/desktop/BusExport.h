#pragma once

#include <QDBusConnection>

class QObject;

// Exports object at path on bus and claims serviceName there without
// queueing or letting another take it; a name this connection already owns
// counts as claimed. On failure nothing stays exported and the trace names
// who (the caller's class) and why.
bool ExportOnBus(QDBusConnection& bus, const char* path, QObject* object,
                 QDBusConnection::RegisterOptions options, const char* serviceName,
                 const char* who);
