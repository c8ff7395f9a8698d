#include "CMemDC.h"

#include <utility>

namespace kvu {

CMemDC::CMemDC(QPainter* target, const QRect& rect, qreal devicePixelRatio,
               const QImage* background)
    : m_target(target), m_rect(rect) {
    if (background && !background->isNull()) {
        m_image = background->convertToFormat(QImage::Format_ARGB32_Premultiplied);
    } else {
        m_image = QImage((QSizeF(rect.size()) * devicePixelRatio).toSize(),
                         QImage::Format_ARGB32_Premultiplied);
        m_image.fill(Qt::transparent);
    }
    m_image.setDevicePixelRatio(devicePixelRatio);
    m_painter.emplace(&m_image);
    m_painter->setRenderHints(QPainter::Antialiasing | QPainter::TextAntialiasing |
                              QPainter::SmoothPixmapTransform);
    m_painter->translate(-rect.topLeft());
}

CMemDC::~CMemDC() {
    m_painter.reset();
    if (m_target && !m_image.isNull())
        m_target->drawImage(m_rect.topLeft(), m_image);
}

QImage CMemDC::takeImage() {
    m_painter.reset();
    m_target = nullptr;
    return std::exchange(m_image, QImage());
}

} // namespace kvu
