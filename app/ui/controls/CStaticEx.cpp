#include "CStaticEx.h"

#include "CMemDC.h"
#include "DebugPrint.h"
#include "ParentBackground.h"
#include "SkinAccessibility.h"
#include "SkinText.h"

#include <QPainter>
#include <QTimerEvent>

namespace {

constexpr int kScrollPeriodMs = 100;
constexpr int kScrollPauseTicks = 10;

} // namespace

int CStaticEx::s_scrollPause = 0;

CStaticEx::CStaticEx(QWidget* parent) : QWidget(parent) {
    InstallSkinAccessibility();
}

bool CStaticEx::AddImage(int number, bool append) {
    if (append && imageCount() >= kMaxImages) {
        DebugPrint("CStaticEx::AddImage(): Picture %d refused, the label holds %d already\n",
                   number, kMaxImages);
        return false;
    }
    CGdiPlusBitmapResource image;
    const bool loaded = image.Load(number, "PNG", devicePixelRatioF());
    if (!append) {
        m_images.clear();
        m_surfaces.clear();
    }
    if (!loaded)
        return false;
    m_images.push_back(std::move(image));
    m_surfaces.emplace_back();
    return true;
}

void CStaticEx::SetText(const QString& text, int fontHeight, const QColor& color, unsigned format) {
    const bool changed =
        text != m_text || fontHeight != m_fontHeight || color != m_color || format != m_format;
    m_text = text;
    m_fontHeight = fontHeight;
    m_color = color;
    m_format = format;
    if (changed) {
        setAccessibleName(text.isEmpty() ? m_pictureName : text);
        StopScrolling();
        fitHeight();
        update();
    }
}

void CStaticEx::FitHeightToText() {
    m_fittedFromHeight = height();
    fitHeight();
}

void CStaticEx::fitHeight() {
    if (m_fittedFromHeight == 0)
        return;
    const int needed = SkinLineHeight(m_text, SkinFont(parentWidget(), m_fontHeight));
    const int fitted = std::max(m_fittedFromHeight, needed);
    if (fitted != height())
        resize(width(), fitted);
}

void CStaticEx::SetPictureName(const QString& name) {
    m_pictureName = name;
    if (m_text.isEmpty())
        setAccessibleName(name);
}

void CStaticEx::SetTextFormat(unsigned format) {
    if (format == m_format)
        return;
    m_format = format;
    update();
}

QSize CStaticEx::MeasureText() const {
    return MeasureSkinText(m_text, SkinFont(parentWidget(), m_fontHeight));
}

void CStaticEx::StartScrolling() {
    if (isScrolling() || m_text.isEmpty() || MeasureText().width() < width())
        return;
    m_scrollOffset = 0;
    m_scrollTimer.start(kScrollPeriodMs, this);
}

void CStaticEx::StopScrolling() {
    m_scrollTimer.stop();
    m_scrollOffset = 0;
}

void CStaticEx::timerEvent(QTimerEvent* event) {
    if (event->timerId() != m_scrollTimer.timerId()) {
        QWidget::timerEvent(event);
        return;
    }
    if (m_scrollOffset == 0 && s_scrollPause < kScrollPauseTicks) {
        ++s_scrollPause;
        return;
    }
    ++m_scrollOffset;
    s_scrollPause = 0;
    update();
}

void CStaticEx::prepare() {
    if (m_background.isNull())
        m_background = CaptureParentBackground(this);
    for (size_t i = 0; i < m_images.size(); ++i) {
        if (!m_surfaces[i].isNull())
            continue;
        kvu::CMemDC work(nullptr, rect(), devicePixelRatioF(), &m_background);
        work.painter().drawImage(QPoint(0, 0), m_images[i].image());
        m_surfaces[i] = work.takeImage();
    }
}

void CStaticEx::paintEvent(QPaintEvent*) {
    prepare();
    QPainter painter(this);
    if (m_text.isEmpty()) {
        if (m_currentIndex >= 0 && m_currentIndex < imageCount())
            painter.drawImage(QPoint(0, 0), m_surfaces[m_currentIndex]);
        return;
    }
    QRect textRect = rect();
    if (isScrolling()) {
        const int textWidth = MeasureText().width();
        if (textWidth + 1 < m_scrollOffset)
            m_scrollOffset = 0;
        textRect.setLeft(-m_scrollOffset);
        textRect.setWidth(std::max(textWidth + 1, width()));
    }
    painter.drawImage(QPoint(0, 0), m_background);
    painter.setClipRect(rect());
    DrawSkinText(painter, textRect, m_text, m_format, SkinFont(parentWidget(), m_fontHeight),
                 m_color);
}

void CStaticEx::resizeEvent(QResizeEvent* event) {
    m_background = QImage();
    for (QImage& surface : m_surfaces)
        surface = QImage();
    QWidget::resizeEvent(event);
}
