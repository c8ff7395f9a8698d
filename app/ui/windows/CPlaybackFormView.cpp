#include "CPlaybackFormView.h"

#include "ui/controls/CBitmapSlider.h"
#include "ui/controls/CGdipButton.h"
#include "ui/controls/CStaticEx.h"
#include "ui/controls/SkinText.h"

#include <algorithm>
#include <cstdint>

namespace {

constexpr int kVolumeBarId = 1059;
constexpr int kVolumeChannel = 179;
constexpr int kVolumeActiveChannel = 177;
constexpr int kIdleVolumeMaximum = 99;
constexpr int32_t kVolumeLevelMask = 0x7FFFFFFF;
// The volume's keys: the arrows step 5% of the Box's range, Page Up and Page
// Down four times as far.
constexpr int kVolumeStepPercent = 5;
constexpr int kVolumeStepsPerPage = 4;

// Status updates that leave a bar alone after the user let go of it, and the
// volume alone after a mute click.
constexpr int kHoldAfterRelease = 2;
constexpr int kHoldAfterMute = 3;

constexpr CMediaFormView::RepeatLook kRepeatLooks[] = {
    {{260, 262, 261}, "No repeat"},
    {{263, 258, 256}, "Repeat one"},
    {{198, 196, 197}, "Repeat all"},
    {{255, 259, 254}, "Shuffle"},
};
constexpr int kRepeatAll = 2;

constexpr CMediaFormView::ButtonPictures kVolumePictures{247, 245, 246};
constexpr CMediaFormView::ButtonPictures kMutedPictures{250, 248, 249};

} // namespace

CPlaybackFormView::CPlaybackFormView(QWidget* parent, QObject* receiver,
                                     const PlaybackMessages& messages, int coverPicture)
    : CMediaFormView(parent, receiver, messages.media, coverPicture, kRepeatLooks, kRepeatAll),
      m_messages(messages) {}

void CPlaybackFormView::addControls(const PanelTemplate& layout) {
    if (!layout.elapsed || !layout.volumeButton || !layout.volumeBar)
        return;
    m_elapsed = addLabel(QStringLiteral("elapsed"), *layout.elapsed);
    m_volumeButton = addButton(QStringLiteral("Mute"), *layout.volumeButton, kVolumePictures);
    m_mutedButton = addButton(QStringLiteral("Unmute"), *layout.volumeButton, kMutedPictures);
    m_mutedButton->hide();
    connect(m_volumeButton, &QAbstractButton::clicked, this, &CPlaybackFormView::toggleMute);
    connect(m_mutedButton, &QAbstractButton::clicked, this, &CPlaybackFormView::toggleMute);
    m_volumeBar = new CBitmapSlider(this, kVolumeBarId);
    m_volumeBar->setObjectName(QStringLiteral("volumeBar"));
    m_volumeBar->setAccessibleName(spokenName(QStringLiteral("Volume")));
    m_volumeBar->move(layout.volumeBar->topLeft());
    m_volumeBar->show();
}

void CPlaybackFormView::resetControls(bool visible) {
    if (m_volumeBar) {
        m_volumeBar->SetChannelImages(kVolumeChannel, kVolumeActiveChannel);
        m_volumeBar->setRange(0, kIdleVolumeMaximum);
        m_volumeBar->SetPosition(0);
        // Until the Box reports its volume, a key must not send one.
        m_volumeBar->SetValueKnown(false);
    }
    CMediaFormView::resetControls(visible);
    if (m_elapsed)
        m_elapsed->SetText(FormatTime(0), kTextHeight, Qt::white, DT_LEFT);
    if (m_mutedButton)
        m_mutedButton->hide();
}

QString CPlaybackFormView::idleTotalText() const {
    return FormatTime(0);
}

QString CPlaybackFormView::FormatTime(int seconds) {
    return QString::asprintf("%.2d:%.2d:%.2d", seconds / 3600, seconds % 3600 / 60, seconds % 60);
}

