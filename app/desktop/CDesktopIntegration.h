#pragma once

#include "CFileHandOver.h"
#include "CMprisPlayer.h"
#include "CSleepInhibitor.h"

#include <QDBusConnection>

class CDmpInstances;

// The main window's part on the desktop: files opened with the application,
// the media keys and desktop widgets, and the sleep lock while media
// streams. User-interface thread only.
class CDesktopIntegration {
public:
    // mainWindow: where the media keys send the panels' control messages.
    explicit CDesktopIntegration(QObject* mainWindow,
                                 QDBusConnection sessionBus = QDBusConnection::sessionBus(),
                                 QDBusConnection systemBus = QDBusConnection::systemBus());

    // Serve later starts' files on the session bus (traced when it cannot).
    CFileHandOver& Files() { return m_files; }

    // After each library notification the main window handled (instances:
    // null while no Box is chosen): the media keys show what plays now, and
    // the PC stays awake while a link streams.
    void Refresh(const CDmpInstances* instances);

    CMprisPlayer& Player() { return m_player; }
    const CSleepInhibitor& Inhibitor() const { return m_inhibitor; }

private:
    CFileHandOver m_files;
    CMprisPlayer m_player;
    CSleepInhibitor m_inhibitor;
};
