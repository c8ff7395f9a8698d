#include "MessageLayer.h"

#include <QCoreApplication>

bool DeliverMessage(QEvent* event, CMessageHandler& handler) {
    if (event->type() != CMessageEvent::EventType())
        return false;
    auto* message = static_cast<CMessageEvent*>(event);
    message->releaseKey();
    message->setResult(
        handler.HandleMessage(message->message(), message->wParam(), message->lParam()));
    return true;
}

intptr_t SendMessageTo(QObject* receiver, uint32_t message, uintptr_t wParam, intptr_t lParam) {
    if (!receiver)
        return 0;
    CMessageEvent event(message, wParam, lParam);
    QCoreApplication::sendEvent(receiver, &event);
    return event.result();
}

void PostMessageTo(QObject* receiver, uint32_t message, uintptr_t wParam, intptr_t lParam) {
    if (receiver)
        QCoreApplication::postEvent(receiver, new CMessageEvent(message, wParam, lParam));
}
