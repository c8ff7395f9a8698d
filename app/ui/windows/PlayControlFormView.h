#pragma once

#include "CFormView.h"
#include "playback/CPlayRequest.h"
#include "resources/CStringTable.h"

#include <QList>
#include <QPointer>
#include <QUrl>

#include <cstdint>
#include <functional>

class CGdipButton;

// The narrow strip at the left of the play status window with two drop
// targets, "Play Now" and "Queue It", for more files while the main window
// is hidden. A drop (text/uri-list) on either target is told as FilesDropped
// with the target's placement; a drop beside both targets is ignored.
// Activating a target (a click, Enter, Space) asks for the file chooser.
class PlayControlFormView : public CFormView {
    Q_OBJECT

public:
    // The targets' captions come from strings, which must outlive the view.
    explicit PlayControlFormView(QWidget* parent,
                                 const CStringTable& strings = CStringTable::Get());

    // The media types of the status window (DMP_TYPE_*); video alone shows
    // the film pictures, anything else the disc and photograph. Set before
    // Create.
    void SetTypes(uint32_t types) { m_types = types; }
    uint32_t types() const { return m_types; }

    // Builds the window anew.
    void Create();
    // Called with each target as it is made, to give it a context menu.
    void SetTargetMenu(std::function<void(QWidget* target, Placement placement)> menu) {
        m_targetMenu = std::move(menu);
    }

Q_SIGNALS:
    void FilesDropped(const QList<QUrl>& urls, Placement placement);
    // Files to be chosen for the target of that placement.
    void ChooseRequested(Placement placement, bool isFolder);

protected:
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    CGdipButton* addTarget(const QString& name, const QRect& place, int caption, int spokenName,
                           int firstPicture, Placement placement);
    // The target under a point of the play control, or null.
    CGdipButton* targetAt(const QPoint& point) const;

    const CStringTable& m_strings;
    uint32_t m_types = 0;
    QPointer<CGdipButton> m_playNowButton;
    QPointer<CGdipButton> m_queueItButton;
    std::function<void(QWidget*, Placement)> m_targetMenu;
};
