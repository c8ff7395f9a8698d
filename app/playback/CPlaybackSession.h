#pragma once

#include "CDmpInstances.h"
#include "CPlayRequest.h"
#include "CPlaybackCommands.h"
#include "CPlaybackControl.h"
#include "CPlaybackHost.h"
#include "CPlayedLists.h"

#include <QTimer>

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

class CStatusWindow;

// Playback on the chosen Box, without widgets: plays what is dropped or
// opened, turns the user's actions into library calls, and follows the
// library's notifications (2024-2029), which build, refresh, rebuild or
// remove the status window. Owns the library instances. User-interface
// thread only, in message order.
//
// A Box that stops answering while it plays is told once, the status window
// waits veiled, and the lists are taken up again where they stopped as soon
// as the Box answers: tries at growing intervals for kReconnectWindow, until
// the user gives up (the notice's button, the status window's close).
class CPlaybackSession : public CPlaybackCommands {
public:
    // target: the Box that drops play on and the window its instances post
    // to.
    static constexpr std::chrono::seconds kReconnectWindow{120};
    // The waits before the tries, the last one repeated.
    static constexpr std::chrono::milliseconds kReconnectDelays[] = {
        std::chrono::seconds(1), std::chrono::seconds(2), std::chrono::seconds(4),
        std::chrono::seconds(8), std::chrono::seconds(15)};

    // boxName: the Box's name in messages.
    CPlaybackSession(const DmpVellumoApi& api, CStatusWindow& statusWindow, CPlaybackHost& host,
                     PlayTarget target = {}, QString boxName = {});
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

    // The user closed a lasting notice with its button: the lost Box's ends
    // the wait for it.
    void LastingNoticeClosed(CPlaybackHost::Notice kind);
    // Whether playback waits for a Box that stopped answering.
    bool IsReconnecting() const { return m_isReconnecting; }

private:
    PlayRequestOutcome play(const std::vector<std::wstring>& files, uint32_t poolMask,
                            Placement placement, bool isOtherPoolIgnored);
    void showStatusWindow(DmpVellumoInfo* instance);
    void refresh(uint32_t message, DmpVellumoInfo* instance);
    void rebuildOrReturn(DmpVellumoInfo* instance, uint32_t mask);
    void endPlayback(int32_t linkError, bool isRestore);
    void createStatusWindow(uint32_t types, bool isImageStatusReapplied);
    void changed();
    void handleError(DmpVellumoInfo* instance, int32_t linkError);
    void noteSkippedFile(DmpVellumoInfo* instance);
    void boxAnswered(DmpVellumoInfo* instance, uint32_t type);
    // A played instance's links failed: its lists wait to be taken up again.
    void lost(DmpVellumoInfo* instance);
    void scheduleReconnect();
    void reconnect();
    void stopReconnecting();
    void giveUp(bool hasTimedOut);
    QString boxText(int stringId) const;
    // Takes in what a request played.
    void took(const CPlayRequest& request, const std::vector<std::wstring>& files);

    CDmpInstances m_instances;
    CPlaybackControl m_control;
    CStatusWindow& m_statusWindow;
    CPlaybackHost& m_host;
    PlayTarget m_target;
    QString m_boxName;
    CPlaybackObserver* m_observer = nullptr;
    CPlayedLists m_played;

    bool m_hasToldOneTransport = false;
    bool m_isReconnecting = false;
    std::chrono::steady_clock::time_point m_lostAt;
    size_t m_reconnectTries = 0;
    std::vector<CPlayedLists::Resume> m_waitingLists; // to take up again at the next try
    QTimer m_reconnectTimer;
};
