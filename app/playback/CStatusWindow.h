#pragma once

#include "PanelStatus.h"

#include <QString>

#include <cstdint>

// What the main window asks of the play status window (CPlayStatusDialog
// implements it). The object lives as long as the main window; its window
// is created and destroyed many times. Types are media type bits (1 video,
// 2 photos, 4 music). User-interface thread only.
class CStatusWindow {
public:
    virtual ~CStatusWindow() = default;

    // Gives the window and its play control the types, creates the window
    // (modeless, owned by the main window) with the panels for them, and
    // lays it out where the user left it last. Not shown yet; a window that
    // exists has its panels rebuilt in place and stays shown, so that the
    // window system never sees it go.
    virtual void Create(uint32_t types) = 0;
    // Stops following the window's moves, then destroys the window; the
    // types become 0. Nothing happens when there is no window.
    virtual void Destroy() = 0;
    virtual void Show() = 0;
    // Restores a shown window, puts it in front and gives it the focus.
    virtual void Raise() = 0;
    virtual bool Exists() const = 0;
    virtual bool IsVisible() const = 0;
    // Set when a creation has finished, never cleared: the window may be
    // brought back from the task bar.
    virtual bool HasStarted() const = 0;
    // The types of the last Create; 0 while there is no window.
    virtual uint32_t Types() const = 0;

    // The panels' refreshes; the photo status is also kept for
    // ReapplyImageStatus (an absent name kept as an empty one).
    virtual void UpdateVideo(const MediaPanelStatus& status) = 0;
    virtual void UpdateAudio(const MediaPanelStatus& status) = 0;
    virtual void UpdateImage(const ImagePanelStatus& status) = 0;
    // Shows the kept photo status again, on a window just created.
    virtual void ReapplyImageStatus() = 0;
    // Veils the panels with text while playback waits for the Box (their
    // controls reach nothing then); an empty text lifts the veil.
    virtual void ShowWaiting(const QString& text) = 0;
};
