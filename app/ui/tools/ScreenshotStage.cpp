#include "ScreenshotStage.h"

#include <QPainter>

ScreenshotStage::ScreenshotStage(int backgroundBitmap, QSize fallbackSize) {
    m_background.Load(backgroundBitmap, "BITMAP");
    resize(m_background.isNull() ? fallbackSize : m_background.size());
}

void ScreenshotStage::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.fillRect(rect(), QColor(32, 32, 32));
    painter.drawImage(QPoint(0, 0), m_background.image());
}
