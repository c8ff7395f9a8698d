#include "WlanUtil.h"

#include "DebugPrint.h"

#include <QDBusArgument>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusReply>
#include <QDBusVariant>

#include <sys/syscall.h>
#include <unistd.h>

namespace {

const QString kService = QStringLiteral("org.freedesktop.NetworkManager");
const QString kManagerPath = QStringLiteral("/org/freedesktop/NetworkManager");
const QString kManagerInterface = QStringLiteral("org.freedesktop.NetworkManager");
const QString kDeviceInterface = QStringLiteral("org.freedesktop.NetworkManager.Device");
const QString kWirelessInterface = QStringLiteral("org.freedesktop.NetworkManager.Device.Wireless");
const QString kAccessPointInterface = QStringLiteral("org.freedesktop.NetworkManager.AccessPoint");
const QString kPropertiesInterface = QStringLiteral("org.freedesktop.DBus.Properties");
constexpr uint kDeviceTypeWifi = 2;

// One property of one NetworkManager object; invalid when it cannot be read.
QVariant ReadProperty(const QDBusConnection& bus, const QString& path, const QString& interface,
                      const QString& name) {
    auto call =
        QDBusMessage::createMethodCall(kService, path, kPropertiesInterface, QStringLiteral("Get"));
    call << interface << name;
    const QDBusReply<QDBusVariant> reply = bus.call(call);
    if (!reply.isValid()) {
        DebugPrint("WlanUtil::FindConnectedInterface(): %s %s: %s\n", path.toUtf8().constData(),
                   name.toUtf8().constData(), reply.error().message().toUtf8().constData());
        return {};
    }
    return reply.value().variant();
}

QString ObjectPath(const QVariant& value) {
    if (value.canConvert<QDBusObjectPath>()) {
        return value.value<QDBusObjectPath>().path();
    }
    return {};
}

QList<QDBusObjectPath> ObjectPaths(const QVariant& value) {
    QList<QDBusObjectPath> paths;
    if (value.canConvert<QDBusArgument>()) {
        const auto argument = value.value<QDBusArgument>();
        if (argument.currentSignature() == QStringLiteral("ao")) {
            argument >> paths;
        }
    }
    return paths;
}

} // namespace

// Never destroyed: a QObject with a bus connection must not outlive Qt's own
// teardown at process exit, and there is nothing to close.
WlanUtil& WlanUtil::Instance() {
    static WlanUtil* const instance = new WlanUtil(QDBusConnection::systemBus());
    return *instance;
}

WlanUtil::WlanUtil(const QDBusConnection& bus) : m_bus(bus) {}

bool WlanUtil::Start() {
    if (m_isStarted) {
        return true;
    }
    {
        std::lock_guard lock(m_lock);
        m_devicePath.clear();
        m_interfaceName.clear();
    }
    // Every device's signal, filtered by the selected one in the slot. Naming
    // the service follows NetworkManager across restarts and ignores others.
    m_isStarted =
        m_bus.connect(kService, QString(), kDeviceInterface, QStringLiteral("StateChanged"), this,
                      SLOT(OnDeviceStateChanged(uint, uint, uint, QDBusMessage)));
    if (!m_isStarted) {
        DebugPrint("WlanUtil::Start(): cannot subscribe: %s\n",
                   m_bus.lastError().message().toUtf8().constData());
    }
    return m_isStarted;
}

bool WlanUtil::FindConnectedInterface() {
    {
        std::lock_guard lock(m_lock);
        m_devicePath.clear();
        m_interfaceName.clear();
    }
    const QVariant devices =
        ReadProperty(m_bus, kManagerPath, kManagerInterface, QStringLiteral("Devices"));
    if (!devices.isValid()) {
        return false;
    }
    for (const auto& device : ObjectPaths(devices)) {
        const QString path = device.path();
        if (ReadProperty(m_bus, path, kDeviceInterface, QStringLiteral("DeviceType")).toUInt() !=
            kDeviceTypeWifi) {
            continue;
        }
        const QString accessPoint = ObjectPath(
            ReadProperty(m_bus, path, kWirelessInterface, QStringLiteral("ActiveAccessPoint")));
        if (accessPoint.isEmpty() || accessPoint == QStringLiteral("/")) {
            continue;
        }
        const QByteArray ssid =
            ReadProperty(m_bus, accessPoint, kAccessPointInterface, QStringLiteral("Ssid"))
                .toByteArray();
        if (ssid.isEmpty() || ssid.at(0) == '\0') {
            continue;
        }
        const QString interfaceName =
            ReadProperty(m_bus, path, kDeviceInterface, QStringLiteral("Interface")).toString();
        std::lock_guard lock(m_lock);
        m_devicePath = path;
        m_interfaceName = interfaceName;
        return true;
    }
    return true;
}

QString WlanUtil::ConnectedInterface() const {
    std::lock_guard lock(m_lock);
    return m_interfaceName;
}

void WlanUtil::OnDeviceStateChanged(uint newState, uint, uint, const QDBusMessage& message) {
    {
        std::lock_guard lock(m_lock);
        if (m_devicePath.isEmpty() || message.path() != m_devicePath) {
            return;
        }
    }
    const auto thread = static_cast<unsigned>(syscall(SYS_gettid));
    DebugPrint("WlanUtil::WlanNotifyCallback(): Thread=0x%x, source=%d, code=%d\n", thread,
               kSourceAcm, static_cast<int>(newState));
    DebugPrint("WlanUtil::WlanNotifyCallback(): Thread=0x%x, source=%d, code=%d. Done.\n", thread,
               kSourceAcm, static_cast<int>(newState));
}
