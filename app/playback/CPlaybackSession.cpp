#include "CPlaybackSession.h"

#include "CStatusWindow.h"
#include "DebugPrint.h"
#include "Unicode.h"
#include "resources/CStringTable.h"

#include <QFileInfo>

#include <algorithm>
#include <unistd.h>
#include <utility>

namespace {

constexpr int kStringBoxLost = 400;
constexpr int kStringStopWaiting = 401;
constexpr int kStringBoxGone = 402;
constexpr int kStringBoxSilent = 403;
constexpr int kStringFileSkipped = 404;
constexpr int kStringFilesSkipped = 405;
constexpr int kStringWaitingForBox = 406;
constexpr int kStringOk = 265;
constexpr int kStringOneTransport = 620;
// What is said of a Box, said of a TV or speaker.
constexpr std::pair<int, int> kRendererTexts[] = {{kStringBoxLost, 630},
                                                  {kStringBoxGone, 632},
                                                  {kStringBoxSilent, 633},
                                                  {kStringWaitingForBox, 636}};
// The names a notice of skipped files lists; more are counted only.
constexpr size_t kListedSkippedFiles = 5;

uint32_t typeOfRefresh(uint32_t message) {
    return message == DMP_WM_VIDEO_STATUS   ? DMP_TYPE_VIDEO
           : message == DMP_WM_IMAGE_STATUS ? DMP_TYPE_IMAGE
                                            : DMP_TYPE_AUDIO;
}

const wchar_t* currentName(const DmpVellumoApi& api, DmpVellumoInfo* instance, uint32_t type) {
    const wchar_t* const kNone = nullptr;
    switch (type) {
    case DMP_TYPE_VIDEO:
        return DmpCallOr(api.GetCurPlayingVideoName, kNone, instance);
    case DMP_TYPE_IMAGE:
        return DmpCallOr(api.GetCurPlayingImageName, kNone, instance);
    default:
        return DmpCallOr(api.GetCurPlayingAudioName, kNone, instance);
    }
}

bool isReadable(const std::wstring& path) {
    return ::access(kvu::ToUtf8(path).c_str(), R_OK) == 0;
}

} // namespace

CPlaybackSession::CPlaybackSession(const DmpVellumoApi& api, CStatusWindow& statusWindow,
                                   CPlaybackHost& host, PlayTarget target, QString boxName)
    : m_instances(api), m_control(m_instances), m_statusWindow(statusWindow), m_host(host),
      m_target(std::move(target)), m_boxName(std::move(boxName)) {
    m_reconnectTimer.setSingleShot(true);
    QObject::connect(&m_reconnectTimer, &QTimer::timeout, &m_reconnectTimer,
                     [this] { reconnect(); });
}

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
        boxAnswered(instance, typeOfRefresh(message));
        refresh(message, instance);
        break;
    case DMP_WM_CLOSED:
        rebuildOrReturn(instance, static_cast<uint32_t>(lParam));
        break;
    case DMP_WM_ERROR:
        handleError(instance, static_cast<int32_t>(lParam));
        break;
    default:
        break;
    }
    changed();
    return true;
}

PlayRequestOutcome CPlaybackSession::Play(const std::vector<std::wstring>& files, uint32_t poolMask,
                                          Placement placement) {
    if (m_isReconnecting && !files.empty() && poolMask != 0) {
        m_host.ShowMessage(boxText(kStringBoxSilent));
        return PlayRequestOutcome::NoInstance;
    }
    CPlayRequest request(m_instances, m_host);
    const PlayRequestOutcome outcome = request.Play(files, poolMask, placement, m_target);
    took(request, files);
    // A new instance keeps drops off until its playback ends.
    m_host.SetDropsAccepted(outcome != PlayRequestOutcome::Started);
    return outcome;
}

void CPlaybackSession::PlayOpened(const std::vector<std::wstring>& files) {
    if (m_isReconnecting && !files.empty()) {
        m_host.ShowMessage(boxText(kStringBoxSilent));
        return;
    }
    CPlayRequest request(m_instances, m_host);
    const PlayRequestOutcome outcome = request.PlayOpened(files, m_target);
    took(request, files);
    m_host.SetDropsAccepted(outcome != PlayRequestOutcome::Started);
}

