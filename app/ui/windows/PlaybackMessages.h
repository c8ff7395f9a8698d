#pragma once

#include <cstdint>

// Messages from the playback panels to the main window. wParam is 0 unless
// noted; lParam is always 0. All are sent (the panel waits for the main
// window) except the two close messages, which are posted.
inline constexpr uint32_t WM_VIDEO_NEXT = 3024;
inline constexpr uint32_t WM_VIDEO_PREV = 3025;
inline constexpr uint32_t WM_VIDEO_PAUSE = 3026;
inline constexpr uint32_t WM_VIDEO_RESUME = 3027;
inline constexpr uint32_t WM_VIDEO_VOLUME_UP = 3028;    // no sender among the windows
inline constexpr uint32_t WM_VIDEO_VOLUME_DOWN = 3029;  // no sender among the windows
inline constexpr uint32_t WM_VIDEO_REPEAT = 3030;       // wParam: the new repeat mode
inline constexpr uint32_t WM_VIDEO_SEEK_TRACK = 3031;   // wParam: seconds, while dragged
inline constexpr uint32_t WM_VIDEO_SEEK = 3032;         // wParam: seconds, when released
inline constexpr uint32_t WM_VIDEO_VOLUME_TRACK = 3033; // wParam: volume, while dragged
inline constexpr uint32_t WM_VIDEO_VOLUME = 3034;       // wParam: volume, when released
inline constexpr uint32_t WM_VIDEO_MUTE = 3035;

inline constexpr uint32_t WM_AUDIO_NEXT = 3124;
inline constexpr uint32_t WM_AUDIO_PREV = 3125;
inline constexpr uint32_t WM_AUDIO_PAUSE = 3126;
inline constexpr uint32_t WM_AUDIO_RESUME = 3127;
inline constexpr uint32_t WM_AUDIO_VOLUME_UP = 3128;    // no sender among the windows
inline constexpr uint32_t WM_AUDIO_VOLUME_DOWN = 3129;  // no sender among the windows
inline constexpr uint32_t WM_AUDIO_REPEAT = 3130;       // wParam: the new repeat mode
inline constexpr uint32_t WM_AUDIO_CLOSE = 3131;        // posted
inline constexpr uint32_t WM_AUDIO_SEEK_TRACK = 3132;   // wParam: seconds, while dragged
inline constexpr uint32_t WM_AUDIO_SEEK = 3133;         // wParam: seconds, when released
inline constexpr uint32_t WM_AUDIO_VOLUME_TRACK = 3134; // wParam: volume, while dragged
inline constexpr uint32_t WM_AUDIO_VOLUME = 3135;       // wParam: volume, when released
inline constexpr uint32_t WM_AUDIO_MUTE = 3136;

inline constexpr uint32_t WM_IMAGE_NEXT = 3224;
inline constexpr uint32_t WM_IMAGE_PREV = 3225;
inline constexpr uint32_t WM_IMAGE_PAUSE = 3226;
inline constexpr uint32_t WM_IMAGE_RESUME = 3227;
inline constexpr uint32_t WM_IMAGE_REPEAT = 3228; // wParam: the new repeat mode
inline constexpr uint32_t WM_IMAGE_CLOSE = 3229;  // posted

// Posted by the play status window to its owner.
inline constexpr uint32_t WM_STATUS_CLOSED = 4024;
inline constexpr uint32_t WM_STATUS_MINIMIZED = 4025;

// Sent by the play control to the main window with a drop it takes: wParam
// points to the dropped QList<QUrl>, valid only during the send; lParam 0.
inline constexpr uint32_t WM_DROPFILES = 0x0233;
