#include "FocusMark.h"

#include <QFocusEvent>
#include <QPainter>

namespace {

constexpr QColor kMarkColour(255, 255, 255);
constexpr QColor kEdgeColour(0, 0, 0, 170);
constexpr qreal kMarkWidth = 2;
constexpr qreal kCornerRadius = 3;

} // namespace

void DrawFocusMark(QPainter& painter, const QRect& rect) {
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setBrush(Qt::NoBrush);
    // The dark edge is the wider pen beneath, showing half a pixel past each
    // side of the white line.
    const QRectF centre = QRectF(rect).adjusted(1.5, 1.5, -1.5, -1.5);
    painter.setPen(QPen(kEdgeColour, kMarkWidth + 1.5));
    painter.drawRoundedRect(centre, kCornerRadius, kCornerRadius);
    painter.setPen(QPen(kMarkColour, kMarkWidth));
    painter.drawRoundedRect(centre, kCornerRadius, kCornerRadius);
    painter.restore();
}

bool IsMarkedFocus(const QFocusEvent& event) {
    return event.reason() != Qt::MouseFocusReason;
}
