#pragma once

#include <QDBusConnection>
#include <QDBusMessage>
#include <QObject>
#include <QString>

#include <mutex>

// Watches the wireless LAN through NetworkManager's D-Bus interface: finds
// the wireless device that is connected to a network, and traces every state
// change of that device. One per process (Instance); tests may build their
// own on a private bus.
class WlanUtil : public QObject {
    Q_OBJECT

public:
    // The source number the trace gives NetworkManager's device state changes.
    static constexpr int kSourceAcm = 8;

    static WlanUtil& Instance();
    explicit WlanUtil(const QDBusConnection& bus);

    // Subscribes to the devices' state changes; once. False when the bus
    // cannot be reached.
    bool Start();

    // Selects the first wireless device whose active access point has a
    // non-empty SSID. False when NetworkManager cannot be asked; true
    // otherwise, also when nothing is connected (no device selected).
    bool FindConnectedInterface();

    // The selected device's interface name ("wlan0"), empty when none.
    QString ConnectedInterface() const;

private Q_SLOTS:
    void OnDeviceStateChanged(uint newState, uint oldState, uint reason,
                              const QDBusMessage& message);

private:
    QDBusConnection m_bus;
    bool m_isStarted = false;
    mutable std::mutex m_lock; // guards m_devicePath and m_interfaceName
    QString m_devicePath;      // D-Bus object path of the selected device
    QString m_interfaceName;
};
