#include "CPlaybackSession.h"

#include "CPlaybackHost.h"
#include "CStatusWindow.h"
#include "DebugPrint.h"

CPlaybackSession::CPlaybackSession(const DmpVellumoApi& api, CStatusWindow& statusWindow,
                                   CPlaybackHost& host, PlayTarget target)
    : m_instances(api), m_control(m_instances), m_statusWindow(statusWindow), m_host(host),
      m_target(std::move(target)) {}

CPlaybackSession::~CPlaybackSession() {
    m_instances.DestroyAll();
}

bool CPlaybackSession::HandleLibraryMessage(uint32_t message, uintptr_t wParam, intptr_t lParam) {
    if (message < DMP_WM_CONNECTED || message > DMP_WM_ERROR)
        return false;
    auto* instance = reinterpret_cast<DmpVellumoInfo*>(wParam);
    if (!m_instances.Contains(instance)) {
        DebugPrint("CPlaybackSession: message %u for an instance that has ended\n", message);
        changed();
        return true;
    }
    switch (message) {
    case DMP_WM_CONNECTED:
        showStatusWindow(instance);
        break;
    case DMP_WM_VIDEO_STATUS:
    case DMP_WM_IMAGE_STATUS:
    case DMP_WM_AUDIO_STATUS:
        refresh(message, instance);
        break;
    case DMP_WM_CLOSED:
        rebuildOrReturn(instance, static_cast<uint32_t>(lParam));
        break;
    case DMP_WM_ERROR:
        // Only a link that cannot reach the Box ends playback; a file that
        // cannot be opened or a status that cannot be read leaves it going.
        if (lParam == DMP_ERROR_CONNECT || lParam == DMP_ERROR_NOT_CONNECTED)
            endPlayback(static_cast<int32_t>(lParam), false);
        break;
    default:
        break;
    }
    changed();
    return true;
}

PlayRequestOutcome CPlaybackSession::Play(const std::vector<std::wstring>& files, uint32_t poolMask,
                                          Placement placement) {
    CPlayRequest request(m_instances, m_host);
    const PlayRequestOutcome outcome = request.Play(files, poolMask, placement, m_target);
    // A new instance keeps drops off until its playback ends.
    m_host.SetDropsAccepted(outcome != PlayRequestOutcome::Started);
    return outcome;
}

void CPlaybackSession::PlayOpened(const std::vector<std::wstring>& files) {
    CPlayRequest request(m_instances, m_host);
    m_host.SetDropsAccepted(request.PlayOpened(files, m_target) != PlayRequestOutcome::Started);
}

void CPlaybackSession::Control(uint32_t mediaType, PlaybackAction action, int32_t value) {
    if (const auto closed = m_control.Handle(mediaType, action, value))
        rebuildOrReturn(closed->instance, closed->remainingTypes);
    changed();
}

void CPlaybackSession::StatusWindowClosed() {
    endPlayback(0, true);
    changed();
}

void CPlaybackSession::StatusWindowMinimized() {
    m_host.MinimizeMainWindow();
    changed();
}

void CPlaybackSession::changed() {
    if (m_observer != nullptr)
        m_observer->PlaybackChanged(m_instances);
}

void CPlaybackSession::EndAll() {
    m_instances.DestroyAll();
    m_statusWindow.Destroy();
}

void CPlaybackSession::ShowPlayback() {
    if (RestoreStatusWindow())
        m_statusWindow.Raise();
    else
        m_host.ShowMainWindow(CPlaybackHost::ShowHow::Restore);
}

bool CPlaybackSession::RestoreStatusWindow() {
    if (!m_statusWindow.Exists() || !m_statusWindow.HasStarted())
        return false;
    m_statusWindow.Show();
    m_host.HideMainWindow();
    return true;
}

uint32_t CPlaybackSession::PlayControlPoolMask() const {
    return m_statusWindow.Types() == DMP_TYPE_VIDEO ? kVideoPoolMask : kPhotoMusicPoolMask;
}

void CPlaybackSession::createStatusWindow(uint32_t types, bool isImageStatusReapplied) {
    m_statusWindow.Create(types);
    if (isImageStatusReapplied)
        m_statusWindow.ReapplyImageStatus();
    m_statusWindow.Show();
}

void CPlaybackSession::showStatusWindow(DmpVellumoInfo* instance) {
    uint32_t types = m_instances.PlayingType(instance);
    if (types == 0)
        return;
    // Video plays alone; photos and music of other instances share the window.
    if (types != DMP_TYPE_VIDEO)
        for (DmpVellumoInfo* other : m_instances.All()) {
            if (other == instance)
                continue;
            const uint32_t otherTypes = m_instances.PlayingType(other);
            if ((otherTypes & DMP_TYPE_VIDEO) == 0 && (otherTypes & ~types) != 0)
                types |= otherTypes;
        }
    m_host.HideMainWindow();
    createStatusWindow(types, (types & DMP_TYPE_IMAGE) != 0);
}

void CPlaybackSession::refresh(uint32_t message, DmpVellumoInfo* instance) {
    const DmpVellumoApi& api = m_instances.Api();
    // A dragged slider keeps its own position until released; photos have none.
    if (message == DMP_WM_IMAGE_STATUS)
        m_statusWindow.UpdateImage(ReadImageStatus(api, instance));
    else if (m_control.IsBusy())
        return;
    else if (message == DMP_WM_VIDEO_STATUS)
        m_statusWindow.UpdateVideo(ReadVideoStatus(api, instance));
    else
        m_statusWindow.UpdateAudio(ReadAudioStatus(api, instance));
}

void CPlaybackSession::rebuildOrReturn(DmpVellumoInfo* instance, uint32_t mask) {
    if (instance == nullptr || m_control.IsBusy())
        return;
    // A type closed from its panel may have ended the instance already.
    if (mask == 0 && m_instances.Contains(instance))
        m_instances.Destroy(instance);
    if (!m_instances.IsEmpty()) {
        const uint32_t types = m_instances.UnionOfPlayingTypes();
        if (types == 0)
            return;
        m_control.SetBusy(true);
        createStatusWindow(types, types == DMP_TYPE_IMAGE);
        m_control.SetBusy(false);
        return;
    }
    m_host.EndModalBoxes(0);
    m_statusWindow.Destroy();
    m_host.ShowMainWindow(CPlaybackHost::ShowHow::Normal);
    m_host.SetDropsAccepted(true);
}

void CPlaybackSession::endPlayback(int32_t linkError, bool isRestore) {
    if (linkError != 0)
        m_host.EndModalBoxes(linkError);
    m_statusWindow.Destroy();
    m_instances.DestroyAll();
    m_host.ShowMainWindow(isRestore ? CPlaybackHost::ShowHow::Restore
                                    : CPlaybackHost::ShowHow::Normal);
    m_host.SetDropsAccepted(true);
}
