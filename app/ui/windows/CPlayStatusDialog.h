#pragma once

#include "playback/CStatusWindow.h"
#include "resources/CStringTable.h"
#include "ui/controls/MessageLayer.h"

#include <QDialog>
#include <QPoint>
#include <QPointer>

#include <array>
#include <cstdint>
#include <optional>
#include <string>

class CAudioFormView;
class CFormView;
class CPlaybackFormView;
class CImageFormView;
class CVideoFormView;
class QLabel;
class PlayControlFormView;

// The play status window that stands in for the main window while the Box
// plays: the play control at the left, then the panels of the media types
// set: video alone; or music, photos, or compact music above compact photos.
// Panel buttons reach the owner (the main window) as numbered messages; the
// window posts WM_STATUS_CLOSED when the user closes it and
// WM_STATUS_MINIMIZED (and hides) when the user minimises it. Escape closes
// nothing.
//
// One object serves the owner's whole life: Create builds the window for
// the types, Destroy takes it down; the panels keep their repeat modes and
// the window reopens where the user last put it. A window built again while
// the focus was in one of its panels gives the focus to that panel, or to
// the next one when it has gone.
class CPlayStatusDialog : public QDialog, public CStatusWindow {
public:
    // The play control's captions come from strings, which must outlive the
    // window.
    explicit CPlayStatusDialog(QObject* owner, const CStringTable& strings = CStringTable::Get());
    ~CPlayStatusDialog() override;

    // Without types there is no window: any there was is destroyed.
    void Create(uint32_t types) override;
    void Destroy() override;
    void Show() override { show(); }
    void Raise() override;
    bool Exists() const override { return m_types != 0; }
    bool IsVisible() const override { return isVisible(); }
    bool HasStarted() const override { return m_started; }
    uint32_t Types() const override { return m_types; }

    // A panel whose window is not up ignores its status. See
    // CPlaybackFormView::UpdateStatus and CImageFormView::UpdateStatus.
    void UpdateVideo(const MediaPanelStatus& status) override;
    void UpdateAudio(const MediaPanelStatus& status) override;
    void UpdateImage(const ImagePanelStatus& status) override;
    void ReapplyImageStatus() override;
    void ShowWaiting(const QString& text) override;
    // The veil while playback waits for the Box; hidden otherwise.
    QLabel& waitingVeil() { return *m_waitingVeil; }

    PlayControlFormView& playControl() { return *m_playControl; }

    CVideoFormView& videoPanel() { return *m_video; }
    CAudioFormView& audioPanel() { return *m_audio; }
    CImageFormView& imagePanel() { return *m_image; }

    void reject() override;

protected:
    void closeEvent(QCloseEvent* event) override;
    void changeEvent(QEvent* event) override;
    void moveEvent(QMoveEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    struct PhotoStatus {
        std::wstring name;
        int count = 0;
        int index = 0;
        int repeatMode = 0;
        bool paused = false;
    };

    QSize layOutPanels();
    void destroyChildWindows();
    // The play control and the panels, in tab order.
    std::array<CFormView*, 4> childViews() const;
    void rememberFocus();
    void restoreFocus();
    static void updatePlayback(CPlaybackFormView& panel, const MediaPanelStatus& status);

    QPointer<QObject> m_owner;
    PlayControlFormView* m_playControl;
    CVideoFormView* m_video;
    CAudioFormView* m_audio;
    CImageFormView* m_image;
    QLabel* m_waitingVeil; // above the panels

    uint32_t m_types = 0; // 0 while there is no window
    bool m_started = false;
    bool m_trackingPosition = false;
    // The client area's top-left corner on the screen, as the user left it.
    std::optional<QPoint> m_savedPosition;
    PhotoStatus m_lastPhotoStatus;
    // Which of childViews() held the focus when the window went; -1 none.
    int m_focusedView = -1;
};
