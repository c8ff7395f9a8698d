#pragma once

#include <QImage>
#include <QPainter>
#include <QRect>

#include <optional>

namespace kvu {

// An off-screen drawing surface standing in for a target painter: drawing
// uses the target's coordinates, and the picture goes onto the target at the
// same place when the surface goes away. Without a target it is a plain
// work surface whose picture the caller takes.
class CMemDC {
public:
    // The surface covers rect (logical pixels) at the device pixel ratio
    // given; it starts as a copy of background when one is given (an image of
    // the rectangle's size), else transparent.
    CMemDC(QPainter* target, const QRect& rect, qreal devicePixelRatio,
           const QImage* background = nullptr);
    ~CMemDC();
    CMemDC(const CMemDC&) = delete;
    CMemDC& operator=(const CMemDC&) = delete;

    QPainter& painter() { return *m_painter; }
    // Ends drawing and hands the picture over; the target then gets nothing.
    QImage takeImage();

private:
    QPainter* m_target;
    QRect m_rect;
    QImage m_image;
    std::optional<QPainter> m_painter;
};

} // namespace kvu
