#include "RecordingWindow.h"

#include <QCoreApplication>
#include <QPainter>

#include <utility>

RecordingWindow::RecordingWindow(QColor colour, QWidget* parent)
    : QWidget(parent), m_colour(colour) {}

intptr_t RecordingWindow::HandleMessage(uint32_t message, uintptr_t wParam, intptr_t lParam) {
    m_messages.push_back({message, wParam, lParam});
    return static_cast<intptr_t>(message) + lParam;
}

std::vector<RecordingWindow::Message> RecordingWindow::TakeMessages() {
    QCoreApplication::sendPostedEvents(this);
    return std::exchange(m_messages, {});
}

bool RecordingWindow::event(QEvent* event) {
    return DeliverMessage(event, *this) || QWidget::event(event);
}

void RecordingWindow::paintEvent(QPaintEvent*) {
    QPainter(this).fillRect(rect(), m_colour);
}
