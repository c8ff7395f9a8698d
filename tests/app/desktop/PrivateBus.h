#pragma once

#include <QDBusConnection>
#include <QProcess>
#include <QString>

#include <vector>

// A dbus-daemon of the test's own, standing for both the session and the
// system bus, so that nothing a test registers or asks reaches the desktop's
// buses; optionally python3-dbusmock's logind on it. Connections are opened
// by name; each closes with the bus.
class PrivateBus {
public:
    struct Inhibitor {
        QString what, who, why, mode;
    };

    PrivateBus();
    ~PrivateBus();
    PrivateBus(const PrivateBus&) = delete;
    PrivateBus& operator=(const PrivateBus&) = delete;

    bool IsRunning() const { return !m_address.isEmpty(); }
    // A new connection to the bus, as a separate client would have.
    QDBusConnection Connect(const QString& name);

    // Starts logind's stand-in; false when it did not come up.
    bool StartLogind();
    // The inhibitor locks logind's stand-in holds.
    std::vector<Inhibitor> Inhibitors();

private:
    QProcess m_daemon;
    QProcess m_logind;
    QString m_address;
    QStringList m_connections;
};
