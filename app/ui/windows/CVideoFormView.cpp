#include "CVideoFormView.h"

#include "ControlMessages.h"

namespace {

constexpr int kFilmCover = 183;

} // namespace

CVideoFormView::CVideoFormView(QWidget* parent, QObject* receiver)
    : CPlaybackFormView(parent, receiver,
                        {
                            .media = {.next = WM_VIDEO_NEXT,
                                      .previous = WM_VIDEO_PREV,
                                      .pause = WM_VIDEO_PAUSE,
                                      .resume = WM_VIDEO_RESUME,
                                      .repeat = WM_VIDEO_REPEAT,
                                      .close = std::nullopt},
                            .seekTrack = WM_VIDEO_SEEK_TRACK,
                            .seek = WM_VIDEO_SEEK,
                            .volumeTrack = WM_VIDEO_VOLUME_TRACK,
                            .volume = WM_VIDEO_VOLUME,
                            .mute = WM_VIDEO_MUTE,
                        },
                        kFilmCover) {
    setObjectName(QStringLiteral("videoPanel"));
    setAccessibleName(QStringLiteral("Video"));
}
