#include "CGdipButton.h"

#include "CMemDC.h"
#include "FocusMark.h"
#include "ParentBackground.h"
#include "SkinText.h"

#include <QKeyEvent>
#include <QPainter>
#include <QTimer>

#include <algorithm>
#include <optional>
#include <utility>

namespace {

// A focused button being hidden hands the focus on as if Tab were pressed, or
// to its replacement (ReplaceWith); the next button shows the mark only when
// the hidden one did, so a click does not leave a keyboard mark behind. Set
// by hideEvent and ReplaceWith and read by the focusInEvent that follows, on
// the user-interface thread only.
std::optional<bool> handedOnMark;

// The hover look of a button without a hover picture: each colour channel c
// (0 to 1) becomes min(1, 1.05 c + 0.05); alpha stays.
QImage brightened(const QImage& picture) {
    QImage image = picture.convertToFormat(QImage::Format_ARGB32);
    const auto channel = [](int c) { return std::min(255, (c * 105 + 1275 + 50) / 100); };
    for (int y = 0; y < image.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < image.width(); ++x) {
            const QRgb p = line[x];
            line[x] = qRgba(channel(qRed(p)), channel(qGreen(p)), channel(qBlue(p)), qAlpha(p));
        }
    }
    return image;
}

} // namespace

CGdipButton::CGdipButton(QWidget* parent) : QAbstractButton(parent) {
    setFocusPolicy(Qt::StrongFocus);
    setAttribute(Qt::WA_Hover);
}

bool CGdipButton::SetNormalImage(std::optional<QString> caption, int number, const char* type,
                                 QColor textColor, int fontHeight, std::optional<QRect> textRect,
                                 unsigned textFormat) {
    return setLook(Look::Normal, std::move(caption), number, type, textColor, fontHeight, textRect,
                   textFormat);
}

bool CGdipButton::SetPressedImage(std::optional<QString> caption, int number, const char* type,
                                  QColor textColor, int fontHeight, std::optional<QRect> textRect,
                                  unsigned textFormat) {
    return setLook(Look::Pressed, std::move(caption), number, type, textColor, fontHeight, textRect,
                   textFormat);
}

bool CGdipButton::SetHoverImage(std::optional<QString> caption, int number, const char* type,
                                QColor textColor, int fontHeight, std::optional<QRect> textRect,
                                unsigned textFormat) {
    return setLook(Look::Hover, std::move(caption), number, type, textColor, fontHeight, textRect,
                   textFormat);
}

bool CGdipButton::setLook(Look look, std::optional<QString> caption, int number, const char* type,
                          QColor textColor, int fontHeight, std::optional<QRect> textRect,
                          unsigned textFormat) {
    LookStyle& style = m_looks[static_cast<int>(look)];
    style.picture.emplace();
    if (caption)
        style.caption = std::move(*caption);
    style.fontHeight = fontHeight;
    style.textColor = textColor;
    if (textRect)
        style.textRect = *textRect;
    style.textFormat = textFormat;
    style.surface = QImage();
    m_needsRender = true;
    updateAccessibleName();
    return style.picture->Load(number, type, devicePixelRatioF());
}

void CGdipButton::SetCaptionLook(Look look, const QString& caption, QColor textColor,
                                 int fontHeight, const QRect& textRect, unsigned textFormat) {
    LookStyle& style = m_looks[static_cast<int>(look)];
    // An empty picture: the look is the captured background.
    style.picture.emplace();
    style.caption = caption;
    style.fontHeight = fontHeight;
    style.textColor = textColor;
    style.textRect = textRect;
    style.textFormat = textFormat;
    style.surface = QImage();
    m_needsRender = true;
    updateAccessibleName();
    update();
}

void CGdipButton::SetTooltip(const QString& text, bool activate) {
    if (text.isEmpty())
        return;
    m_tooltip = text;
    setToolTip(activate ? text : QString());
    updateAccessibleName();
}

void CGdipButton::SetSpokenName(const QString& name) {
    m_spokenName = name;
    updateAccessibleName();
}

void CGdipButton::updateAccessibleName() {
    const QString& caption = m_looks[static_cast<int>(Look::Normal)].caption;
    const QString name = !m_spokenName.isEmpty() ? m_spokenName
                         : caption.isEmpty()     ? m_tooltip
                                                 : caption;
    if (name != accessibleName())
        setAccessibleName(name);
}

CGdipButton::Look CGdipButton::currentLook() const {
    if (isDown())
        return Look::Pressed;
    return m_hovering ? Look::Hover : Look::Normal;
}

