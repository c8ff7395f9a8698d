#pragma once

#include "playback/CPlaybackHost.h"
#include "playback/CPlaybackSession.h"
#include "ui/controls/CMessagePort.h"
#include "ui/controls/MessageLayer.h"
#include "ui/windows/CPlayStatusDialog.h"

#include <QObject>
#include <QStringList>

#include <map>
#include <vector>

// An action asked of playback: the media type, the action and its value.
struct AskedControl {
    uint32_t type;
    PlaybackAction action;
    int32_t value;
    bool operator==(const AskedControl&) const = default;
};

// A real playback session that also records the actions asked of it.
class RecordingSession : public CPlaybackSession {
public:
    using CPlaybackSession::CPlaybackSession;
    void Control(uint32_t type, PlaybackAction action, int32_t value = 0) override {
        controls.push_back({type, action, value});
        CPlaybackSession::Control(type, action, value);
    }
    std::vector<AskedControl> controls;
};

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
    void ShowMessage(const QString& text) override { messages.append(text); }
    void LinkReported(DmpVellumoInfo*, int32_t) override {}
    void ShowLastingNotice(Notice kind, const QString& body, const QString&) override {
        notices[kind] = body;
    }
    void EndLastingNotice(Notice kind) override { notices.erase(kind); }

    // What the session showed: its messages, and the lasting notices up now.
    QStringList messages;
    std::map<Notice, QString> notices;

    // The port outlives the session: its instances may post while they end.
    CMessagePort port{this};
    CPlayStatusDialog statusWindow{this};
    RecordingSession session;
};
