#pragma once

#include "CDmpInstances.h"
#include "CPlaybackCommands.h"

#include <cstdint>
#include <optional>

// A media type closed from its panel: the instance that played it and the
// types it still plays. With none left the library has ended the instance
// and it is already out of the instance list.
struct ClosedMediaType {
    DmpVellumoInfo* instance = nullptr;
    uint32_t remainingTypes = 0;
};

// The control family of playback: turns the actions asked of a media type
// into library calls on the instance that plays the type, through the
// binding table. Keeps the seek memory and the busy flag (set while a slider
// is dragged or the status window is rebuilt; status refreshes wait
// meanwhile). User-interface thread only.
class CPlaybackControl {
public:
    explicit CPlaybackControl(CDmpInstances& instances) : m_instances(instances) {}

    // Whether the panel of the media type offers the action: photos have no
    // position or volume, video is not closed apart from its window.
    static bool IsOffered(uint32_t type, PlaybackAction action);

    // Handles an action on the media type (value: see PlaybackAction); one
    // the type does not offer does nothing. A closed type comes back so that the caller rebuilds
    // the status window or returns to the main window.
    std::optional<ClosedMediaType> Handle(uint32_t type, PlaybackAction action, int32_t value = 0);

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
