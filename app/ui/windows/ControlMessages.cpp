#include "ControlMessages.h"

#include "dmp_vellumo.h"

namespace {

struct Entry {
    uint32_t message;
    ControlRequest request;
};

using Action = PlaybackAction;

// The panels' messages: what each asks, of which media type.
constexpr Entry kEntries[] = {
    {WM_VIDEO_NEXT, {DMP_TYPE_VIDEO, Action::Next}},
    {WM_VIDEO_PREV, {DMP_TYPE_VIDEO, Action::Prev}},
    {WM_VIDEO_PAUSE, {DMP_TYPE_VIDEO, Action::Pause}},
    {WM_VIDEO_RESUME, {DMP_TYPE_VIDEO, Action::Resume}},
    {WM_VIDEO_VOLUME_UP, {DMP_TYPE_VIDEO, Action::VolumeUp}},
    {WM_VIDEO_VOLUME_DOWN, {DMP_TYPE_VIDEO, Action::VolumeDown}},
    {WM_VIDEO_REPEAT, {DMP_TYPE_VIDEO, Action::Repeat}},
    {WM_VIDEO_SEEK_TRACK, {DMP_TYPE_VIDEO, Action::SeekTrack}},
    {WM_VIDEO_SEEK, {DMP_TYPE_VIDEO, Action::Seek}},
    {WM_VIDEO_VOLUME_TRACK, {DMP_TYPE_VIDEO, Action::VolumeTrack}},
    {WM_VIDEO_VOLUME, {DMP_TYPE_VIDEO, Action::Volume}},
    {WM_VIDEO_MUTE, {DMP_TYPE_VIDEO, Action::Mute}},
    {WM_AUDIO_NEXT, {DMP_TYPE_AUDIO, Action::Next}},
    {WM_AUDIO_PREV, {DMP_TYPE_AUDIO, Action::Prev}},
    {WM_AUDIO_PAUSE, {DMP_TYPE_AUDIO, Action::Pause}},
    {WM_AUDIO_RESUME, {DMP_TYPE_AUDIO, Action::Resume}},
    {WM_AUDIO_VOLUME_UP, {DMP_TYPE_AUDIO, Action::VolumeUp}},
    {WM_AUDIO_VOLUME_DOWN, {DMP_TYPE_AUDIO, Action::VolumeDown}},
    {WM_AUDIO_REPEAT, {DMP_TYPE_AUDIO, Action::Repeat}},
    {WM_AUDIO_CLOSE, {DMP_TYPE_AUDIO, Action::Close}},
    {WM_AUDIO_SEEK_TRACK, {DMP_TYPE_AUDIO, Action::SeekTrack}},
    {WM_AUDIO_SEEK, {DMP_TYPE_AUDIO, Action::Seek}},
    {WM_AUDIO_VOLUME_TRACK, {DMP_TYPE_AUDIO, Action::VolumeTrack}},
    {WM_AUDIO_VOLUME, {DMP_TYPE_AUDIO, Action::Volume}},
    {WM_AUDIO_MUTE, {DMP_TYPE_AUDIO, Action::Mute}},
    {WM_IMAGE_NEXT, {DMP_TYPE_IMAGE, Action::Next}},
    {WM_IMAGE_PREV, {DMP_TYPE_IMAGE, Action::Prev}},
    {WM_IMAGE_PAUSE, {DMP_TYPE_IMAGE, Action::Pause}},
    {WM_IMAGE_RESUME, {DMP_TYPE_IMAGE, Action::Resume}},
    {WM_IMAGE_REPEAT, {DMP_TYPE_IMAGE, Action::Repeat}},
    {WM_IMAGE_CLOSE, {DMP_TYPE_IMAGE, Action::Close}},
};

} // namespace

std::optional<ControlRequest> ControlRequestOf(uint32_t message) {
    for (const Entry& entry : kEntries)
        if (entry.message == message)
            return entry.request;
    return std::nullopt;
}
