#include "PanelStatus.h"

namespace {

constexpr const wchar_t* kNoName = nullptr;

// The entries that differ between the video and the music panel; duration,
// position and volume come from the instance's timed link either way.
struct TimedPanelEntries {
    decltype(DmpVellumoApi::GetVideoCounts) count;
    decltype(DmpVellumoApi::GetCurPlayingVideoIndex) index;
    decltype(DmpVellumoApi::GetCurPlayingVideoName) name;
    decltype(DmpVellumoApi::GetVideoRepeatStatus) repeat;
    decltype(DmpVellumoApi::IsVideoPaused) isPaused;
};

MediaPanelStatus readTimedPanel(const DmpVellumoApi& api, DmpVellumoInfo* instance,
                                const TimedPanelEntries& entries) {
    MediaPanelStatus status;
    status.count = DmpCallOr(entries.count, 0, instance);
    status.index = DmpCallOr(entries.index, -1, instance);
    status.name = DmpCallOr(entries.name, kNoName, instance);
    status.totalSeconds = DmpCallOr(api.GetTotalDuration, 0, instance);
    status.elapsedSeconds = DmpCallOr(api.GetCurrentDuration, 0, instance);
    status.repeat = DmpCallOr(entries.repeat, 0, instance);
    status.isPaused = DmpCallOr(entries.isPaused, false, instance);
    status.maxVolume = DmpCallOr(api.GetMaxVolume, 0, instance);
    status.volume = DmpCallOr(api.GetVolume, 0, instance);
    return status;
}

} // namespace

MediaPanelStatus ReadVideoStatus(const DmpVellumoApi& api, DmpVellumoInfo* instance) {
    return readTimedPanel(api, instance,
                          {api.GetVideoCounts, api.GetCurPlayingVideoIndex,
                           api.GetCurPlayingVideoName, api.GetVideoRepeatStatus,
                           api.IsVideoPaused});
}

MediaPanelStatus ReadAudioStatus(const DmpVellumoApi& api, DmpVellumoInfo* instance) {
    return readTimedPanel(api, instance,
                          {api.GetAudioCounts, api.GetCurPlayingAudioIndex,
                           api.GetCurPlayingAudioName, api.GetAudioRepeatStatus,
                           api.IsAudioPaused});
}

ImagePanelStatus ReadImageStatus(const DmpVellumoApi& api, DmpVellumoInfo* instance) {
    ImagePanelStatus status;
    status.count = DmpCallOr(api.GetImageCounts, 0, instance);
    status.index = DmpCallOr(api.GetCurPlayingImageIndex, -1, instance);
    status.name = DmpCallOr(api.GetCurPlayingImageName, kNoName, instance);
    status.isPaused = DmpCallOr(api.IsImagePaused, false, instance);
    status.repeat = DmpCallOr(api.GetImageRepeatStatus, 0, instance);
    return status;
}
