// The media keys and desktop widgets drive the simulated Box: MPRIS2 calls
// from another bus client become the panels' actions on a playback session
// wired as the program wires it, and the properties follow the Box's
// notifications.
#include "PlaybackFixture.h"
#include "PrivateBus.h"
#include "SessionWindowStandIn.h"
#include "Unicode.h"
#include "desktop/CDesktopIntegration.h"
#include "playback/CPlayRequest.h"
#include "ui/windows/ControlMessages.h"

#include <QDBusArgument>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusVariant>
#include <QTest>

#include <future>

namespace {

const QString kPlayer = QString::fromLatin1(CMprisPlayer::kPlayerInterface);
const QString kService = QString::fromLatin1(CMprisPlayer::kServiceName);
const QString kPath = QString::fromLatin1(CMprisPlayer::kObjectPath);
const QString kProperties = QStringLiteral("org.freedesktop.DBus.Properties");
const std::vector<std::string> kRealTime = {"--read-rate", "2000000", "--rate", "3000000"};
constexpr size_t kTrackBytes = 8 << 20;

// The main window's part: the library's messages go to the playback session,
// whose actions are recorded, and the desktop's view follows the session.
// The private bus stands for both the session and the system bus.
class MainWindowStandIn : public SessionWindowStandIn {
public:
    MainWindowStandIn(const DmpVellumoApi& api, QDBusConnection bus)
        : SessionWindowStandIn(api), desktop(session, bus, bus) {}

    CDesktopIntegration desktop;
};

// The playback states the player signals with PropertiesChanged, in order.
class StatusSignals : public QObject {
    Q_OBJECT

public:
    QStringList statuses;

public Q_SLOTS:
    void onChanged(const QString& interface, const QVariantMap& changed, const QStringList&) {
        if (interface == kPlayer && changed.contains(QStringLiteral("PlaybackStatus")))
            statuses.append(changed.value(QStringLiteral("PlaybackStatus")).toString());
    }
};

class MprisPlayerTest : public PlaybackFixture {
protected:
    void SetUp() override {
        ASSERT_TRUE(m_bus.IsRunning()) << "dbus-daemon did not start";
        m_window =
            std::make_unique<MainWindowStandIn>(s_api, m_bus.Connect(QStringLiteral("vellumo")));
        m_desktop = m_bus.Connect(QStringLiteral("desktop"));
        ASSERT_TRUE(m_desktop.connect(kService, kPath, kProperties,
                                      QStringLiteral("PropertiesChanged"), &m_signals,
                                      SLOT(onChanged(QString, QVariantMap, QStringList))));
    }

    // A call from the desktop's side; the player answers on this thread's
    // event loop meanwhile.
    QDBusMessage call(const QString& interface, const QString& method,
                      const QVariantList& arguments = {}) {
        QDBusMessage message = QDBusMessage::createMethodCall(kService, kPath, interface, method);
        message.setArguments(arguments);
        QDBusPendingCallWatcher watcher(m_desktop.asyncCall(message));
        EXPECT_TRUE(QTest::qWaitFor([&] { return watcher.isFinished(); }, 10000))
            << method.toStdString();
        return watcher.reply();
    }
    QVariant property(const QString& name) {
        const QDBusMessage reply = call(kProperties, QStringLiteral("Get"), {kPlayer, name});
        return reply.arguments().value(0).value<QDBusVariant>().variant();
    }
    // Empty while the player is not on the bus.
    QVariantMap metadata() {
        QVariantMap map;
        const QVariant value = property(QStringLiteral("Metadata"));
        if (value.userType() == qMetaTypeId<QDBusArgument>())
            value.value<QDBusArgument>() >> map;
        return map;
    }
    bool waitForProperty(const QString& name, const QVariant& value) {
        return QTest::qWaitFor([&] { return property(name) == value; }, 10000);
    }
    bool isOnBus() { return m_desktop.interface()->isServiceRegistered(kService); }
    bool sent(PlaybackAction action, int32_t value = 0) {
        const std::vector<AskedControl>& asked = m_window->session.controls;
        return std::find(asked.begin(), asked.end(), AskedControl{DMP_TYPE_AUDIO, action, value}) !=
               asked.end();
    }

