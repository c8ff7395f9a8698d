#pragma once

#include "playback/CPlaybackCommands.h"

#include <cstdint>
#include <optional>

// The numbered messages the playback panels send to the main window. wParam:
// the repeat mode (REPEAT), the position in seconds (SEEK) or the volume
// (VOLUME_TRACK, VOLUME); 0 otherwise.
inline constexpr uint32_t WM_VIDEO_NEXT = 3024;
inline constexpr uint32_t WM_VIDEO_PREV = 3025;
inline constexpr uint32_t WM_VIDEO_PAUSE = 3026;
inline constexpr uint32_t WM_VIDEO_RESUME = 3027;
inline constexpr uint32_t WM_VIDEO_VOLUME_UP = 3028;
inline constexpr uint32_t WM_VIDEO_VOLUME_DOWN = 3029;
inline constexpr uint32_t WM_VIDEO_REPEAT = 3030;
inline constexpr uint32_t WM_VIDEO_SEEK_TRACK = 3031;
inline constexpr uint32_t WM_VIDEO_SEEK = 3032;
inline constexpr uint32_t WM_VIDEO_VOLUME_TRACK = 3033;
inline constexpr uint32_t WM_VIDEO_VOLUME = 3034;
inline constexpr uint32_t WM_VIDEO_MUTE = 3035;

inline constexpr uint32_t WM_AUDIO_NEXT = 3124;
inline constexpr uint32_t WM_AUDIO_PREV = 3125;
inline constexpr uint32_t WM_AUDIO_PAUSE = 3126;
inline constexpr uint32_t WM_AUDIO_RESUME = 3127;
inline constexpr uint32_t WM_AUDIO_VOLUME_UP = 3128;
inline constexpr uint32_t WM_AUDIO_VOLUME_DOWN = 3129;
inline constexpr uint32_t WM_AUDIO_REPEAT = 3130;
inline constexpr uint32_t WM_AUDIO_CLOSE = 3131;
inline constexpr uint32_t WM_AUDIO_SEEK_TRACK = 3132;
inline constexpr uint32_t WM_AUDIO_SEEK = 3133;
inline constexpr uint32_t WM_AUDIO_VOLUME_TRACK = 3134;
inline constexpr uint32_t WM_AUDIO_VOLUME = 3135;
inline constexpr uint32_t WM_AUDIO_MUTE = 3136;

inline constexpr uint32_t WM_IMAGE_NEXT = 3224;
inline constexpr uint32_t WM_IMAGE_PREV = 3225;
inline constexpr uint32_t WM_IMAGE_PAUSE = 3226;
inline constexpr uint32_t WM_IMAGE_RESUME = 3227;
inline constexpr uint32_t WM_IMAGE_REPEAT = 3228;
inline constexpr uint32_t WM_IMAGE_CLOSE = 3229;

// From the play status window to the main window, posted.
inline constexpr uint32_t WM_STATUS_CLOSED = 4024;
inline constexpr uint32_t WM_STATUS_MINIMIZED = 4025;

// What a panel's control message asks: the action on the panel's media type
// (DMP_TYPE_*), its value taken from wParam.
struct ControlRequest {
    uint32_t mediaType;
    PlaybackAction action;
};

// The request of a panel's control message; none for other numbers.
std::optional<ControlRequest> ControlRequestOf(uint32_t message);
