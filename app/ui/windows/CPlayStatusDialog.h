#pragma once

#include "MessageLayer.h"

#include <QDialog>
#include <QPoint>
#include <QPointer>

#include <cstdint>
#include <optional>
#include <string>

class CAudioFormView;
class CImageFormView;
class CVideoFormView;
class PlayControlFormView;

// The play status window that stands in for the main window while the Box
// plays: the play control at the left, then the panels of the media types
// set: video alone; or music, photos, or compact music above compact photos.
// Panel buttons reach the owner (the main window) as numbered messages; the
// window posts WM_STATUS_CLOSED when the user closes it and
// WM_STATUS_MINIMIZED (and hides) when the user minimises it. Escape closes
// nothing.
//
// One object serves the owner's whole life: Create builds the window for the
// types set, DestroyWindow takes it down; the panels keep their repeat modes
// and the window reopens where the user last put it.
class CPlayStatusDialog : public QDialog {
public:
    explicit CPlayStatusDialog(QObject* owner);
    ~CPlayStatusDialog() override;

    // DMP_TYPE_* bits of the media that play; set before Create. The play
    // control has its own types (playControl().SetTypes), set to the same.
    void SetTypes(uint32_t types) { m_types = types; }
    uint32_t types() const { return m_types; }
    PlayControlFormView& playControl() { return *m_playControl; }

    // Lays the window out for the types and places it where it was left;
    // show() then shows it. Without types, there is no window and the result
    // is false.
    bool Create();
    // Stops following the window's position, then takes the window down.
    void DestroyWindow();
    bool HasWindow() const { return m_hasWindow; }
    // Set by the first Create that laid a window out; never cleared.
    bool IsStarted() const { return m_started; }

    // Status for the panels; a panel whose window is not up ignores it. See
    // CPlaybackFormView::UpdateStatus and CImageFormView::UpdateStatus.
    void UpdateVideo(const wchar_t* name, int count, int index, int totalSeconds,
                     int elapsedSeconds, int32_t volume, int maxVolume, int repeatMode,
                     bool paused);
    void UpdateAudio(const wchar_t* name, int count, int index, int totalSeconds,
                     int elapsedSeconds, int32_t volume, int maxVolume, int repeatMode,
                     bool paused);
    // Also kept as the last photo status.
    void UpdateImage(const wchar_t* name, int count, int index, int repeatMode, bool paused);
    // Shows the last photo status again, on a new window.
    void ReapplyImageStatus();

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

    QPointer<QObject> m_owner;
    PlayControlFormView* m_playControl;
    CVideoFormView* m_video;
    CAudioFormView* m_audio;
    CImageFormView* m_image;

    uint32_t m_types = 0;
    bool m_hasWindow = false;
    bool m_started = false;
    bool m_trackingPosition = false;
    // The client area's top-left corner on the screen, as the user left it.
    std::optional<QPoint> m_savedPosition;
    PhotoStatus m_lastPhotoStatus;
};