void CPlaybackFormView::showTimes(int totalSeconds, int elapsedSeconds) {
    totalLabel()->SetText(FormatTime(totalSeconds), kTextHeight, Qt::white, DT_RIGHT);
    if (m_elapsed)
        m_elapsed->SetText(FormatTime(elapsedSeconds), kTextHeight, Qt::white, DT_LEFT);
}

void CPlaybackFormView::UpdateStatus(const wchar_t* name, int, int index, int totalSeconds,
                                     int elapsedSeconds, int32_t volume, int maxVolume, int) {
    if (!HasWindow() || index < 0 || !name)
        return;
    titleLabel()->SetText(TitleOf(name), kTextHeight, Qt::white, DT_LEFT);
    titleLabel()->StartScrolling();
    if (m_seekHold == 0) {
        showTimes(totalSeconds, elapsedSeconds);
        // A one-second item (or none) keeps a range of 0 to 0, never an
        // inverted one; total - 1 cannot overflow.
        seekBar()->setRange(0, totalSeconds > 0 ? totalSeconds - 1 : 0);
        seekBar()->SetPosition(elapsedSeconds);
    }
    if (m_volumeBar && m_volumeHold == 0) {
        // The Box reports its maximum with its first volume; 0 until then.
        m_volumeBar->SetValueKnown(maxVolume > 0);
        m_volumeBar->setRange(0, std::max(maxVolume, 0));
        // Wide enough that a Box's largest maximum cannot overflow.
        const auto step = static_cast<int>(
            std::max<int64_t>(1, (int64_t{maxVolume} * kVolumeStepPercent + 50) / 100));
        m_volumeBar->setSingleStep(step);
        m_volumeBar->setPageStep(step * kVolumeStepsPerPage);
        m_volumeBar->SetPosition(volume & kVolumeLevelMask);
        const bool muted = volume < 0;
        if (muted ? m_mutedButton->isHidden() : m_volumeButton->isHidden())
            showMuted(muted);
    }
    if (m_seekHold > 0)
        --m_seekHold;
    if (m_volumeHold > 0)
        --m_volumeHold;
}

void CPlaybackFormView::showMuted(bool muted) {
    if (!m_volumeButton)
        return;
    CGdipButton* offered = muted ? m_mutedButton : m_volumeButton;
    CGdipButton* replaced = muted ? m_volumeButton : m_mutedButton;
    if (offered->isHidden())
        replaced->ReplaceWith(*offered);
    else
        replaced->hide();
}

void CPlaybackFormView::toggleMute() {
    if (!m_volumeButton)
        return;
    showMuted(!m_volumeButton->isHidden());
    send(m_messages.mute);
    m_volumeHold += kHoldAfterMute;
}

intptr_t CPlaybackFormView::HandleMessage(uint32_t message, uintptr_t wParam, intptr_t lParam) {
    if (message != WM_SLIDER_TRACKING && message != WM_SLIDER_SETTLED)
        return CMediaFormView::HandleMessage(message, wParam, lParam);
    // lParam is the bar's position at the change; the bar may have moved on
    // since it posted.
    const int position = static_cast<int>(lParam);
    const bool released = message == WM_SLIDER_SETTLED;
    if (seekBar() && wParam == static_cast<uintptr_t>(seekBar()->controlId()))
        seekBarMoved(position, released);
    else if (m_volumeBar && wParam == static_cast<uintptr_t>(m_volumeBar->controlId()))
        volumeBarMoved(position, released);
    return 0;
}

void CPlaybackFormView::seekBarMoved(int seconds, bool released) {
    const auto position = static_cast<uintptr_t>(seconds);
    if (released) {
        send(m_messages.seek, position);
        m_seekHold += kHoldAfterRelease;
        return;
    }
    showTimes(seekBar()->maximum(), seconds);
    send(m_messages.seekTrack, position);
}

void CPlaybackFormView::volumeBarMoved(int volume, bool released) {
    const auto position = static_cast<uintptr_t>(volume);
    if (released) {
        send(m_messages.volume, position);
        m_volumeHold += kHoldAfterRelease;
        return;
    }
    send(m_messages.volumeTrack, position);
    showMuted(false);
}
