#pragma once

#include "ui/controls/MessageLayer.h"

#include <QColor>
#include <QWidget>

#include <vector>

// A window of one known colour that records the numbered messages it gets.
class RecordingWindow : public QWidget, public CMessageHandler {
public:
    struct Message {
        uint32_t message;
        uintptr_t wParam;
        intptr_t lParam;
        bool operator==(const Message&) const = default;
    };

    explicit RecordingWindow(QColor colour = QColor(40, 60, 80), QWidget* parent = nullptr);

    intptr_t HandleMessage(uint32_t message, uintptr_t wParam, intptr_t lParam) override;
    // Delivers what was posted so far, then hands the record over.
    std::vector<Message> TakeMessages();

    QColor colour() const { return m_colour; }

protected:
    bool event(QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    QColor m_colour;
    std::vector<Message> m_messages;
};
