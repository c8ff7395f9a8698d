#pragma once

#include "CDmpInstances.h"
#include "CPlayRequest.h"
#include "CPlaybackCommands.h"
#include "CPlaybackControl.h"

#include <cstdint>
#include <string>
#include <vector>

class CPlaybackHost;
class CPlaybackObserver;
class CStatusWindow;

// Playback on the chosen Box, without widgets: plays what is dropped or
// opened, turns the user's actions into library calls, and follows the
// library's notifications (2024-2029), which build, refresh, rebuild or
// remove the status window. Owns the library instances. User-interface
// thread only, in message order.
class CPlaybackSession : public CPlaybackCommands {
public:
    // target: the Box that drops play on and the window its instances post
    // to.
    CPlaybackSession(const DmpVellumoApi& api, CStatusWindow& statusWindow, CPlaybackHost& host,
                     PlayTarget target = {});
    // Destroys every instance: each link sends its disconnect.
    ~CPlaybackSession();
    CPlaybackSession(const CPlaybackSession&) = delete;
    CPlaybackSession& operator=(const CPlaybackSession&) = delete;

    CDmpInstances& Instances() { return m_instances; }
    const CDmpInstances& Instances() const { return m_instances; }
    bool IsBusy() const { return m_control.IsBusy(); }
    // Told after each notification and control; null for none.
    void SetObserver(CPlaybackObserver* observer) { m_observer = observer; }

    // Files dropped on a pool (its types), joining what plays at the place
    // given. The request's messages go to the host; the main window takes
    // no more drops once a new instance plays.
    PlayRequestOutcome Play(const std::vector<std::wstring>& files, uint32_t poolMask,
                            Placement placement);
    // Files opened with the application: photos and music play as a drop on
    // their pool, videos as one on theirs; neither is reported as ignored.
    void PlayOpened(const std::vector<std::wstring>& files);
    // The drop target of the status window's play control: the video pool
    // when the window shows video alone, else the photo-and-music pool.
    uint32_t PlayControlPoolMask() const;

    void Control(uint32_t mediaType, PlaybackAction action, int32_t value = 0) override;
    void ShowPlayback() override;

    // A library notification; one for an instance that has ended meanwhile
    // is ignored. True when message is one of 2024-2029.
    bool HandleLibraryMessage(uint32_t message, uintptr_t wParam, intptr_t lParam);

    // The user closed the status window: playback ends, the main window
    // comes back restored.
    void StatusWindowClosed();
    // The user minimised the status window: the main window goes to the
    // task bar in its stead.
    void StatusWindowMinimized();
    // The user brings the main window back from the task bar while media
    // plays: the status window comes back instead. True when it did.
    bool RestoreStatusWindow();

    // Closing the main window or the end of the desktop session: every
    // instance and the status window go.
    void EndAll();

private:
    PlayRequestOutcome play(const std::vector<std::wstring>& files, uint32_t poolMask,
                            Placement placement, bool isOtherPoolIgnored);
    void showStatusWindow(DmpVellumoInfo* instance);
    void refresh(uint32_t message, DmpVellumoInfo* instance);
    void rebuildOrReturn(DmpVellumoInfo* instance, uint32_t mask);
    void endPlayback(int32_t linkError, bool isRestore);
    void createStatusWindow(uint32_t types, bool isImageStatusReapplied);
    void changed();

    CDmpInstances m_instances;
    CPlaybackControl m_control;
    CStatusWindow& m_statusWindow;
    CPlaybackHost& m_host;
    PlayTarget m_target;
    CPlaybackObserver* m_observer = nullptr;
};
