#pragma once

#include "CMessageEvent.h"

#include <QObject>

#include <cstdint>

// The numbered messages between the application's windows. A send is a
// synchronous delivery on the receiver's (the user-interface) thread; a post
// is queued and delivered by the receiver's event loop. A receiver handles
// them by number in one place, its message map (CMessageHandler).

// Messages a slider posts to its parent: wParam the slider's control number,
// lParam the position.
inline constexpr uint32_t WM_SLIDER_TRACKING = 10449;
inline constexpr uint32_t WM_SLIDER_SETTLED = 10450;

// Dialog end codes; a progress window's run results are the same numbers.
inline constexpr int IDOK = 1;
inline constexpr int IDCANCEL = 2;

// A window's message map.
class CMessageHandler {
public:
    virtual intptr_t HandleMessage(uint32_t message, uintptr_t wParam, intptr_t lParam) = 0;

protected:
    ~CMessageHandler() = default;
};

// Hands a numbered message to the handler when the event is one; true when it
// was. Receivers call it first in their event() override.
bool DeliverMessage(QEvent* event, CMessageHandler& handler);

// Delivers at once; the receiver must live on the calling thread. Returns the
// handler's result, 0 when the receiver does not handle numbered messages.
intptr_t SendMessageTo(QObject* receiver, uint32_t message, uintptr_t wParam, intptr_t lParam);

// Queues for the receiver's thread. The receiver must outlive the call; from
// another thread, or to a receiver that may go away meanwhile, post through a
// CMessagePort instead.
void PostMessageTo(QObject* receiver, uint32_t message, uintptr_t wParam, intptr_t lParam);
