#include "CDesktopIntegration.h"

#include "CDmpInstances.h"

CDesktopIntegration::CDesktopIntegration(QObject* mainWindow, QDBusConnection sessionBus,
                                         QDBusConnection systemBus)
    : m_player(mainWindow, std::move(sessionBus)), m_inhibitor(std::move(systemBus)) {}

void CDesktopIntegration::Refresh(const CDmpInstances* instances) {
    m_player.Refresh(instances);
    // Streaming while some instance has a link that plays.
    m_inhibitor.Update(instances != nullptr && instances->UnionOfPlayingTypes() != 0);
}
