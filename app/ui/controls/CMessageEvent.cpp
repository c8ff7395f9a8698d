#include "CMessageEvent.h"

#include <utility>

CMessageEvent::CMessageEvent(uint32_t message, uintptr_t wParam, intptr_t lParam, Release release)
    : QEvent(EventType()), m_message(message), m_wParam(wParam), m_lParam(lParam),
      m_release(std::move(release)) {}

CMessageEvent::~CMessageEvent() {
    releaseKey();
}

QEvent::Type CMessageEvent::EventType() {
    static const auto type = static_cast<QEvent::Type>(QEvent::registerEventType());
    return type;
}

void CMessageEvent::releaseKey() {
    if (!m_release)
        return;
    auto release = std::exchange(m_release, {});
    release();
}
