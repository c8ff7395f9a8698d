#pragma once

#include "CBoxSearch.h"
#include "playback/CPlaybackHost.h"
#include "update/CUpgradeHost.h"

#include <QRect>
#include <QString>

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

// What the user did in the device list: chose a Box, chose "Add by
// address…", or neither (closed it).
struct BoxListChoice {
    std::optional<FoundBox> box;
    bool isAddByAddress = false;
};

// What the application core asks of its windows: the main window, the
// waiting message, the device list, messages and progress windows. Every
// message runs modally, owned by the window that shows (the main window or
// the status window). User-interface thread only.
class CShellHost {
public:
    // The waiting message (a turning wheel, no title, no button): runs until
    // EndWaitingMessage.
    virtual void RunWaitingMessage(const QString& body) = 0;
    virtual void SetWaitingMessage(const QString& body) = 0;
    virtual bool IsWaitingMessageShown() const = 0;
    virtual void EndWaitingMessage() = 0;
    // The device list of the Boxes given, each once by host and port.
    virtual BoxListChoice ChooseBox(const std::vector<FoundBox>& boxes) = 0;
    // While ChooseBox runs: one more Box, a row of its own.
    virtual void AddListedBox(const FoundBox& box) = 0;
    // The address entry under prompt, showing previous at first: the text
    // the user gave, none when cancelled.
    virtual std::optional<QString> AskBoxAddress(const QString& prompt,
                                                 const QString& previous) = 0;
    // The Box in use, as the main window names it.
    virtual void ShowChosenBox(const QString& caption) = 0;
    // A one-button message; an empty title shows none.
    virtual void ShowNotice(const QString& title, const QString& body) = 0;
    // A two-button question; empty captions are "OK" and "Cancel". True when
    // the first button ended it.
    virtual bool Ask(const QString& title, const QString& body, const QString& firstCaption = {},
                     const QString& secondCaption = {}) = 0;
    virtual std::unique_ptr<CProgressWindow> MakeProgressWindow(CUpgradeHost::Owner owner) = 0;
    // A message beside the work that waits for nothing, one of each kind:
    // shown, or its text replaced; onClosed runs when the user closes it with
    // its button.
    virtual void ShowLastingNotice(CPlaybackHost::Notice kind, const QString& body,
                                   const QString& button, std::function<void()> onClosed) = 0;
    virtual void EndLastingNotice(CPlaybackHost::Notice kind) = 0;
    // A note of work under way (a turning wheel, no button) that runs no
    // loop of its own: shown, or its text changed, until EndProgressNote.
    virtual void ShowProgressNote(const QString& body) = 0;
    virtual void EndProgressNote() = 0;

    virtual bool IsMainWindowVisible() const = 0;
    virtual void SetMainWindowEnabled(bool isEnabled) = 0;
    virtual void HideMainWindow() = 0;
    virtual void ShowMainWindow(CPlaybackHost::ShowHow how) = 0;
    virtual void MinimizeMainWindow() = 0;
    virtual void SetDropsAccepted(bool isAccepted) = 0;
    // The main window's place on the desktop and the desktop's free area,
    // for the setup page beside it.
    virtual QRect MainWindowFrame() const = 0;
    virtual QRect DesktopArea() const = 0;
    // Queues the main window's close request.
    virtual void PostClose() = 0;
    // The application ends: the waiting message, the device list and the
    // main window's loop end as cancelled.
    virtual void EndApplication() = 0;
    // Where the library posts its notifications: the main window's message
    // map.
    virtual DmpHostWindow* LibraryWindow() = 0;

protected:
    ~CShellHost() = default;
};
