#pragma once

#include <QAbstractSlider>
#include <QImage>

// The thumb picture of every slider.
inline constexpr int kSliderThumbBitmap = 178;

// A horizontal slider drawn from bitmaps, magenta (255, 0, 255) undrawn: the
// channel left of the thumb from the active picture, the rest from the plain
// one, and an optional thumb. Dragging posts WM_SLIDER_TRACKING to the parent
// at each change; releasing the mouse, each handled key and a value set by an
// assistive technology post WM_SLIDER_SETTLED (wParam the control number,
// lParam the position). The arrows move by the single step, Page Up and Page
// Down by the page step, Home and End to the ends.
// Range and position are those of QAbstractSlider: set the range, then
// SetPosition; an inverted range keeps only its minimum.
//
// Until the owner knows the value (the Box has not reported a volume yet) the
// slider shows a dimmed channel, tells assistive technologies "not yet
// known" and takes no input, but keeps its place in the tab order.
class CBitmapSlider : public QAbstractSlider {
    Q_OBJECT

public:
    explicit CBitmapSlider(QWidget* parent = nullptr, int controlId = 0);

    // Loads both channel bitmaps and takes the control's size from the plain
    // one. False, and no channel, when either is missing.
    bool SetChannelImages(int channelBitmap, int activeChannelBitmap);
    // Loads the thumb, also used while dragging. False, and no thumb, when
    // it is missing.
    bool SetThumbImage(int thumbBitmap = kSliderThumbBitmap);

    // Limited to the range; repaints. Nothing is posted.
    void SetPosition(int position);
    // A position the user chose without dragging (a key, an assistive
    // technology): limited to the range, repainted and posted as settled.
    // Nothing happens while the value is not known.
    void SettlePosition(int position);
    int controlId() const { return m_controlId; }

    void SetValueKnown(bool isKnown);
    bool isValueKnown() const { return m_isValueKnown; }
    // Whether the focus mark shows while the slider has the focus.
    bool showsFocusMark() const { return m_keyboardFocus; }

    // The thumb centre of a position and the position of a thumb centre, in
    // pixels from the control's left edge. A range with equal ends puts the
    // thumb at the start and reads every pixel as the minimum.
    int PositionToPixel(int position) const;
    int PixelToPosition(int pixel) const;

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;

private:
    int channelWidth() const;
    int halfThumb() const { return m_thumb.isNull() ? 0 : thumbWidth() / 2; }
    int thumbWidth() const;
    void dragTo(int pointerX);
    void post(uint32_t message) const;

    int m_controlId;
    QImage m_channel;       // magenta made transparent
    QImage m_activeChannel; // magenta made transparent
    QImage m_thumb;         // magenta made transparent
    int m_gripOffset = 0;
    bool m_dragging = false;
    bool m_keyboardFocus = false;
    bool m_isValueKnown = true;
};
