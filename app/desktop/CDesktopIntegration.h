#pragma once

#include "CMprisPlayer.h"
#include "CSleepInhibitor.h"
#include "playback/CPlaybackHost.h"

#include <QDBusConnection>

class CPlaybackSession;

// What plays, shown on the desktop: the media keys and desktop widgets, and
// the sleep lock while media streams. Follows the session it is made for
// from then on. User-interface thread only.
class CDesktopIntegration : private CPlaybackObserver {
public:
    explicit CDesktopIntegration(CPlaybackSession& session,
                                 QDBusConnection sessionBus = QDBusConnection::sessionBus(),
                                 QDBusConnection systemBus = QDBusConnection::systemBus());
    // Stops following the session, which may outlive this view.
    ~CDesktopIntegration();
    CDesktopIntegration(const CDesktopIntegration&) = delete;
    CDesktopIntegration& operator=(const CDesktopIntegration&) = delete;

    CMprisPlayer& Player() { return m_player; }
    const CSleepInhibitor& Inhibitor() const { return m_inhibitor; }

private:
    // The media keys show what plays now, and the PC stays awake while a
    // link streams.
    void PlaybackChanged(const CDmpInstances& instances) override;

    CPlaybackSession& m_session;
    CMprisPlayer m_player;
    CSleepInhibitor m_inhibitor;
};
