#pragma once

#include <cstdint>

// What the user can ask of what plays, from a panel, a media key or the
// command line: the same action for every media type that has it.
enum class PlaybackAction {
    Next,
    Prev,
    Pause,
    Resume,
    VolumeUp,
    VolumeDown,
    Repeat,      // value: the repeat mode
    Close,       // the type's panel closes
    SeekTrack,   // a position drag begins
    Seek,        // it ends, or a key steps, at value seconds
    VolumeTrack, // the volume is dragged to value
    Volume,      // the volume is released at value
    Mute,
};

// The typed entry of playback control. User-interface thread only.
class CPlaybackCommands {
public:
    // mediaType: one of DMP_TYPE_VIDEO, DMP_TYPE_IMAGE, DMP_TYPE_AUDIO. Does
    // nothing while no instance plays that type.
    virtual void Control(uint32_t mediaType, PlaybackAction action, int32_t value = 0) = 0;
    // Brings what plays before the user: the status window, restored and in
    // front, or the main window when nothing plays.
    virtual void ShowPlayback() = 0;

protected:
    ~CPlaybackCommands() = default;
};
