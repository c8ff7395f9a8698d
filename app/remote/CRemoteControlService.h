#pragma once

#include "CRemoteControl.h"

#include <QBasicTimer>
#include <QDBusContext>
#include <QDBusServiceWatcher>
#include <QObject>
#include <QSet>
#include <QString>

// The RemoteControl object on the session bus: object path "/RemoteControl",
// interface "org.vellumo.RemoteControl" with Open(s,i,i), IsOpen()->b,
// Enable(b) and Close(), under the application's well-known name
// "org.vellumo.Vellumo". Every caller counts as a client until its
// connection goes; when the last one has gone the object says so.
//
// User-interface thread (calls arrive through its event loop).
class CRemoteControlService : public QObject, protected QDBusContext {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.vellumo.RemoteControl")

public:
    static constexpr const char* kServiceName = "org.vellumo.Vellumo";
    static constexpr const char* kObjectPath = "/RemoteControl";
    static constexpr const char* kInterfaceName = "org.vellumo.RemoteControl";
    // A server started for a client that never calls ends after this long.
    static constexpr int kFirstClientGraceMs = 10000;

    enum class PublishResult {
        Published,
        NameTaken, // served under the connection's unique name only
        NoBus,
    };

    // modulePath: the setup page's module, as CRemoteControl takes it.
    explicit CRemoteControlService(QString modulePath = {}, QObject* parent = nullptr);
    ~CRemoteControlService() override;

    // Registers the object and asks for the well-known name; each failure is
    // traced.
    PublishResult Publish();

    // The embedding start: no main window; serves the object until the last
    // client lets go (or none came within kFirstClientGraceMs). Needs the
    // QApplication; returns the process's exit code, non-zero without a bus.
    static int RunEmbeddingServer(QString modulePath = {});

    CRemoteControl& Remote() { return m_remote; }
    int ClientCount() const { return int(m_clients.size()); }

public Q_SLOTS:
    Q_SCRIPTABLE void Open(const QString& address, int top, int left);
    Q_SCRIPTABLE bool IsOpen();
    Q_SCRIPTABLE void Enable(bool isEnabled);
    Q_SCRIPTABLE void Close();

Q_SIGNALS:
    void LastClientGone();

protected:
    void timerEvent(QTimerEvent* event) override;

private:
    void trackCaller();
    void onClientGone(const QString& name);

    CRemoteControl m_remote;
    QDBusServiceWatcher m_clientWatcher;
    QSet<QString> m_clients; // unique names of the callers still connected
    bool m_hasHadClient = false;
    bool m_isPublished = false;
    QBasicTimer m_graceTimer;
};
