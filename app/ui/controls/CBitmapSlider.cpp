#include "CBitmapSlider.h"

#include "CGdiPlusBitmapResource.h"
#include "CMemDC.h"
#include "FocusMark.h"
#include "MessageLayer.h"
#include "SkinAccessibility.h"

#include <QAccessible>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace {

constexpr QRgb kKeyColour = qRgb(255, 0, 255);
// The channel of a value not yet known: the plain channel with dashes of the
// active one across it, neither empty nor full.
constexpr int kUnknownDash = 3;
constexpr int kUnknownGap = 4;
constexpr qreal kUnknownOpacity = 0.6;

// The bitmap with its magenta pixels made transparent; null when missing.
QImage keyedBitmap(int number, qreal devicePixelRatio) {
    CGdiPlusBitmapResource bitmap;
    if (!bitmap.Load(number, "BITMAP", devicePixelRatio))
        return {};
    QImage image = bitmap.image().convertToFormat(QImage::Format_ARGB32);
    for (int y = 0; y < image.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < image.width(); ++x)
            if ((line[x] & RGB_MASK) == (kKeyColour & RGB_MASK))
                line[x] = 0;
    }
    image.setDevicePixelRatio(bitmap.image().devicePixelRatio());
    return image;
}

// The part of an image between logical x from and to, drawn at logical x.
void drawColumns(QPainter& painter, const QImage& image, int from, int to, int at) {
    if (to <= from)
        return;
    const qreal ratio = image.devicePixelRatio();
    const qreal height = image.deviceIndependentSize().height();
    painter.drawImage(QRectF(at, 0, to - from, height), image,
                      QRectF(from * ratio, 0, (to - from) * ratio, height * ratio));
}

} // namespace

CBitmapSlider::CBitmapSlider(QWidget* parent, int controlId)
    : QAbstractSlider(parent), m_controlId(controlId) {
    setOrientation(Qt::Horizontal);
    setRange(0, 100);
    setPageStep(20);
    setFocusPolicy(Qt::StrongFocus);
    InstallSkinAccessibility();
}

bool CBitmapSlider::SetChannelImages(int channelBitmap, int activeChannelBitmap) {
    m_channel = keyedBitmap(channelBitmap, devicePixelRatioF());
    m_activeChannel =
        m_channel.isNull() ? QImage() : keyedBitmap(activeChannelBitmap, devicePixelRatioF());
    if (m_activeChannel.isNull()) {
        m_channel = QImage();
        return false;
    }
    resize(m_channel.deviceIndependentSize().toSize());
    update();
    return true;
}

bool CBitmapSlider::SetThumbImage(int thumbBitmap) {
    m_thumb = keyedBitmap(thumbBitmap, devicePixelRatioF());
    update();
    return !m_thumb.isNull();
}

void CBitmapSlider::SetPosition(int position) {
    setValue(position);
    update();
}

void CBitmapSlider::SettlePosition(int position) {
    if (!m_isValueKnown)
        return;
    SetPosition(position);
    post(WM_SLIDER_SETTLED);
}

void CBitmapSlider::SetValueKnown(bool isKnown) {
    if (isKnown == m_isValueKnown)
        return;
    m_isValueKnown = isKnown;
    update();
    QAccessibleValueChangeEvent change(this, isKnown ? QVariant(value()) : QVariant());
    QAccessible::updateAccessibility(&change);
}

int CBitmapSlider::channelWidth() const {
    return m_channel.isNull() ? width()
                              : static_cast<int>(m_channel.deviceIndependentSize().width());
}

int CBitmapSlider::thumbWidth() const {
    return m_thumb.isNull() ? 0 : static_cast<int>(m_thumb.deviceIndependentSize().width());
}

int CBitmapSlider::PositionToPixel(int position) const {
    const double span = double(maximum()) - minimum();
    if (span <= 0)
        return halfThumb();
    const double travel = channelWidth() - thumbWidth();
    return static_cast<int>(std::trunc((double(position) - minimum()) / span * travel)) +
           halfThumb();
}

