#include "CPlaybackControl.h"

namespace {

// The value SetVolume takes as the mute command.
constexpr int32_t kMuteVolume = -1;

} // namespace

bool CPlaybackControl::IsOffered(uint32_t type, PlaybackAction action) {
    using Action = PlaybackAction;
    switch (type) {
    case DMP_TYPE_VIDEO:
        return action != Action::Close;
    case DMP_TYPE_AUDIO:
        return true;
    case DMP_TYPE_IMAGE:
        return action == Action::Next || action == Action::Prev || action == Action::Pause ||
               action == Action::Resume || action == Action::Repeat || action == Action::Close;
    default:
        return false;
    }
}

std::optional<ClosedMediaType> CPlaybackControl::Handle(uint32_t type, PlaybackAction action,
                                                        int32_t value) {
    using Action = PlaybackAction;
    if (!IsOffered(type, action))
        return std::nullopt;
    const DmpVellumoApi& api = m_instances.Api();
    DmpVellumoInfo* instance = m_instances.FindInstanceFor(type);
    // Both ends of a drag clear the busy flag even when nothing plays the
    // type any more, or the refreshes would stay held back.
    if (action == Action::Seek) {
        endSeek(type, instance, static_cast<uint32_t>(value));
        return std::nullopt;
    }
    if (action == Action::Volume) {
        m_isBusy = false;
        if (instance != nullptr)
            DmpCallOr(api.SetVolume, false, instance, value);
        return std::nullopt;
    }
    if (instance == nullptr)
        return std::nullopt;
    switch (action) {
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
    // A step by key has no drag before it: it seeks in what plays now.
    const bool isSameFile = memory == nullptr || currentName(type, instance) == memory;
    if (instance != nullptr && isSameFile)
        DmpCallOr(m_instances.Api().SeekFileByTime, false, instance, seconds);
    memory = nullptr;
    m_isBusy = false;
}
