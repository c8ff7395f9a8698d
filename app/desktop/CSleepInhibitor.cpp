#include "CSleepInhibitor.h"

#include "DebugPrint.h"

#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>

CSleepInhibitor::CSleepInhibitor(QDBusConnection systemBus, QObject* parent)
    : QObject(parent), m_bus(std::move(systemBus)) {}

void CSleepInhibitor::Update(bool isStreaming) {
    if (isStreaming == m_isStreaming)
        return;
    m_isStreaming = isStreaming;
    if (!isStreaming) {
        if (IsHeld()) {
            m_lock = QDBusUnixFileDescriptor();
            Q_EMIT HeldChanged(false);
        }
        return;
    }
    if (m_isAsking)
        return;
    if (!m_bus.isConnected()) {
        DebugPrint("CSleepInhibitor: no system bus, the PC may sleep while streaming\n");
        return;
    }
    QDBusMessage call = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.login1"), QStringLiteral("/org/freedesktop/login1"),
        QStringLiteral("org.freedesktop.login1.Manager"), QStringLiteral("Inhibit"));
    call << QStringLiteral("sleep") << QStringLiteral("Vellumo")
         << QStringLiteral("Streaming media to the Box") << QStringLiteral("block");
    // Asked without waiting: the window must not stall on a slow bus.
    m_isAsking = true;
    auto* watcher = new QDBusPendingCallWatcher(m_bus.asyncCall(call), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, &CSleepInhibitor::onInhibitReply);
}

void CSleepInhibitor::onInhibitReply(QDBusPendingCallWatcher* watcher) {
    watcher->deleteLater();
    m_isAsking = false;
    const QDBusPendingReply<QDBusUnixFileDescriptor> reply = *watcher;
    if (reply.isError()) {
        DebugPrint("CSleepInhibitor: logind refused the lock: %s\n",
                   qPrintable(reply.error().message()));
        return;
    }
    if (!m_isStreaming) {
        // The descriptor closes with the reply.
        DebugPrint("CSleepInhibitor: streaming ended before logind answered, the lock is let go\n");
        return;
    }
    m_lock = reply.value();
    Q_EMIT HeldChanged(true);
}