    PrivateBus m_bus;
    QDBusConnection m_desktop{QString()};
    std::unique_ptr<MainWindowStandIn> m_window;
    StatusSignals m_signals;
};

// The PC stays awake meanwhile.
TEST_F(MprisPlayerTest, MediaKeysDriveTheBoxAndTheStatusFollows) {
    ASSERT_TRUE(m_bus.StartLogind()) << "python3-dbusmock did not start";
    BoxSimProcess box(kRealTime);
    EXPECT_FALSE(isOnBus());
    CPlayRequest request(m_window->session.Instances(), *this);
    ASSERT_EQ(request.Play({media("one.mp3", kTrackBytes), media("two.mp3", kTrackBytes)},
                           kPhotoMusicPoolMask, Placement::Queue,
                           {kvu::FromUtf8(box.address()), box.port(), m_window->port.HostWindow()}),
              PlayRequestOutcome::Started);
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return metadata().value(QStringLiteral("mpris:length")).toLongLong() > 0; }, 10000));
    const std::vector<PrivateBus::Inhibitor> locks = m_bus.Inhibitors();
    ASSERT_EQ(locks.size(), 1u);
    EXPECT_EQ(QStringList({locks[0].what, locks[0].who, locks[0].why, locks[0].mode}),
              QStringList({QStringLiteral("sleep"), QStringLiteral("Vellumo"),
                           QStringLiteral("Streaming media to the Box"), QStringLiteral("block")}));
    const QVariantMap now = metadata();
    EXPECT_EQ(now.value(QStringLiteral("xesam:title")).toString(), QStringLiteral("one.mp3"));
    const qlonglong lengthUs = now.value(QStringLiteral("mpris:length")).toLongLong();
    const auto track = now.value(QStringLiteral("mpris:trackid")).value<QDBusObjectPath>();

    // A window lost while music plays is one raise away: the desktop's
    // Raise, or a second start's, brings the status window back.
    const QDBusMessage canRaise =
        call(kProperties, QStringLiteral("Get"),
             {QStringLiteral("org.mpris.MediaPlayer2"), QStringLiteral("CanRaise")});
    EXPECT_TRUE(canRaise.arguments().value(0).value<QDBusVariant>().variant().toBool());
    m_window->statusWindow.hide();
    call(QStringLiteral("org.mpris.MediaPlayer2"), QStringLiteral("Raise"));
    EXPECT_TRUE(m_window->statusWindow.isVisible());
    m_window->statusWindow.hide();
    std::future<bool> raised = std::async(std::launch::async, [&] {
        return CMprisPlayer::RaiseRunning(m_bus.Connect(QStringLiteral("second-start")));
    });
    EXPECT_TRUE(QTest::qWaitFor([&] { return m_window->statusWindow.isVisible(); }, 10000));
    EXPECT_TRUE(raised.get());

    call(kPlayer, QStringLiteral("PlayPause"));
    EXPECT_TRUE(sent(PlaybackAction::Pause));
    EXPECT_TRUE(box.waitForEvent(CommandIs('p')));
    EXPECT_TRUE(waitForProperty(QStringLiteral("PlaybackStatus"), QStringLiteral("Paused")));
    call(kPlayer, QStringLiteral("PlayPause"));
    EXPECT_TRUE(sent(PlaybackAction::Resume));
    EXPECT_TRUE(waitForProperty(QStringLiteral("PlaybackStatus"), QStringLiteral("Playing")));
    EXPECT_TRUE(QTest::qWaitFor([&] { return m_signals.statuses.size() >= 3; }, 10000));
    EXPECT_EQ(m_signals.statuses, (QStringList{QStringLiteral("Playing"), QStringLiteral("Paused"),
                                               QStringLiteral("Playing")}));

    // A position for another track, or outside this one, does nothing.
    m_window->session.controls.clear();
    const auto otherTrack = QDBusObjectPath(QStringLiteral("/org/vellumo/Vellumo/Track/4_7"));
    for (const auto& [trackId, positionUs] :
         {std::pair{otherTrack, qlonglong(0)}, {track, lengthUs + 1}, {track, qlonglong(-1)}})
        call(kPlayer, QStringLiteral("SetPosition"), {QVariant::fromValue(trackId), positionUs});
    EXPECT_TRUE(m_window->session.controls.empty());
    call(kPlayer, QStringLiteral("SetPosition"), {QVariant::fromValue(track), qlonglong(1000000)});
    EXPECT_TRUE(sent(PlaybackAction::Seek, 1));
    const auto seek = box.waitForEvent(CommandIs('J'));
    EXPECT_TRUE(seek && seek->num("value") == 1);

    // The volume is a share of the Box's range, known once the Box has
    // reported a volume; values outside 0..1 are taken as the nearest end.
    m_window->session.Control(DMP_TYPE_AUDIO, PlaybackAction::Volume, 50);
    EXPECT_TRUE(waitForProperty(QStringLiteral("Volume"), 0.5));
    for (const double volume : {2.5, -1.0})
        call(kProperties, QStringLiteral("Set"),
             {kPlayer, QStringLiteral("Volume"), QVariant::fromValue(QDBusVariant(volume))});
    EXPECT_TRUE(sent(PlaybackAction::Volume, 100));
    EXPECT_TRUE(sent(PlaybackAction::Volume, 0));

    call(kPlayer, QStringLiteral("Next"));
    EXPECT_TRUE(sent(PlaybackAction::Next));
    EXPECT_TRUE(box.waitForEvent(CommandIs('N')));
    EXPECT_TRUE(QTest::qWaitFor(
        [&] {
            return metadata().value(QStringLiteral("xesam:title")) == QStringLiteral("two.mp3");
        },
        10000));

    // A seek beyond the end goes to the end, as the position slider would:
    // the last track ends and with it playback; the player leaves the bus,
    // the lock goes, and calls find nothing to do.
    call(kPlayer, QStringLiteral("Seek"), {qlonglong(1) << 40});
    EXPECT_TRUE(sent(PlaybackAction::SeekTrack));
    EXPECT_TRUE(sent(PlaybackAction::Seek, static_cast<int32_t>(lengthUs / 1000000)));
    EXPECT_TRUE(box.waitForEvent(EventIs("done")));
    EXPECT_TRUE(QTest::qWaitFor([&] { return !isOnBus(); }, 10000));
    EXPECT_TRUE(QTest::qWaitFor([&] { return m_bus.Inhibitors().empty(); }, 10000));
    m_window->session.controls.clear();
    m_window->desktop.Player().PlayPause();
    m_window->desktop.Player().Seek(1000000);
    m_window->desktop.Player().SetVolume(0.5);
    EXPECT_TRUE(m_window->session.controls.empty());
}

