#pragma once

#include "CPlayRequest.h"

#include <QString>

#include <cstdint>

// What a playback session asks of the application around it: the main
// window's showing, its drops, its modal boxes and its messages.
// User-interface thread only.
class CPlaybackHost : public CPlayRequestReporter {
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
    // Every error a link reports (DMP_WM_ERROR), before playback acts on it:
    // an upgrade's instance is not playback's.
    virtual void LinkReported(DmpVellumoInfo* instance, int32_t linkError) = 0;

    // Messages that stay beside playback and wait for nothing, one of each
    // kind: shown, or their text replaced when one shows already. Their one
    // button (caption) closes them; the session hears of it through
    // CPlaybackSession::LastingNoticeClosed.
    enum class Notice { BoxLost, FilesSkipped };
    virtual void ShowLastingNotice(Notice kind, const QString& body, const QString& button) = 0;
    virtual void EndLastingNotice(Notice kind) = 0;

protected:
    ~CPlaybackHost() = default;
};

// Told after each change of what plays (a library notification, a control),
// so that views outside the status window follow. User-interface thread.
class CPlaybackObserver {
public:
    virtual void PlaybackChanged(const CDmpInstances& instances) = 0;

protected:
    ~CPlaybackObserver() = default;
};
