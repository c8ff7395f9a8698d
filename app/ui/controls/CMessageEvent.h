#pragma once

#include <QEvent>

#include <cstdint>
#include <functional>

// One numbered window message (message, wParam, lParam) travelling as a Qt
// event. A sent one carries its handler's result back to the sender.
class CMessageEvent : public QEvent {
public:
    // Called once when a coalesced post is delivered or dropped, so that the
    // next post with its key is let through.
    using Release = std::function<void()>;

    CMessageEvent(uint32_t message, uintptr_t wParam, intptr_t lParam, Release release = {});
    ~CMessageEvent() override;
    CMessageEvent(const CMessageEvent&) = delete;
    CMessageEvent& operator=(const CMessageEvent&) = delete;

    // The event type every numbered message uses.
    static QEvent::Type EventType();

    uint32_t message() const { return m_message; }
    uintptr_t wParam() const { return m_wParam; }
    intptr_t lParam() const { return m_lParam; }
    intptr_t result() const { return m_result; }
    void setResult(intptr_t result) { m_result = result; }

    // Lets the next coalesced post of the same key through. Receivers need
    // not call it: delivery does, before the handler runs, so that a post
    // made while the handler reads the newest state is not lost.
    void releaseKey();

private:
    uint32_t m_message;
    uintptr_t m_wParam;
    intptr_t m_lParam;
    intptr_t m_result = 0;
    Release m_release;
};
