#pragma once

#include "CMessagePort.h"
#include "CPlayStatusDialog.h"
#include "CPlaybackHost.h"
#include "CPlaybackSession.h"
#include "MessageLayer.h"

#include <QObject>

// The main window's part in playback, for tests: the library's messages
// reach it through a real message port and go to a real playback session
// with its status window. What the session asks of the main window does
// nothing unless a test overrides it.
class SessionWindowStandIn : public QObject, public CMessageHandler, public CPlaybackHost {
public:
    explicit SessionWindowStandIn(const DmpVellumoApi& api) : session(api, statusWindow, *this) {}
    SessionWindowStandIn(const SessionWindowStandIn&) = delete;
    SessionWindowStandIn& operator=(const SessionWindowStandIn&) = delete;

    intptr_t HandleMessage(uint32_t message, uintptr_t wParam, intptr_t lParam) override {
        session.HandleLibraryMessage(message, wParam, lParam);
        return 0;
    }
    bool event(QEvent* event) override {
        return DeliverMessage(event, *this) || QObject::event(event);
    }

    void HideMainWindow() override {}
    void ShowMainWindow(ShowHow) override {}
    void MinimizeMainWindow() override {}
    void SetDropsAccepted(bool) override {}
    void EndModalBoxes(int32_t) override {}

    // The port outlives the session: its instances may post while they end.
    CMessagePort port{this};
    CPlayStatusDialog statusWindow{this};
    CPlaybackSession session;
};
