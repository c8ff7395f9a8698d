#pragma once

#include "CFormView.h"
#include "CStringTable.h"

#include <QPointer>

#include <cstdint>

class CGdipButton;

// The play control's forwarded drop: wParam points to the dropped
// QList<QUrl>, valid only during the send; lParam 0.
inline constexpr uint32_t WM_DROPFILES = 0x0233;

// The narrow strip at the left of the play status window with two drop
// targets, "Play Now" and "Queue It", for more files while the main window
// is hidden. A drop (text/uri-list) on either target is handed to the drop
// receiver (the main window) as the sent message WM_DROPFILES (above); while
// the receiver handles it, IsPlayNow() tells which target took the drop. A drop beside both targets
// is ignored. Clicking a target does nothing.
class PlayControlFormView : public CFormView {
public:
    // The targets' captions come from strings, which must outlive the view.
    PlayControlFormView(QWidget* parent, QObject* dropReceiver,
                        const CStringTable& strings = CStringTable::Get());

    // The media types of the status window (DMP_TYPE_*); video alone shows
    // the film pictures, anything else the disc and photograph. Set before
    // Create.
    void SetTypes(uint32_t types) { m_types = types; }
    uint32_t types() const { return m_types; }

    // Builds the window anew and clears the play-now flag.
    void Create();

    // True when the last drop handed on landed on Play Now, false on Queue It.
    bool IsPlayNow() const { return m_playNow; }

protected:
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    CGdipButton* addTarget(const QString& name, const QRect& place, int caption, int firstPicture);
    // The target under a point of the play control, or null.
    CGdipButton* targetAt(const QPoint& point) const;

    QPointer<QObject> m_dropReceiver;
    const CStringTable& m_strings;
    uint32_t m_types = 0;
    bool m_playNow = false;
    QPointer<CGdipButton> m_playNowButton;
    QPointer<CGdipButton> m_queueItButton;
};
