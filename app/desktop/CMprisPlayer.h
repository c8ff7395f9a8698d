#pragma once

#include "dmp_vellumo.h"
#include "playback/CPlaybackCommands.h"

#include <QDBusConnection>
#include <QDBusObjectPath>
#include <QObject>
#include <QString>
#include <QVariantMap>

#include <cstdint>

class CDmpInstances;

// The media keys and the desktop's media widgets (MPRIS2): while something
// plays, the bus name kServiceName carries the object kObjectPath with the
// interfaces org.mpris.MediaPlayer2 and org.mpris.MediaPlayer2.Player. What
// it shows is the music when music plays, else the video, else the photos.
// Its methods become the panels' actions on playback, so that they act
// exactly as the panels do. User-interface thread only.
class CMprisPlayer : public QObject {
    Q_OBJECT

public:
    static constexpr const char* kServiceName = "org.mpris.MediaPlayer2.vellumo";
    static constexpr const char* kObjectPath = "/org/mpris/MediaPlayer2";
    static constexpr const char* kPlayerInterface = "org.mpris.MediaPlayer2.Player";
    static constexpr const char* kDesktopEntry = "org.vellumo.Vellumo";

    // commands: where the media keys' actions go.
    CMprisPlayer(CPlaybackCommands& commands, QDBusConnection bus, QObject* parent = nullptr);
    ~CMprisPlayer() override;

    // Reads what plays from the instances (null: nothing plays), registers
    // or gives up the bus name and signals the properties that changed. The
    // desktop's view calls it after each change of what plays.
    void Refresh(const CDmpInstances* instances);
    bool IsRegistered() const { return m_isRegistered; }

    // The player interface's properties and methods, for its adaptor.
    QString PlaybackStatus() const;
    QVariantMap Metadata() const;
    double Volume() const;
    void SetVolume(double volume);
    qlonglong PositionUs() const;
    bool CanPlay() const { return m_now.type != 0; }
    bool CanSeek() const { return m_now.type != 0 && m_now.type != DMP_TYPE_IMAGE; }
    bool CanChangeVolume() const { return CanSeek() && m_now.maxVolume > 0; }
    void Play();
    void Pause();
    void PlayPause();
    void Next();
    void Previous();
    void Seek(qlonglong offsetUs);
    void SetPosition(const QDBusObjectPath& trackId, qlonglong positionUs);
    // The root interface's Raise: the status window comes back in front.
    void Raise();

    // A second start's side: asks the player of the running instance on bus
    // to raise its window. False when none is there or it does not answer.
    static bool RaiseRunning(QDBusConnection bus);

Q_SIGNALS:
    // A seek was asked for; relayed on the bus by the player adaptor.
    void Seeked(qlonglong positionUs);

private:
    // What plays, as the last refresh read it.
    struct Playing {
        uint32_t type = 0; // one media type bit; 0: nothing plays
        int32_t index = -1;
        QString name;
        int32_t totalSeconds = 0;
        int32_t elapsedSeconds = 0;
        bool isPaused = false;
        int32_t volume = 0;
        int32_t maxVolume = 0;
    };

    static Playing read(const CDmpInstances& instances);
    QDBusObjectPath trackId() const;
    QVariantMap playerProperties() const;
    void registerOnBus();
    void unregisterFromBus();
    // The action on the playing type; nothing while none plays or the type
    // lacks that control.
    void send(PlaybackAction action, int32_t value = 0);
    void seekTo(int32_t seconds);

    CPlaybackCommands& m_commands;
    QDBusConnection m_bus;
    bool m_isRegistered = false;
    bool m_hasTriedToRegister = false; // since playback began
    Playing m_now;
    QVariantMap m_signalled; // the player properties last signalled
};
