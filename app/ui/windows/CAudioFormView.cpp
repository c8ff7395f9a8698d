#include "CAudioFormView.h"

#include "ControlMessages.h"

namespace {

constexpr int kMusicCover = 181;

} // namespace

CAudioFormView::CAudioFormView(QWidget* parent, QObject* receiver)
    : CPlaybackFormView(parent, receiver,
                        {
                            .media = {.next = WM_AUDIO_NEXT,
                                      .previous = WM_AUDIO_PREV,
                                      .pause = WM_AUDIO_PAUSE,
                                      .resume = WM_AUDIO_RESUME,
                                      .repeat = WM_AUDIO_REPEAT,
                                      .close = WM_AUDIO_CLOSE},
                            .seekTrack = WM_AUDIO_SEEK_TRACK,
                            .seek = WM_AUDIO_SEEK,
                            .volumeTrack = WM_AUDIO_VOLUME_TRACK,
                            .volume = WM_AUDIO_VOLUME,
                            .mute = WM_AUDIO_MUTE,
                        },
                        kMusicCover) {
    setObjectName(QStringLiteral("audioPanel"));
    setAccessibleName(QStringLiteral("Music"));
}