void CGdipButton::renderLook(Look look) {
    const CGdiPlusBitmapResource& normal = *m_looks[static_cast<int>(Look::Normal)].picture;
    const auto& own = m_looks[static_cast<int>(look)].picture;
    kvu::CMemDC work(nullptr, rect(), devicePixelRatioF(), &m_background);
    QPainter& painter = work.painter();
    if (own) {
        if (!own->isNull())
            painter.drawImage(QPoint(0, 0), own->image());
    } else if (look == Look::Pressed) {
        painter.drawImage(QPoint(1, 1), normal.image());
    } else if (look == Look::Hover && !normal.isNull()) {
        QImage bright = brightened(normal.image());
        bright.setDevicePixelRatio(normal.image().devicePixelRatio());
        painter.drawImage(QPoint(0, 0), bright);
    }
    m_looks[static_cast<int>(look)].surface = work.takeImage();
}

void CGdipButton::paintEvent(QPaintEvent*) {
    const Look look = currentLook();
    LookStyle& style = m_looks[static_cast<int>(look)];
    // Each look is composed when first shown, so that a long list of buttons
    // keeps only the looks it showed.
    if (m_looks[static_cast<int>(Look::Normal)].picture) {
        if (m_needsRender)
            m_background = CaptureParentBackground(this);
        m_needsRender = false;
        if (style.surface.isNull())
            renderLook(look);
    }
    QPainter painter(this);
    if (!style.surface.isNull())
        painter.drawImage(QPoint(0, 0), style.surface);
    DrawSkinText(painter, style.textRect, style.caption, style.textFormat,
                 SkinFont(parentWidget(), style.fontHeight), style.textColor);
    if (hasFocus() && m_keyboardFocus) {
        // Around the caption where there is one, so that the mark stays on
        // the picture's visible part; else around the whole button.
        const QRect around = style.caption.isEmpty() || style.textRect.isEmpty()
                                 ? rect().adjusted(1, 1, -1, -1)
                                 : style.textRect.adjusted(-4, -3, 4, 3) & rect();
        DrawFocusMark(painter, around);
    }
}

void CGdipButton::ReplaceWith(CGdipButton& replacement) {
    const bool hadFocus = window()->focusWidget() == this;
    replacement.show();
    if (hadFocus) {
        handedOnMark = m_keyboardFocus;
        replacement.setFocus(Qt::OtherFocusReason);
        // In a window that is not active the focus arrives at activation.
        handedOnMark.reset();
        replacement.m_keyboardFocus = m_keyboardFocus;
    }
    hide();
}

void CGdipButton::enterEvent(QEnterEvent* event) {
    m_hovering = true;
    update();
    QAbstractButton::enterEvent(event);
}

void CGdipButton::leaveEvent(QEvent* event) {
    m_hovering = false;
    update();
    QAbstractButton::leaveEvent(event);
}

void CGdipButton::keyPressEvent(QKeyEvent* event) {
    if ((event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) &&
        (event->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier && !event->isAutoRepeat()) {
        m_keyboardFocus = true;
        click();
        return;
    }
    if (event->key() == Qt::Key_Space)
        m_keyboardFocus = true;
    QAbstractButton::keyPressEvent(event);
}

void CGdipButton::mousePressEvent(QMouseEvent* event) {
    m_keyboardFocus = false;
    QAbstractButton::mousePressEvent(event);
}

void CGdipButton::focusInEvent(QFocusEvent* event) {
    m_keyboardFocus = handedOnMark.value_or(IsMarkedFocus(*event));
    handedOnMark.reset();
    QAbstractButton::focusInEvent(event);
}

void CGdipButton::hideEvent(QHideEvent* event) {
    if (hasFocus()) {
        handedOnMark = m_keyboardFocus;
        // The focus moves on within hide(); a hand-over to a widget of
        // another kind must not leave the mark for a later Tab.
        QTimer::singleShot(0, [] { handedOnMark.reset(); });
    }
    QAbstractButton::hideEvent(event);
}

void CGdipButton::discardSurfaces() {
    for (LookStyle& style : m_looks)
        style.surface = QImage();
    m_background = QImage();
    m_needsRender = true;
}

void CGdipButton::resizeEvent(QResizeEvent* event) {
    discardSurfaces();
    QAbstractButton::resizeEvent(event);
}

void CGdipButton::changeEvent(QEvent* event) {
    // The parent's pixels beneath change with the parent.
    if (event->type() == QEvent::ParentChange)
        discardSurfaces();
    QAbstractButton::changeEvent(event);
}
