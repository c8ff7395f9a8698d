#pragma once

#include <QDBusConnection>
#include <QProcess>
#include <QString>

// A dbus-daemon of the test's own, so that nothing a test registers or asks
// reaches the desktop's buses. Connections are opened by name; each closes
// with the bus.
class PrivateBus {
public:
    PrivateBus();
    ~PrivateBus();
    PrivateBus(const PrivateBus&) = delete;
    PrivateBus& operator=(const PrivateBus&) = delete;

    bool IsRunning() const { return !m_address.isEmpty(); }
    const QString& Address() const { return m_address; }
    // A new connection to the bus, as a separate client would have.
    QDBusConnection Connect(const QString& name);
    // The environment of a child process: this bus as its session bus, and
    // as its system bus.
    QProcessEnvironment Environment() const;

private:
    QProcess m_daemon;
    QString m_address;
    QStringList m_connections;
};
