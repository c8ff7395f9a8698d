#include "CPlaybackControl.h"

#include "ControlMessages.h"

namespace {

// The value SetVolume takes as the mute command.
constexpr int32_t kMuteVolume = -1;

using Action = CPlaybackControl::Action;

struct Entry {
    uint32_t message;
    uint32_t type;
    Action action;
};

// The panels' messages: what each asks, of which media type.
constexpr Entry kEntries[] = {
    {WM_VIDEO_NEXT, DMP_TYPE_VIDEO, Action::Next},
    {WM_VIDEO_PREV, DMP_TYPE_VIDEO, Action::Prev},
    {WM_VIDEO_PAUSE, DMP_TYPE_VIDEO, Action::Pause},
    {WM_VIDEO_RESUME, DMP_TYPE_VIDEO, Action::Resume},
    {WM_VIDEO_VOLUME_UP, DMP_TYPE_VIDEO, Action::VolumeUp},
    {WM_VIDEO_VOLUME_DOWN, DMP_TYPE_VIDEO, Action::VolumeDown},
    {WM_VIDEO_REPEAT, DMP_TYPE_VIDEO, Action::Repeat},
    {WM_VIDEO_SEEK_TRACK, DMP_TYPE_VIDEO, Action::SeekTrack},
    {WM_VIDEO_SEEK, DMP_TYPE_VIDEO, Action::Seek},
    {WM_VIDEO_VOLUME_TRACK, DMP_TYPE_VIDEO, Action::VolumeTrack},
    {WM_VIDEO_VOLUME, DMP_TYPE_VIDEO, Action::Volume},
    {WM_VIDEO_MUTE, DMP_TYPE_VIDEO, Action::Mute},
    {WM_AUDIO_NEXT, DMP_TYPE_AUDIO, Action::Next},
    {WM_AUDIO_PREV, DMP_TYPE_AUDIO, Action::Prev},
    {WM_AUDIO_PAUSE, DMP_TYPE_AUDIO, Action::Pause},
    {WM_AUDIO_RESUME, DMP_TYPE_AUDIO, Action::Resume},
    {WM_AUDIO_VOLUME_UP, DMP_TYPE_AUDIO, Action::VolumeUp},
    {WM_AUDIO_VOLUME_DOWN, DMP_TYPE_AUDIO, Action::VolumeDown},
    {WM_AUDIO_REPEAT, DMP_TYPE_AUDIO, Action::Repeat},
    {WM_AUDIO_CLOSE, DMP_TYPE_AUDIO, Action::Close},
    {WM_AUDIO_SEEK_TRACK, DMP_TYPE_AUDIO, Action::SeekTrack},
    {WM_AUDIO_SEEK, DMP_TYPE_AUDIO, Action::Seek},
    {WM_AUDIO_VOLUME_TRACK, DMP_TYPE_AUDIO, Action::VolumeTrack},
    {WM_AUDIO_VOLUME, DMP_TYPE_AUDIO, Action::Volume},
    {WM_AUDIO_MUTE, DMP_TYPE_AUDIO, Action::Mute},
    {WM_IMAGE_NEXT, DMP_TYPE_IMAGE, Action::Next},
    {WM_IMAGE_PREV, DMP_TYPE_IMAGE, Action::Prev},
    {WM_IMAGE_PAUSE, DMP_TYPE_IMAGE, Action::Pause},
    {WM_IMAGE_RESUME, DMP_TYPE_IMAGE, Action::Resume},
    {WM_IMAGE_REPEAT, DMP_TYPE_IMAGE, Action::Repeat},
    {WM_IMAGE_CLOSE, DMP_TYPE_IMAGE, Action::Close},
};

const Entry* find(uint32_t message) {
    for (const Entry& entry : kEntries)
        if (entry.message == message)
            return &entry;
    return nullptr;
}

} // namespace

uint32_t CPlaybackControl::MessageFor(uint32_t type, Action action) {
    for (const Entry& entry : kEntries)
        if (entry.type == type && entry.action == action)
            return entry.message;
    return 0;
}

