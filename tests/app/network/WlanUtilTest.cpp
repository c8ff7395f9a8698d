#include "network/WlanUtil.h"
#include "GLibWait.h"
#include "TraceCapture.h"

#include <QCoreApplication>
#include <QDBusConnectionInterface>
#include <QDBusObjectPath>
#include <QDBusServiceWatcher>
#include <QDBusVariant>
#include <QProcess>
#include <gtest/gtest.h>

namespace {

const QString kService = QStringLiteral("org.freedesktop.NetworkManager");
const QString kWireless = QStringLiteral("org.freedesktop.NetworkManager.Device.Wireless");
constexpr int kStateDisconnected = 30;
constexpr int kStateActivated = 100;

// A dbus-daemon of the test's own, and NetworkManager's stand-in from
// python3-dbusmock on it, in the place of the system bus.
class WlanUtilTest : public testing::Test {
protected:
    void SetUp() override {
        m_daemon.start(QStringLiteral("dbus-daemon"),
                       {QStringLiteral("--session"), QStringLiteral("--nofork"),
                        QStringLiteral("--print-address=1")});
        ASSERT_TRUE(m_daemon.waitForStarted()) << "dbus-daemon is not installed";
        ASSERT_TRUE(RunMainContextUntil([&] { return m_daemon.canReadLine(); }));
        m_address = QString::fromUtf8(m_daemon.readLine().trimmed());
        m_bus = std::make_unique<QDBusConnection>(
            QDBusConnection::connectToBus(m_address, QStringLiteral("wlan-test")));
        ASSERT_TRUE(m_bus->isConnected());
    }

    void TearDown() override {
        StopNetworkManager();
        m_bus.reset();
        QDBusConnection::disconnectFromBus(QStringLiteral("wlan-test"));
        m_daemon.terminate();
        m_daemon.waitForFinished();
    }

    void StartNetworkManager() {
        QDBusServiceWatcher watcher(kService, *m_bus, QDBusServiceWatcher::WatchForRegistration);
        bool isRegistered = false;
        QObject::connect(&watcher, &QDBusServiceWatcher::serviceRegistered, &watcher,
                         [&] { isRegistered = true; });
        auto environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("DBUS_SYSTEM_BUS_ADDRESS"), m_address);
        m_networkManager.setProcessEnvironment(environment);
        m_networkManager.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        m_networkManager.start(QStringLiteral("/usr/bin/python3"),
                               {QStringLiteral("-m"), QStringLiteral("dbusmock"),
                                QStringLiteral("--template"), QStringLiteral("networkmanager")});
        ASSERT_TRUE(m_networkManager.waitForStarted());
        ASSERT_TRUE(RunMainContextUntil(
            [&] { return isRegistered || m_networkManager.state() == QProcess::NotRunning; }));
        ASSERT_TRUE(isRegistered) << "python3-dbusmock did not start";
    }

    void StopNetworkManager() {
        if (m_networkManager.state() != QProcess::NotRunning) {
            m_networkManager.kill();
            m_networkManager.waitForFinished();
        }
    }

    QVariant Mock(const char* method, const QVariantList& arguments,
                  const QString& path = QStringLiteral("/org/freedesktop")) {
        auto call = QDBusMessage::createMethodCall(kService, path,
                                                   QStringLiteral("org.freedesktop.DBus.Mock"),
                                                   QString::fromLatin1(method));
        call.setArguments(arguments);
        const QDBusMessage reply = m_bus->call(call);
        EXPECT_EQ(reply.type(), QDBusMessage::ReplyMessage)
            << method << ": " << reply.errorMessage().toStdString();
        return reply.arguments().value(0);
    }

    QString AddWifi(const char* name, const char* interfaceName) {
        return Mock("AddWiFiDevice", {QString::fromLatin1(name), QString::fromLatin1(interfaceName),
                                      kStateDisconnected})
            .toString();
    }

    QString AddAccessPoint(const QString& device, const char* name, const QByteArray& ssid) {
        return Mock("AddAccessPoint", {device, QString::fromLatin1(name), QString::fromUtf8(ssid),
                                       QStringLiteral("00:11:22:33:44:55"), 2u, 2437u, 54000u,
                                       QVariant::fromValue(uchar(80)), 0u})
            .toString();
    }

    // Gives the device its active access point ("/": none); the stand-in's
    // devices lack the property until then.
    void Associate(const QString& device, const QString& accessPoint) {
        Mock("AddProperty",
             {kWireless, QStringLiteral("ActiveAccessPoint"),
              QVariant::fromValue(QDBusVariant(QVariant::fromValue(QDBusObjectPath(accessPoint))))},
             device);
    }

    // The stand-in emits a call's signals before its reply, and they are
    // queued in that order: after the call, posting delivers them.
    static void DeliverQueuedSignals() {
        QCoreApplication::sendPostedEvents();
        QCoreApplication::processEvents();
    }

