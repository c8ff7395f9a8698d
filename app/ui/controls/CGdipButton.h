#pragma once

#include "CGdiPlusBitmapResource.h"

#include <QAbstractButton>
#include <QColor>
#include <QImage>
#include <QRect>
#include <QString>

#include <array>
#include <optional>

// A push button drawn from pictures: one picture, caption and text style for
// each of its three looks (normal, pressed, hover), composed over the pixels
// its window paints beneath it so that soft picture edges blend. Clicks,
// keyboard activation (Space, Enter), auto-repeat and accessibility are the
// ones of QAbstractButton. A focused button shows the focus mark unless a
// mouse press gave it the focus.
class CGdipButton : public QAbstractButton {
public:
    enum class Look { Normal, Pressed, Hover };

    explicit CGdipButton(QWidget* parent = nullptr);

    // Each sets its look: caption (none keeps the previous one), picture by
    // number and type, text colour, font height in pixels, text rectangle in
    // the button (none keeps the previous one) and text format (SkinText.h).
    // The look is rendered again at the next paint, over a freshly captured
    // background. Returns whether the picture loaded; without it the look
    // shows the background and the caption.
    bool SetNormalImage(std::optional<QString> caption, int number, const char* type,
                        QColor textColor, int fontHeight, std::optional<QRect> textRect,
                        unsigned textFormat);
    bool SetPressedImage(std::optional<QString> caption, int number, const char* type,
                         QColor textColor, int fontHeight, std::optional<QRect> textRect,
                         unsigned textFormat);
    bool SetHoverImage(std::optional<QString> caption, int number, const char* type,
                       QColor textColor, int fontHeight, std::optional<QRect> textRect,
                       unsigned textFormat);

    // A look of caption alone over the window's pixels, without a picture.
    void SetCaptionLook(Look look, const QString& caption, QColor textColor, int fontHeight,
                        const QRect& textRect, unsigned textFormat);

    // Stores the text and shows it as the tooltip while activate is true; an
    // empty text changes nothing. Screen readers hear it when there is no
    // caption.
    void SetTooltip(const QString& text, bool activate);
    // What screen readers hear instead of the caption or tooltip, where
    // those alone would not tell two buttons of a window apart; empty for
    // the caption or tooltip.
    void SetSpokenName(const QString& name);

    // The look the next paint shows.
    Look currentLook() const;
    // Whether the focus mark shows while the button has the focus.
    bool showsFocusMark() const { return m_keyboardFocus; }

    // Hides this button and shows replacement in its place (pause turning
    // into play); the window's focus, with its mark, goes to the replacement
    // rather than to the next control.
    void ReplaceWith(CGdipButton& replacement);

protected:
    void paintEvent(QPaintEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    struct LookStyle {
        std::optional<CGdiPlusBitmapResource> picture;
        QString caption;
        int fontHeight = 0;
        QColor textColor;
        QRect textRect;
        unsigned textFormat = 0;
        QImage surface; // background with the picture drawn on it; null until shown
    };

    bool setLook(Look look, std::optional<QString> caption, int number, const char* type,
                 QColor textColor, int fontHeight, std::optional<QRect> textRect,
                 unsigned textFormat);
    void renderLook(Look look);
    void updateAccessibleName();
    void discardSurfaces();

    std::array<LookStyle, 3> m_looks;
    bool m_needsRender = true; // the background is to be captured again
    bool m_hovering = false;
    bool m_keyboardFocus = false;
    QString m_tooltip;
    QString m_spokenName;
    QImage m_background;
};
