// The RemoteControl object on a private session bus (the test runs under
// dbus-run-session, whose bus reads service files from this test's
// XDG_DATA_HOME): registration writes and removes the service file, a
// client's call starts the server through it and opens the Box's page, and
// the server ends when that client lets go.
#include "BoxSimProcess.h"
#include "TempDir.h"
#include "TraceCapture.h"
#include "remote/CRemoteControlRegistration.h"
#include "remote/CRemoteControlService.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusInterface>
#include <QDBusReply>
#include <QDBusServiceWatcher>
#include <QSignalSpy>
#include <QTest>
#include <gtest/gtest.h>

#include <filesystem>
#include <signal.h>

namespace {

constexpr int kWaitMs = 60000;

std::string dataHome() {
    const char* value = std::getenv("XDG_DATA_HOME");
    return value != nullptr ? value : "";
}

} // namespace

TEST(RemoteControlRegistration, RegisterWritesTheServiceFileAndUnregisterRemovesIt) {
    ASSERT_FALSE(dataHome().empty());
    const std::string path = CRemoteControlRegistration::ServiceFilePath();
    EXPECT_EQ(path, dataHome() + "/dbus-1/services/org.vellumo.Vellumo.service");

    ASSERT_EQ(CRemoteControlRegistration::Register("/opt/My \"Box\"/vellumo"), 0);
    EXPECT_EQ(ReadTestFile(path), "[D-BUS Service]\nName=org.vellumo.Vellumo\n"
                                  "Exec=\"/opt/My \\\"Box\\\"/vellumo\" -Embedding\n");
    EXPECT_EQ(CRemoteControlRegistration::Unregister(), 0);
    EXPECT_FALSE(std::filesystem::exists(path));
    EXPECT_EQ(CRemoteControlRegistration::Unregister(), 0);
}

TEST(RemoteControlRegistration, UnwritableDataDirectoryFailsWithATrace) {
    TempDir dir;
    // A plain file where a directory must be: not even root can write there.
    const std::string blocker = dir.write("file", "x");
    const std::string saved = dataHome();
    setenv("XDG_DATA_HOME", (blocker + "/share").c_str(), 1);
    TraceCapture trace;
    EXPECT_EQ(CRemoteControlRegistration::Register("/usr/bin/vellumo"), 1);
    setenv("XDG_DATA_HOME", saved.c_str(), 1);
    EXPECT_TRUE(trace.Contains("cannot write"));
}

// A client's Open starts the server by activation and opens the Box's page;
// when the client's connection goes, the server ends. A second service in
// this process then finds the name free; a third one finds it taken.
TEST(RemoteControlService, ActivatedServerOpensThePageAndEndsWithItsLastClient) {
    BoxSimProcess box;
    ASSERT_TRUE(box.isReady());
    ASSERT_EQ(CRemoteControlRegistration::Register(REMOTE_CONTROL_SERVER), 0);
    QDBusConnection bus = QDBusConnection::sessionBus();
    ASSERT_TRUE(bus.isConnected());
    // The bus rereads its service directories.
    QDBusInterface daemon(QStringLiteral("org.freedesktop.DBus"),
                          QStringLiteral("/org/freedesktop/DBus"),
                          QStringLiteral("org.freedesktop.DBus"), bus);
    ASSERT_TRUE(daemon.call(QStringLiteral("ReloadConfig")).errorMessage().isEmpty());

    const QString name = QLatin1String(CRemoteControlService::kServiceName);
    QDBusServiceWatcher watcher(name, bus, QDBusServiceWatcher::WatchForUnregistration);
    QSignalSpy gone(&watcher, &QDBusServiceWatcher::serviceUnregistered);
    uint serverPid = 0;
    {
        QDBusConnection client =
            QDBusConnection::connectToBus(QDBusConnection::SessionBus, QStringLiteral("client"));
        ASSERT_TRUE(client.isConnected());
        QDBusInterface remote(name, QLatin1String(CRemoteControlService::kObjectPath),
                              QLatin1String(CRemoteControlService::kInterfaceName), client);
        remote.setTimeout(kWaitMs);
        const QString address =
            QStringLiteral("%1:%2").arg(QString::fromStdString(box.address())).arg(box.webPort());
        const QDBusMessage opened = remote.call(QStringLiteral("Open"), address, 40, 50);
        ASSERT_EQ(opened.type(), QDBusMessage::ReplyMessage) << opened.errorMessage().toStdString();
        const QDBusReply<bool> isOpen = remote.call(QStringLiteral("IsOpen"));
        ASSERT_TRUE(isOpen.isValid());
        EXPECT_TRUE(isOpen.value());
        serverPid = bus.interface()->servicePid(name).value();
        EXPECT_GT(serverPid, 0u);
        EXPECT_TRUE(box.waitForEvent([](const JsonEvent& event) {
            return event.str("event") == "http" && event.str("query") == "tavoli=in";
        }));
    }
    QDBusConnection::disconnectFromBus(QStringLiteral("client"));

    ASSERT_TRUE(gone.wait(kWaitMs));
    // Letting go ended the server, and its page told the Box.
    EXPECT_TRUE(box.waitForEvent([](const JsonEvent& event) {
        return event.str("event") == "http" && event.str("query") == "tavoli=out";
    }));
    for (int i = 0; i < 1000 && kill(pid_t(serverPid), 0) == 0; ++i)
        QTest::qWait(10);
    EXPECT_NE(kill(pid_t(serverPid), 0), 0);

    CRemoteControlService first(QStringLiteral(REMOTE_PAGE_MODULE));
    EXPECT_EQ(first.Publish(), CRemoteControlService::PublishResult::Published);
    CRemoteControlService second(QStringLiteral(REMOTE_PAGE_MODULE));
    TraceCapture trace;
    EXPECT_EQ(second.Publish(), CRemoteControlService::PublishResult::NameTaken);
    EXPECT_TRUE(trace.Contains("taken"));
    EXPECT_EQ(CRemoteControlRegistration::Unregister(), 0);
}