void CPlaybackSession::took(const CPlayRequest& request, const std::vector<std::wstring>& files) {
    m_played.Take(request.Record(), files);
    // Said once: after that the user knows.
    if (request.Record().hasLeftOutPhotos && !m_hasToldOneTransport) {
        m_hasToldOneTransport = true;
        m_host.ShowMessage(boxText(kStringOneTransport));
    }
}

QString CPlaybackSession::boxText(int stringId) const {
    if (m_target.isRenderer)
        for (const auto& [boxText, rendererText] : kRendererTexts)
            if (stringId == boxText)
                stringId = rendererText;
    QString text = CStringTable::Get().text(stringId);
    return text.replace(QStringLiteral("%S"), m_boxName);
}

void CPlaybackSession::handleError(DmpVellumoInfo* instance, int32_t linkError) {
    m_host.LinkReported(instance, linkError);
    if (m_target.explainError) {
        if (const QString text = m_target.explainError(instance, linkError); !text.isEmpty()) {
            m_host.ShowMessage(text);
            return;
        }
    }
    if (!m_played.Contains(instance)) {
        // An instance of a device operation (the upgrade): only a link that
        // cannot reach the Box ends what runs.
        if (linkError == DMP_ERROR_CONNECT || linkError == DMP_ERROR_NOT_CONNECTED)
            endPlayback(linkError, false);
        return;
    }
    switch (linkError) {
    case DMP_ERROR_FILE_OPEN:
        noteSkippedFile(instance);
        break;
    case DMP_ERROR_CONNECT:
    case DMP_ERROR_NOT_CONNECTED:
    case DMP_ERROR_SEND:
    case DMP_ERROR_BOX_LOST:
        lost(instance);
        break;
    default:
        // A status that cannot be read leaves playback going.
        break;
    }
}

// The Box moves on by itself; the user learns which files, once per drop.
void CPlaybackSession::noteSkippedFile(DmpVellumoInfo* instance) {
    const std::vector<std::wstring>& skipped = m_played.Skip(instance, isReadable);
    if (skipped.empty())
        return;
    const std::wstring& name = skipped.back();
    DebugPrint("CPlaybackSession: %s cannot be read, skipped\n", kvu::ToUtf8(name).c_str());
    const CStringTable& strings = CStringTable::Get();
    QString body;
    if (skipped.size() == 1) {
        body =
            strings.text(kStringFileSkipped)
                .replace(QStringLiteral("%S"), QFileInfo(QString::fromStdWString(name)).fileName());
    } else {
        QStringList names;
        for (size_t i = 0; i < std::min(skipped.size(), kListedSkippedFiles); ++i)
            names.append(QFileInfo(QString::fromStdWString(skipped[i])).fileName());
        if (skipped.size() > kListedSkippedFiles)
            names.append(QStringLiteral("…"));
        body = strings.text(kStringFilesSkipped)
                   .replace(QStringLiteral("%d"), QString::number(skipped.size()))
                   .replace(QStringLiteral("%S"), names.join(QStringLiteral(", ")));
    }
    m_host.ShowLastingNotice(CPlaybackHost::Notice::FilesSkipped, body, strings.text(kStringOk));
}

void CPlaybackSession::boxAnswered(DmpVellumoInfo* instance, uint32_t type) {
    if (!m_played.Contains(instance))
        return;
    const DmpVellumoApi& api = m_instances.Api();
    const wchar_t* name = currentName(api, instance, type);
    if (const std::optional<int32_t> seek = m_played.TakeSeek(instance, type, name))
        DmpCallOr(api.SeekFileByTime, false, instance, static_cast<uint32_t>(*seek));
    const int32_t elapsed =
        type == DMP_TYPE_IMAGE ? 0 : DmpCallOr(api.GetCurrentDuration, 0, instance);
    m_played.Seen(instance, type, name, elapsed);
    m_played.Answered(instance);
    const bool isAnyWaiting =
        !m_waitingLists.empty() ||
        std::any_of(m_instances.All().begin(), m_instances.All().end(),
                    [this](DmpVellumoInfo* other) {
                        return m_played.Contains(other) && !m_played.HasAnswered(other);
                    });
    if (m_isReconnecting && !isAnyWaiting)
        stopReconnecting();
}

