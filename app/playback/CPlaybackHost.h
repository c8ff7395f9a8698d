#pragma once

#include <cstdint>

// What a playback session asks of the main window. User-interface thread only.
class CPlaybackHost {
public:
    enum class ShowHow { Normal, Restore };

    virtual void HideMainWindow() = 0;
    virtual void ShowMainWindow(ShowHow how) = 0;
    virtual void MinimizeMainWindow() = 0;
    // Whether the main window takes dropped files.
    virtual void SetDropsAccepted(bool isAccepted) = 0;
    // Playback ended while a modal box of the main window may be open (the
    // waiting box, an upgrade's progress box): ends those that are visible.
    // linkError: the library's error code when a link failed, else 0.
    virtual void EndModalBoxes(int32_t linkError) = 0;

protected:
    ~CPlaybackHost() = default;
};
