#include "CMprisPlayer.h"

#include "BusExport.h"
#include "CMprisPlayerAdaptor.h"
#include "CMprisRootAdaptor.h"
#include "DebugPrint.h"
#include "Escapes.h"
#include "playback/CDmpInstances.h"
#include "playback/CPlaybackControl.h"
#include "playback/PanelStatus.h"

#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QFileInfo>

#include <algorithm>
#include <cmath>

namespace {

constexpr qlonglong kMicroseconds = 1000000;
// A second start waits this long for the running instance to raise.
constexpr int kRaiseReplyTimeoutMs = 5000;

using Action = PlaybackAction;

} // namespace

CMprisPlayer::CMprisPlayer(CPlaybackCommands& commands, QDBusConnection bus, QObject* parent)
    : QObject(parent), m_commands(commands), m_bus(std::move(bus)) {
    new CMprisRootAdaptor(this);
    new CMprisPlayerAdaptor(this);
}

CMprisPlayer::~CMprisPlayer() {
    unregisterFromBus();
}

CMprisPlayer::Playing CMprisPlayer::read(const CDmpInstances& instances) {
    const DmpVellumoApi& api = instances.Api();
    const auto fromPanel = [](uint32_t type, const MediaPanelStatus& status) {
        return Playing{type,
                       status.index,
                       status.name ? QString::fromWCharArray(status.name) : QString(),
                       status.totalSeconds,
                       status.elapsedSeconds,
                       status.isPaused,
                       status.volume,
                       status.maxVolume};
    };
    if (DmpVellumoInfo* audio = instances.FindInstanceFor(DMP_TYPE_AUDIO))
        return fromPanel(DMP_TYPE_AUDIO, ReadAudioStatus(api, audio));
    if (DmpVellumoInfo* video = instances.FindInstanceFor(DMP_TYPE_VIDEO))
        return fromPanel(DMP_TYPE_VIDEO, ReadVideoStatus(api, video));
    Playing playing;
    if (DmpVellumoInfo* image = instances.FindInstanceFor(DMP_TYPE_IMAGE)) {
        const ImagePanelStatus status = ReadImageStatus(api, image);
        playing.type = DMP_TYPE_IMAGE;
        playing.index = status.index;
        playing.isPaused = status.isPaused;
        playing.name = status.name ? QString::fromWCharArray(status.name) : QString();
    }
    return playing;
}

void CMprisPlayer::Refresh(const CDmpInstances* instances) {
    m_now = instances ? read(*instances) : Playing{};
    if (m_now.type == 0) {
        unregisterFromBus();
        m_hasTriedToRegister = false;
        return;
    }
    // Once per playback: a bus that refuses is not asked again at each status.
    if (!m_hasTriedToRegister) {
        m_hasTriedToRegister = true;
        registerOnBus();
    }
    if (!m_isRegistered)
        return;
    const QVariantMap properties = playerProperties();
    QVariantMap changed;
    for (auto it = properties.begin(); it != properties.end(); ++it) {
        if (m_signalled.value(it.key()) != it.value())
            changed.insert(it.key(), it.value());
    }
    m_signalled = properties;
    if (changed.isEmpty())
        return;
    QDBusMessage signal = QDBusMessage::createSignal(
        QString::fromLatin1(kObjectPath), QStringLiteral("org.freedesktop.DBus.Properties"),
        QStringLiteral("PropertiesChanged"));
    signal << QString::fromLatin1(kPlayerInterface) << changed << QStringList();
    m_bus.send(signal);
}

void CMprisPlayer::registerOnBus() {
    m_isRegistered = ExportOnBus(m_bus, kObjectPath, this, QDBusConnection::ExportAdaptors,
                                 kServiceName, "CMprisPlayer");
    m_signalled.clear();
}

void CMprisPlayer::unregisterFromBus() {
    if (!m_isRegistered)
        return;
    m_bus.interface()->unregisterService(QString::fromLatin1(kServiceName));
    m_bus.unregisterObject(QString::fromLatin1(kObjectPath));
    m_isRegistered = false;
}

QString CMprisPlayer::PlaybackStatus() const {
    if (m_now.type == 0)
        return QStringLiteral("Stopped");
    return m_now.isPaused ? QStringLiteral("Paused") : QStringLiteral("Playing");
}

QDBusObjectPath CMprisPlayer::trackId() const {
    if (m_now.type == 0 || m_now.index < 0)
        return QDBusObjectPath(QStringLiteral("/org/mpris/MediaPlayer2/TrackList/NoTrack"));
    return QDBusObjectPath(
        QStringLiteral("/org/vellumo/Vellumo/Track/%1_%2").arg(m_now.type).arg(m_now.index));
}

