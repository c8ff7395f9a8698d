#pragma once

#include <QImage>
#include <QSize>
#include <QWidget>

// A child window of the play status window, painted with a background
// bitmap, whose controls are made anew each time its window is created.
// The object outlives its window and keeps what the user chose between two.
// Escape pressed in it closes nothing.
class CFormView : public QWidget {
public:
    bool HasWindow() const { return m_hasWindow; }
    // Hides the window and removes its controls.
    void Destroy();
    // Gives the focus to the first control of the window in tab order; false
    // when it has none.
    bool FocusFirstControl();

protected:
    explicit CFormView(QWidget* parent);

    // Replaces any window by an empty one of that size and background; the
    // derived view then adds its controls as children.
    void createWindow(QSize size, int backgroundBitmap);

    void paintEvent(QPaintEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    bool m_hasWindow = false;
    QImage m_background;
};
