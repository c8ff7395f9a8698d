#include "CDesktopIntegration.h"

#include "playback/CPlaybackSession.h"

CDesktopIntegration::CDesktopIntegration(CPlaybackSession& session, QDBusConnection sessionBus,
                                         QDBusConnection systemBus)
    : m_session(session), m_player(session, std::move(sessionBus)),
      m_inhibitor(std::move(systemBus)) {
    m_session.SetObserver(this);
}

CDesktopIntegration::~CDesktopIntegration() {
    m_session.SetObserver(nullptr);
}

void CDesktopIntegration::PlaybackChanged(const CDmpInstances& instances) {
    m_player.Refresh(&instances);
    // Streaming while some instance has a link that plays.
    m_inhibitor.Update(instances.UnionOfPlayingTypes() != 0);
}