int CBitmapSlider::PixelToPosition(int pixel) const {
    const double travel = channelWidth() - thumbWidth();
    if (travel <= 0 || maximum() <= minimum())
        return minimum();
    const double position =
        std::trunc((pixel - halfThumb()) / travel * (double(maximum()) - minimum()) + minimum());
    return static_cast<int>(std::clamp(position, double(minimum()), double(maximum())));
}

void CBitmapSlider::paintEvent(QPaintEvent*) {
    QPainter target(this);
    kvu::CMemDC surface(&target, rect(), devicePixelRatioF());
    QPainter& painter = surface.painter();
    const int centre = PositionToPixel(value());
    if (!m_isValueKnown) {
        drawColumns(painter, m_channel, 0, channelWidth(), 0);
        painter.setOpacity(kUnknownOpacity);
        for (int x = 0; x < channelWidth(); x += kUnknownDash + kUnknownGap)
            drawColumns(painter, m_activeChannel, x, std::min(x + kUnknownDash, channelWidth()), x);
        painter.setOpacity(1);
    } else if (!m_channel.isNull()) {
        const int end = channelWidth();
        drawColumns(painter, m_channel, centre, end, centre);
        drawColumns(painter, m_activeChannel, 0, centre, 0);
    }
    if (!m_thumb.isNull() && m_isValueKnown)
        painter.drawImage(QPoint(centre - halfThumb(), 0), m_thumb);
    if (hasFocus() && m_keyboardFocus)
        DrawFocusMark(painter, rect());
}

void CBitmapSlider::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton || !m_isValueKnown) {
        event->ignore();
        return;
    }
    setFocus(Qt::MouseFocusReason);
    m_keyboardFocus = false;
    m_dragging = true;
    const int x = event->position().toPoint().x();
    const int fromCentre = x - PositionToPixel(value());
    m_gripOffset = std::abs(fromCentre) <= halfThumb() ? fromCentre : 0;
    dragTo(x);
}

void CBitmapSlider::mouseMoveEvent(QMouseEvent* event) {
    if (m_dragging)
        dragTo(event->position().toPoint().x());
}

void CBitmapSlider::dragTo(int pointerX) {
    const int centre =
        std::min(std::max(pointerX - m_gripOffset + 2, halfThumb()), channelWidth() - halfThumb());
    if (centre == PositionToPixel(value()))
        return;
    setValue(PixelToPosition(centre));
    update();
    post(WM_SLIDER_TRACKING);
}

void CBitmapSlider::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton || !m_dragging) {
        event->ignore();
        return;
    }
    m_dragging = false;
    update();
    post(WM_SLIDER_SETTLED);
}

void CBitmapSlider::keyPressEvent(QKeyEvent* event) {
    // Wide enough that a step past either end of an int range cannot overflow.
    long long position = value();
    switch (event->key()) {
    case Qt::Key_PageUp:
        position -= pageStep();
        break;
    case Qt::Key_PageDown:
        position += pageStep();
        break;
    case Qt::Key_End:
        position = maximum();
        break;
    case Qt::Key_Home:
        position = minimum();
        break;
    case Qt::Key_Left:
    case Qt::Key_Up:
        position -= singleStep();
        break;
    case Qt::Key_Right:
    case Qt::Key_Down:
        position += singleStep();
        break;
    default:
        QWidget::keyPressEvent(event);
        return;
    }
    m_keyboardFocus = true;
    update();
    SettlePosition(static_cast<int>(
        std::clamp<long long>(position, minimum(), std::max(minimum(), maximum()))));
}

// The panels act on posted positions only; a wheel turn would move the thumb
// without telling them, so it goes to the parent instead.
void CBitmapSlider::wheelEvent(QWheelEvent* event) {
    event->ignore();
}

void CBitmapSlider::focusInEvent(QFocusEvent* event) {
    m_keyboardFocus = IsMarkedFocus(*event);
    QAbstractSlider::focusInEvent(event);
}

void CBitmapSlider::post(uint32_t message) const {
    PostMessageTo(parentWidget(), message, static_cast<uintptr_t>(m_controlId), value());
}
