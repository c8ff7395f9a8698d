#pragma once

#include "CMediaFormView.h"

#include <cstdint>

// The music and video panels: a media panel with elapsed and total time, a
// seek bar the user drags, and the volume: a bar, and a button that mutes
// (crossed speaker while muted). After the user lets go of a bar or mutes,
// status updates leave that bar alone for a while (the holds), so that it
// does not jump back while the Box catches up.
class CPlaybackFormView : public CMediaFormView {
public:
    struct PlaybackMessages {
        Messages media;
        uint32_t seekTrack;
        uint32_t seek;
        uint32_t volumeTrack;
        uint32_t volume;
        uint32_t mute;
    };

    // Shows what plays: the title of the path name (null: the update is
    // ignored, as is a negative index), the times, and unless held the seek
    // position and the volume, whose bit 31 is the mute flag. The panel's
    // repeat button keeps the mode last chosen on it; count and repeatMode
    // are not shown.
    void UpdateStatus(const wchar_t* name, int count, int index, int totalSeconds,
                      int elapsedSeconds, int32_t volume, int maxVolume, int repeatMode);

    // Status updates still to leave the seek bar and times, or the volume,
    // alone.
    int seekHold() const { return m_seekHold; }
    int volumeHold() const { return m_volumeHold; }

    // "hh:mm:ss"; hours are not limited to two digits.
    static QString FormatTime(int seconds);

    intptr_t HandleMessage(uint32_t message, uintptr_t wParam, intptr_t lParam) override;

protected:
    CPlaybackFormView(QWidget* parent, QObject* receiver, const PlaybackMessages& messages,
                      int coverPicture);

    void addControls(const PanelTemplate& layout) override;
    void resetControls(bool visible) override;
    QString idleTotalText() const override;

private:
    void showTimes(int totalSeconds, int elapsedSeconds);
    void showMuted(bool muted);
    void toggleMute();
    void seekBarMoved(int seconds, bool released);
    void volumeBarMoved(int volume, bool released);

    PlaybackMessages m_messages;
    int m_seekHold = 0;
    int m_volumeHold = 0;

    QPointer<CStaticEx> m_elapsed;
    QPointer<CGdipButton> m_volumeButton;
    QPointer<CGdipButton> m_mutedButton;
    QPointer<CBitmapSlider> m_volumeBar;
};
