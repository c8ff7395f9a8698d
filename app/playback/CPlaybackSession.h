#pragma once

#include "CDmpInstances.h"
#include "CPlaybackControl.h"

#include <cstdint>

class CPlaybackHost;
class CStatusWindow;

// The main window's message map for playback, without widgets: the
// library's notifications (2024-2029) build, refresh, rebuild or remove the
// status window; the panels' control messages become library calls; the
// status window's closing and minimising end or hide playback. Owns the
// library instances. User-interface thread only, in message order.
class CPlaybackSession {
public:
    CPlaybackSession(const DmpVellumoApi& api, CStatusWindow& statusWindow, CPlaybackHost& host);
    // Destroys every instance: each link sends its disconnect.
    ~CPlaybackSession();
    CPlaybackSession(const CPlaybackSession&) = delete;
    CPlaybackSession& operator=(const CPlaybackSession&) = delete;

    CDmpInstances& Instances() { return m_instances; }
    CPlaybackControl& Control() { return m_control; }

    // A library notification; one for an instance that has ended meanwhile
    // is ignored. True when message is one of 2024-2029.
    bool HandleLibraryMessage(uint32_t message, uintptr_t wParam, intptr_t lParam);
    // A panel's control message (3024-3035, 3124-3136, 3224-3229) or the
    // status window's (4024, 4025). True when it was one.
    bool HandleWindowMessage(uint32_t message, uintptr_t wParam);

    // Closing the main window or the end of the desktop session: every
    // instance and the status window go.
    void EndAll();

    // The user brings the main window back from the task bar while media
    // plays: the status window comes back instead. True when it did.
    bool RestoreStatusWindow();

    // The drop target while the main window is hidden: the video pool when
    // the status window shows video alone, else the photo-and-music pool.
    uint32_t PlayControlPoolMask() const;
    // Whether a drop should go in front ("Play Now" on a visible status
    // window).
    bool IsPlayNow() const;

private:
    void showStatusWindow(DmpVellumoInfo* instance);
    void refresh(uint32_t message, DmpVellumoInfo* instance);
    void rebuildOrReturn(DmpVellumoInfo* instance, uint32_t mask);
    void endPlayback(int32_t linkError, bool isRestore);
    void createStatusWindow(uint32_t types, bool isImageStatusReapplied);

    CDmpInstances m_instances;
    CPlaybackControl m_control;
    CStatusWindow& m_statusWindow;
    CPlaybackHost& m_host;
};
