#include "CRemoteControlService.h"

#include "DebugPrint.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QGuiApplication>
#include <QTimerEvent>

CRemoteControlService::CRemoteControlService(QString modulePath, QObject* parent)
    : QObject(parent), m_remote(std::move(modulePath)) {
    m_clientWatcher.setWatchMode(QDBusServiceWatcher::WatchForUnregistration);
    connect(&m_clientWatcher, &QDBusServiceWatcher::serviceUnregistered, this,
            &CRemoteControlService::onClientGone);
}

CRemoteControlService::~CRemoteControlService() {
    if (!m_isPublished)
        return;
    QDBusConnection bus = QDBusConnection::sessionBus();
    bus.unregisterObject(QLatin1String(kObjectPath));
    bus.unregisterService(QLatin1String(kServiceName));
}

CRemoteControlService::PublishResult CRemoteControlService::Publish() {
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) {
        DebugPrint("CRemoteControlService::Publish(): no session bus: %s\n",
                   qUtf8Printable(bus.lastError().message()));
        return PublishResult::NoBus;
    }
    if (!bus.registerObject(QLatin1String(kObjectPath), this,
                            QDBusConnection::ExportScriptableSlots)) {
        DebugPrint("CRemoteControlService::Publish(): %s is taken on this connection\n",
                   kObjectPath);
        return PublishResult::NameTaken;
    }
    m_isPublished = true;
    m_clientWatcher.setConnection(bus);
    if (!bus.registerService(QLatin1String(kServiceName))) {
        DebugPrint("CRemoteControlService::Publish(): the name %s is taken: %s\n", kServiceName,
                   qUtf8Printable(bus.lastError().message()));
        return PublishResult::NameTaken;
    }
    return PublishResult::Published;
}

int CRemoteControlService::RunEmbeddingServer(QString modulePath) {
    // The page's window closing is no reason to end: the clients decide.
    QGuiApplication::setQuitOnLastWindowClosed(false);
    CRemoteControlService service(std::move(modulePath));
    if (service.Publish() == PublishResult::NoBus)
        return 1;
    connect(&service, &CRemoteControlService::LastClientGone, qApp, &QCoreApplication::quit);
    service.m_graceTimer.start(kFirstClientGraceMs, &service);
    return QGuiApplication::exec();
}

void CRemoteControlService::Open(const QString& address, int top, int left) {
    trackCaller();
    // The caller hears of a failure; this process shows no message of its
    // own, so that no call waits for a user.
    if (!m_remote.Open(address, top, left) && calledFromDBus())
        sendErrorReply(QDBusError::Failed, QStringLiteral("the setup page could not be opened"));
}

bool CRemoteControlService::IsOpen() {
    trackCaller();
    return m_remote.IsOpen();
}

void CRemoteControlService::Enable(bool isEnabled) {
    trackCaller();
    m_remote.Enable(isEnabled);
}

void CRemoteControlService::Close() {
    trackCaller();
    m_remote.Close();
}

void CRemoteControlService::trackCaller() {
    if (!calledFromDBus())
        return;
    const QString caller = message().service();
    if (caller.isEmpty() || m_clients.contains(caller))
        return;
    m_hasHadClient = true;
    m_graceTimer.stop();
    m_clients.insert(caller);
    m_clientWatcher.addWatchedService(caller);
    // A caller that left before the watch began is never reported.
    if (!connection().interface()->isServiceRegistered(caller).value())
        onClientGone(caller);
}

void CRemoteControlService::onClientGone(const QString& name) {
    if (!m_clients.remove(name))
        return;
    m_clientWatcher.removeWatchedService(name);
    if (m_clients.isEmpty())
        Q_EMIT LastClientGone();
}

void CRemoteControlService::timerEvent(QTimerEvent* event) {
    if (event->timerId() != m_graceTimer.timerId()) {
        QObject::timerEvent(event);
        return;
    }
    m_graceTimer.stop();
    if (!m_hasHadClient) {
        DebugPrint("CRemoteControlService: no client came\n");
        Q_EMIT LastClientGone();
    }
}
