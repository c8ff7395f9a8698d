#pragma once

#include "CDmpInstances.h"

#include <cstdint>
#include <optional>

// A media type closed from its panel: the instance that played it and the
// types it still plays. With none left the library has ended the instance
// and it is already out of the instance list.
struct ClosedMediaType {
    DmpVellumoInfo* instance = nullptr;
    uint32_t remainingTypes = 0;
};

// The main window's control family: turns the panels' messages (3024-3035
// video, 3124-3136 music, 3224-3229 photos) into library calls on the
// instance that plays the panel's type, through the binding table. Keeps the
// seek memory and the busy flag (set while a slider is dragged or the status
// window is rebuilt; status refreshes wait meanwhile). User-interface thread
// only.
class CPlaybackControl {
public:
    // What a control message asks of the instance.
    enum class Action {
        Next,
        Prev,
        Pause,
        Resume,
        VolumeUp,
        VolumeDown,
        Repeat,
        Close,
        SeekTrack, // a position drag begins
        Seek,      // it ends at wParam seconds
        VolumeTrack,
        Volume,
        Mute,
    };

    explicit CPlaybackControl(CDmpInstances& instances) : m_instances(instances) {}

    static bool IsControlMessage(uint32_t message);
    // The control message of a media type's panel for action; 0 where the
    // panel has none.
    static uint32_t MessageFor(uint32_t type, Action action);

    // Handles a control message. A closed type comes back so that the caller
    // rebuilds the status window or returns to the main window.
    std::optional<ClosedMediaType> Handle(uint32_t message, uintptr_t wParam);

    bool IsBusy() const { return m_isBusy; }
    void SetBusy(bool isBusy) { m_isBusy = isBusy; }

private:
    void beginSeek(uint32_t type, DmpVellumoInfo* instance);
    void endSeek(uint32_t type, DmpVellumoInfo* instance, uint32_t seconds);
    const wchar_t* currentName(uint32_t type, DmpVellumoInfo* instance) const;
    const wchar_t*& seekMemory(uint32_t type);

    CDmpInstances& m_instances;
    bool m_isBusy = false;
    // The name reference current when a position drag began, compared as a
    // reference when it ends: a drag that ends on another file is dropped.
    const wchar_t* m_videoSeekName = nullptr;
    const wchar_t* m_audioSeekName = nullptr;
};
