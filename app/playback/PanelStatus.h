#pragma once

#include "DmpVellumoApi.h"

#include <cstdint>

// What a refresh of the video or music panel reads from an instance. A
// missing library entry gives 0, null for the name, -1 for the index and
// false for the flag. The name belongs to the library: copy it before the
// next library call that changes the play list.
struct MediaPanelStatus {
    int32_t count = 0;
    int32_t index = -1;
    const wchar_t* name = nullptr;
    int32_t totalSeconds = 0;
    int32_t elapsedSeconds = 0;
    int32_t repeat = 0;
    bool isPaused = false;
    int32_t maxVolume = 0;
    int32_t volume = 0;
};

// What a refresh of the photo panel reads, with the same defaults.
struct ImagePanelStatus {
    int32_t count = 0;
    int32_t index = -1;
    const wchar_t* name = nullptr;
    bool isPaused = false;
    int32_t repeat = 0;
};

MediaPanelStatus ReadVideoStatus(const DmpVellumoApi& api, DmpVellumoInfo* instance);
MediaPanelStatus ReadAudioStatus(const DmpVellumoApi& api, DmpVellumoInfo* instance);
ImagePanelStatus ReadImageStatus(const DmpVellumoApi& api, DmpVellumoInfo* instance);