bool CPlaybackControl::IsControlMessage(uint32_t message) {
    return find(message) != nullptr;
}

std::optional<ClosedMediaType> CPlaybackControl::Handle(uint32_t message, uintptr_t wParam) {
    const Entry* entry = find(message);
    if (entry == nullptr)
        return std::nullopt;
    const DmpVellumoApi& api = m_instances.Api();
    const uint32_t type = entry->type;
    DmpVellumoInfo* instance = m_instances.FindInstanceFor(type);
    // Both ends of a drag clear the busy flag even when nothing plays the
    // type any more, or the refreshes would stay held back.
    if (entry->action == Action::Seek) {
        endSeek(type, instance, static_cast<uint32_t>(wParam));
        return std::nullopt;
    }
    if (entry->action == Action::Volume) {
        m_isBusy = false;
        if (instance != nullptr)
            DmpCallOr(api.SetVolume, false, instance, static_cast<int32_t>(wParam));
        return std::nullopt;
    }
    if (instance == nullptr)
        return std::nullopt;
    const auto value = static_cast<int32_t>(wParam);
    switch (entry->action) {
    case Action::Next:
        DmpCallOr(api.PlayNext, false, instance, type);
        break;
    case Action::Prev:
        DmpCallOr(api.PlayPrev, false, instance, type);
        break;
    case Action::Pause:
        DmpCallOr(api.Pause, false, instance, type);
        break;
    case Action::Resume:
        DmpCallOr(api.Resume, false, instance, type);
        break;
    case Action::VolumeUp:
        DmpCallOr(api.SetVolume, false, instance, DmpCallOr(api.GetVolume, 0, instance) + 1);
        break;
    case Action::VolumeDown:
        DmpCallOr(api.SetVolume, false, instance, DmpCallOr(api.GetVolume, 0, instance) - 1);
        break;
    case Action::Repeat:
        DmpCallOr(api.SetRepeat, false, instance, type, value);
        break;
    case Action::Close: {
        const uint32_t remaining = m_instances.PlayingType(instance) & ~type;
        if (api.Close != nullptr)
            api.Close(instance, type);
        // With nothing left the library has ended the instance itself.
        if (remaining == 0)
            m_instances.Remove(instance);
        return ClosedMediaType{instance, remaining};
    }
    case Action::SeekTrack:
        beginSeek(type, instance);
        break;
    case Action::VolumeTrack:
        // Every other step of a drag reaches the Box: enough to follow the
        // slider without flooding the link.
        m_isBusy = true;
        if (value % 2 != 0)
            DmpCallOr(api.SetVolume, false, instance, value);
        break;
    case Action::Mute:
        DmpCallOr(api.SetVolume, false, instance, kMuteVolume);
        break;
    case Action::Seek:
    case Action::Volume:
        break;
    }
    return std::nullopt;
}

const wchar_t* CPlaybackControl::currentName(uint32_t type, DmpVellumoInfo* instance) const {
    const DmpVellumoApi& api = m_instances.Api();
    const wchar_t* const kNoName = nullptr;
    return type == DMP_TYPE_VIDEO ? DmpCallOr(api.GetCurPlayingVideoName, kNoName, instance)
                                  : DmpCallOr(api.GetCurPlayingAudioName, kNoName, instance);
}

const wchar_t*& CPlaybackControl::seekMemory(uint32_t type) {
    return type == DMP_TYPE_VIDEO ? m_videoSeekName : m_audioSeekName;
}

void CPlaybackControl::beginSeek(uint32_t type, DmpVellumoInfo* instance) {
    const wchar_t*& memory = seekMemory(type);
    if (memory != nullptr)
        return;
    m_isBusy = true;
    memory = currentName(type, instance);
}

void CPlaybackControl::endSeek(uint32_t type, DmpVellumoInfo* instance, uint32_t seconds) {
    const wchar_t*& memory = seekMemory(type);
    if (instance != nullptr && currentName(type, instance) == memory)
        DmpCallOr(m_instances.Api().SeekFileByTime, false, instance, seconds);
    memory = nullptr;
    m_isBusy = false;
}