// What a Box and a file name can put in the metadata: a name with escape,
// bell and a right-to-left override, a length of -5 s and a position of
// -3 s, read through a library table that says just that.
TEST(MprisMetadata, HostileNamesAndNegativeTimesLeaveCleanMetadata) {
    DmpVellumoApi api;
    api.GetPlayingType = [](DmpVellumoInfo*) { return uint32_t{DMP_TYPE_AUDIO}; };
    api.GetCurPlayingAudioName = [](DmpVellumoInfo*) -> const wchar_t* {
        return L"/music/\x1b]0;owned\x07\u202Egnp.mp3";
    };
    api.GetTotalDuration = [](DmpVellumoInfo*) { return int32_t{-5}; };
    api.GetCurrentDuration = [](DmpVellumoInfo*) { return int32_t{-3}; };
    CDmpInstances instances(api);
    int handle = 0;
    instances.Add(reinterpret_cast<DmpVellumoInfo*>(&handle));
    class : public CPlaybackCommands {
        void Control(uint32_t, PlaybackAction, int32_t) override {}
        void ShowPlayback() override {}
    } commands;
    CMprisPlayer player(commands, QDBusConnection(QStringLiteral("no bus")));
    player.Refresh(&instances);

    const QVariantMap metadata = player.Metadata();
    const QString title = metadata.value(QStringLiteral("xesam:title")).toString();
    EXPECT_EQ(title, QStringLiteral("\uFFFD]0;owned\uFFFD\uFFFDgnp.mp3"));
    EXPECT_FALSE(metadata.contains(QStringLiteral("mpris:length")));
    EXPECT_EQ(player.PositionUs(), 0);
    instances.Remove(reinterpret_cast<DmpVellumoInfo*>(&handle));
}

} // namespace

#include "MprisPlayerTest.moc"