QVariantMap CMprisPlayer::Metadata() const {
    QVariantMap metadata;
    metadata.insert(QStringLiteral("mpris:trackid"), QVariant::fromValue(trackId()));
    if (m_now.type == 0)
        return metadata;
    // The name is the file's, anyone's choice: nothing in it may steer the
    // desktop's display. A length the Box does not know (0 or less) is left out.
    const std::wstring title = QFileInfo(m_now.name).fileName().toStdWString();
    metadata.insert(QStringLiteral("xesam:title"),
                    QString::fromStdWString(kvu::MaskDisplayControls(title)));
    if (CanSeek() && m_now.totalSeconds > 0)
        metadata.insert(QStringLiteral("mpris:length"),
                        qlonglong(m_now.totalSeconds) * kMicroseconds);
    return metadata;
}

double CMprisPlayer::Volume() const {
    if (m_now.maxVolume <= 0)
        return 0.0;
    return std::clamp(double(m_now.volume) / m_now.maxVolume, 0.0, 1.0);
}

qlonglong CMprisPlayer::PositionUs() const {
    return qlonglong(std::max(m_now.elapsedSeconds, 0)) * kMicroseconds;
}

QVariantMap CMprisPlayer::playerProperties() const {
    return {{QStringLiteral("PlaybackStatus"), PlaybackStatus()},
            {QStringLiteral("Metadata"), Metadata()},
            {QStringLiteral("Volume"), Volume()},
            {QStringLiteral("CanGoNext"), CanPlay()},
            {QStringLiteral("CanGoPrevious"), CanPlay()},
            {QStringLiteral("CanPlay"), CanPlay()},
            {QStringLiteral("CanPause"), CanPlay()},
            {QStringLiteral("CanSeek"), CanSeek()}};
}

void CMprisPlayer::send(PlaybackAction action, int32_t value) {
    if (CPlaybackControl::IsOffered(m_now.type, action))
        m_commands.Control(m_now.type, action, value);
}

void CMprisPlayer::Play() {
    if (m_now.isPaused)
        send(Action::Resume);
}

void CMprisPlayer::Pause() {
    if (!m_now.isPaused)
        send(Action::Pause);
}

void CMprisPlayer::PlayPause() {
    send(m_now.isPaused ? Action::Resume : Action::Pause);
}

void CMprisPlayer::Next() {
    send(Action::Next);
}

void CMprisPlayer::Previous() {
    send(Action::Prev);
}

// As the position slider does: the drag begins, then ends at the position.
void CMprisPlayer::seekTo(int32_t seconds) {
    if (!CanSeek())
        return;
    const int32_t target = std::clamp(seconds, 0, std::max(m_now.totalSeconds, 0));
    send(Action::SeekTrack);
    send(Action::Seek, target);
    Q_EMIT Seeked(qlonglong(target) * kMicroseconds);
}

void CMprisPlayer::Seek(qlonglong offsetUs) {
    const qlonglong target = qlonglong(m_now.elapsedSeconds) + offsetUs / kMicroseconds;
    seekTo(static_cast<int32_t>(std::clamp<qlonglong>(target, 0, m_now.totalSeconds)));
}

void CMprisPlayer::SetPosition(const QDBusObjectPath& track, qlonglong positionUs) {
    // A position for another track, or outside this one, is ignored.
    if (track != trackId() || positionUs < 0 ||
        positionUs > qlonglong(m_now.totalSeconds) * kMicroseconds)
        return;
    seekTo(static_cast<int32_t>(positionUs / kMicroseconds));
}

void CMprisPlayer::SetVolume(double volume) {
    if (!CanChangeVolume() || std::isnan(volume))
        return;
    const double share = std::clamp(volume, 0.0, 1.0);
    send(Action::Volume, static_cast<int32_t>(std::lround(share * m_now.maxVolume)));
}

void CMprisPlayer::Raise() {
    m_commands.ShowPlayback();
}

bool CMprisPlayer::RaiseRunning(QDBusConnection bus) {
    if (!bus.isConnected() || !bus.interface()->isServiceRegistered(QLatin1String(kServiceName)))
        return false;
    QDBusMessage call = QDBusMessage::createMethodCall(
        QLatin1String(kServiceName), QLatin1String(kObjectPath),
        QStringLiteral("org.mpris.MediaPlayer2"), QStringLiteral("Raise"));
    const QDBusMessage reply = bus.call(call, QDBus::Block, kRaiseReplyTimeoutMs);
    if (reply.type() == QDBusMessage::ErrorMessage) {
        DebugPrint("CMprisPlayer::RaiseRunning(): %s\n", qUtf8Printable(reply.errorMessage()));
        return false;
    }
    return true;
}