void CPlaybackSession::lost(DmpVellumoInfo* instance) {
    const bool hasPlayed = m_played.HasAnswered(instance) || m_played.IsResuming(instance);
    if (!hasPlayed && !m_isReconnecting) {
        // A drop while the Box is down: said at once.
        DebugPrint("CPlaybackSession: the Box does not answer a new play request\n");
        m_instances.Destroy(instance);
        m_host.ShowMessage(boxText(kStringBoxSilent));
        if (m_instances.IsEmpty())
            endPlayback(0, false);
        return;
    }
    DebugPrint("CPlaybackSession: the Box stopped answering\n");
    for (CPlayedLists::Resume& resume : m_played.ResumesOf(instance))
        m_waitingLists.push_back(std::move(resume));
    m_instances.Destroy(instance);
    if (!m_isReconnecting) {
        m_isReconnecting = true;
        m_lostAt = std::chrono::steady_clock::now();
        m_reconnectTries = 0;
        m_statusWindow.ShowWaiting(boxText(kStringWaitingForBox));
        m_host.ShowLastingNotice(CPlaybackHost::Notice::BoxLost, boxText(kStringBoxLost),
                                 CStringTable::Get().text(kStringStopWaiting));
    }
    if (!m_reconnectTimer.isActive())
        scheduleReconnect();
}

void CPlaybackSession::scheduleReconnect() {
    const auto delay =
        kReconnectDelays[std::min(m_reconnectTries, std::size(kReconnectDelays) - 1)];
    if (std::chrono::steady_clock::now() + delay > m_lostAt + kReconnectWindow) {
        giveUp(true);
        return;
    }
    m_reconnectTimer.start(delay);
}

void CPlaybackSession::reconnect() {
    ++m_reconnectTries;
    std::vector<CPlayedLists::Resume> lists = std::move(m_waitingLists);
    m_waitingLists.clear();
    for (CPlayedLists::Resume& resume : lists) {
        CPlayRequest request(m_instances, m_host);
        if (request.PlayType(resume.files, resume.type, m_target) != PlayRequestOutcome::Started) {
            m_waitingLists.push_back(std::move(resume));
            continue;
        }
        m_played.Resumed(request.Record().started.front(), resume);
    }
    // What did not even start waits for the next try; the others tell.
    if (!m_waitingLists.empty()) {
        scheduleReconnect();
        return;
    }
    const bool isAnyTrying =
        std::any_of(m_instances.All().begin(), m_instances.All().end(),
                    [this](DmpVellumoInfo* other) { return m_played.IsResuming(other); });
    if (!isAnyTrying)
        giveUp(true);
}

void CPlaybackSession::stopReconnecting() {
    if (!m_isReconnecting)
        return;
    m_isReconnecting = false;
    m_reconnectTimer.stop();
    m_waitingLists.clear();
    m_statusWindow.ShowWaiting({});
    m_host.EndLastingNotice(CPlaybackHost::Notice::BoxLost);
}

void CPlaybackSession::giveUp(bool hasTimedOut) {
    stopReconnecting();
    endPlayback(0, false);
    if (hasTimedOut)
        m_host.ShowMessage(boxText(kStringBoxGone));
}

void CPlaybackSession::LastingNoticeClosed(CPlaybackHost::Notice kind) {
    if (kind == CPlaybackHost::Notice::BoxLost && m_isReconnecting)
        giveUp(false);
}

void CPlaybackSession::Control(uint32_t mediaType, PlaybackAction action, int32_t value) {
    if (const auto closed = m_control.Handle(mediaType, action, value))
        rebuildOrReturn(closed->instance, closed->remainingTypes);
    changed();
}

void CPlaybackSession::StatusWindowClosed() {
    stopReconnecting();
    endPlayback(0, true);
    changed();
}

void CPlaybackSession::StatusWindowMinimized() {
    m_host.MinimizeMainWindow();
    changed();
}

void CPlaybackSession::changed() {
    m_played.Prune(m_instances);
    if (m_observer != nullptr)
        m_observer->PlaybackChanged(m_instances);
}

void CPlaybackSession::EndAll() {
    stopReconnecting();
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
    // The lists of a lost Box wait in the veiled status window.
    if (m_isReconnecting)
        return;
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