    QProcess m_daemon;
    QProcess m_networkManager;
    QString m_address;
    std::unique_ptr<QDBusConnection> m_bus;
};

// A wired device, a wireless one whose access point is not the active one,
// one connected to a network with an empty SSID, and one connected to a
// named network: only the last is chosen.
TEST_F(WlanUtilTest, SelectsTheWirelessDeviceConnectedToANamedNetwork) {
    StartNetworkManager();
    Mock("AddEthernetDevice", {QStringLiteral("eth0"), QStringLiteral("eth0"), kStateActivated});
    const QString idle = AddWifi("wlan0", "wlan0");
    AddAccessPoint(idle, "idleAp", "Neighbour");
    Associate(idle, QStringLiteral("/"));
    const QString hidden = AddWifi("wlan1", "wlan1");
    Associate(hidden, AddAccessPoint(hidden, "hiddenAp", ""));
    const QString connected = AddWifi("wlan2", "wlan2");
    Associate(connected, AddAccessPoint(connected, "homeAp", "HomeNet"));

    WlanUtil wlan(*m_bus);
    ASSERT_TRUE(wlan.Start());
    EXPECT_TRUE(wlan.FindConnectedInterface());
    EXPECT_EQ(wlan.ConnectedInterface(), QStringLiteral("wlan2"));
}

// Without wireless devices the search succeeds and selects nothing, so no
// state change is traced.
TEST_F(WlanUtilTest, NoWirelessDeviceSelectsNothing) {
    StartNetworkManager();
    const QString wired =
        Mock("AddEthernetDevice", {QStringLiteral("eth0"), QStringLiteral("eth0"), 20}).toString();
    WlanUtil wlan(*m_bus);
    ASSERT_TRUE(wlan.Start());
    EXPECT_TRUE(wlan.FindConnectedInterface());
    EXPECT_TRUE(wlan.ConnectedInterface().isEmpty());

    TraceCapture trace;
    Mock("SetDeviceActive", {wired, QStringLiteral("/")});
    DeliverQueuedSignals();
    EXPECT_FALSE(trace.Contains("WlanNotifyCallback"));
}

TEST_F(WlanUtilTest, StateChangesAreTracedForTheSelectedDeviceOnly) {
    StartNetworkManager();
    const QString other = AddWifi("wlan0", "wlan0");
    Associate(other, QStringLiteral("/"));
    const QString selected = AddWifi("wlan1", "wlan1");
    Associate(selected, AddAccessPoint(selected, "homeAp", "HomeNet"));
    WlanUtil wlan(*m_bus);
    ASSERT_TRUE(wlan.Start());
    ASSERT_TRUE(wlan.FindConnectedInterface());

    TraceCapture trace;
    // Signals arrive in order: once the second is traced, the first was seen.
    Mock("SetDeviceActive", {other, QStringLiteral("/")});
    Mock("SetDeviceDisconnected", {selected});
    ASSERT_TRUE(RunMainContextUntil([&] { return trace.Contains(". Done."); }));
    const auto lines = trace.Lines();
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_NE(lines[0].find("WlanUtil::WlanNotifyCallback(): Thread=0x"), std::string::npos);
    EXPECT_NE(lines[0].find(", source=8, code=30\n"), std::string::npos);
    EXPECT_NE(lines[1].find(", source=8, code=30. Done.\n"), std::string::npos);
}

// NetworkManager is absent, comes, goes away and comes back with a new bus
// name: the monitor reports the absences and follows the new instance.
TEST_F(WlanUtilTest, FollowsNetworkManagerAcrossAbsenceAndRestart) {
    WlanUtil wlan(*m_bus);
    ASSERT_TRUE(wlan.Start());
    {
        TraceCapture absent;
        EXPECT_FALSE(wlan.FindConnectedInterface());
        EXPECT_TRUE(absent.Contains("WlanUtil::FindConnectedInterface(): "));
    }
    StartNetworkManager();
    const QString first = AddWifi("wlan0", "wlan0");
    Associate(first, AddAccessPoint(first, "ap", "HomeNet"));
    ASSERT_TRUE(wlan.FindConnectedInterface());

    StopNetworkManager();
    EXPECT_FALSE(wlan.FindConnectedInterface());
    EXPECT_TRUE(wlan.ConnectedInterface().isEmpty());

    StartNetworkManager();
    const QString second = AddWifi("wlan7", "wlan7");
    Associate(second, AddAccessPoint(second, "ap", "HomeNet"));
    ASSERT_TRUE(wlan.FindConnectedInterface());
    EXPECT_EQ(wlan.ConnectedInterface(), QStringLiteral("wlan7"));
    TraceCapture trace;
    Mock("SetDeviceDisconnected", {second});
    EXPECT_TRUE(RunMainContextUntil([&] { return trace.Contains("code=30. Done."); }));
}

} // namespace
