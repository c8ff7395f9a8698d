#include "DmpVellumoInfo.h"

#include "DebugPrint.h"
#include "MediaClassifier.h"
#include "PlayListFile.h"
#include "PlayListWriter.h"
#include "Unicode.h"

#include <cstdio>
#include <optional>
#include <unordered_set>

namespace {

constexpr uint32_t kDeviceBits =
    DMP_TYPE_UPGRADE | DMP_TYPE_WIDI | DMP_TYPE_QUERY | DMP_TYPE_WFD_PIN | DMP_TYPE_WFD_PBC;

} // namespace

DmpVellumoInfo::DmpVellumoInfo(std::string address, int32_t port, DmpHostWindow* window)
    : m_address(std::move(address)), m_port(port), m_window(window) {}

DmpVellumoInfo::~DmpVellumoInfo() {
    closeLink(m_video);
    closeLink(m_audio);
    closeLink(m_image);
    closeLink(m_device);
}

// ---- links -----------------------------------------------------------------

DmpVellumoInfo::LinkPtr& DmpVellumoInfo::slot(uint32_t mediaBit) {
    switch (mediaBit) {
    case DMP_TYPE_VIDEO:
        return m_video;
    case DMP_TYPE_IMAGE:
        return m_image;
    case DMP_TYPE_AUDIO:
        return m_audio;
    default:
        return m_device;
    }
}

CDmpVellumo* DmpVellumoInfo::linkOf(uint32_t mediaBit) const {
    return const_cast<DmpVellumoInfo*>(this)->slot(mediaBit).get();
}

CDmpVellumo* DmpVellumoInfo::firstLink(uint32_t mask) const {
    for (uint32_t bit : {DMP_TYPE_VIDEO, DMP_TYPE_IMAGE, DMP_TYPE_AUDIO})
        if ((mask & bit) != 0 && linkOf(bit) != nullptr)
            return linkOf(bit);
    return nullptr;
}

CDmpVellumo* DmpVellumoInfo::timeLink() const {
    return m_video ? m_video.get() : m_audio.get();
}

CDmpVellumo* DmpVellumoInfo::activeLink(uint32_t mediaBit) const {
    return (m_activeMask.load() & mediaBit) != 0 ? linkOf(mediaBit) : nullptr;
}

CDmpVellumo* DmpVellumoInfo::createLink(LinkPtr& slot) {
    auto link = std::make_shared<CDmpVellumo>();
    link->AddObserver(this);
    std::lock_guard lock(m_linksMutex);
    slot = std::move(link);
    return slot.get();
}

bool DmpVellumoInfo::openLink(CDmpVellumo* link) {
    return link->OpenConnection(m_address.c_str(), m_port, IsAsync());
}

// Detaches the link under the mutex, then closes it without: closing waits
// for the link's threads, which may be waiting for the mutex in a callback.
void DmpVellumoInfo::closeLink(LinkPtr& slot) {
    LinkPtr link;
    {
        std::lock_guard lock(m_linksMutex);
        link = std::move(slot);
    }
    if (!link)
        return;
    link->RemoveObserver(this);
    link->CloseConnection();
}

bool DmpVellumoInfo::isOwnLink(const CDmpVellumo* link) const {
    return link != nullptr && (link == m_video.get() || link == m_image.get() ||
                               link == m_audio.get() || link == m_device.get());
}

bool DmpVellumoInfo::OpenLinks(uint32_t mask) {
    if (mask == 0)
        return false;
    closeLink(m_video);
    closeLink(m_audio);
    closeLink(m_image);
    closeLink(m_device);

    if ((mask & kDeviceBits) != 0)
        return openLink(createLink(m_device));
    if ((mask & DMP_TYPE_VIDEO) != 0)
        return openLink(createLink(m_video));

    if ((mask & DMP_TYPE_AUDIO) != 0)
        createLink(m_audio);
    bool isImageOpen = false;
    if ((mask & DMP_TYPE_IMAGE) != 0) {
        isImageOpen = openLink(createLink(m_image));
        // The audio link follows once the image link is connected.
        if (IsAsync())
            return isImageOpen;
        if (!isImageOpen)
            return false;
    }
    if (m_audio)
        return openLink(m_audio.get());
    return isImageOpen;
}

DmpVellumoInfo::Playback DmpVellumoInfo::playback(uint32_t mask) const {
    return Playback{mask, m_video, m_image, m_audio, m_videoList, m_imageList, m_audioList};
}

bool DmpVellumoInfo::startPlayback(const Playback& playback) {
    auto play = [](CDmpVellumo& link, const DmpMediaList& list, DmpMediaType mediaType) {
        return link.AddSharedFiles(list.Shared(), -1) && link.Play(mediaType);
    };
    if ((playback.mask & DMP_TYPE_VIDEO) != 0 && playback.video)
        return play(*playback.video, playback.videoList, kMediaTypeVideo);
    if ((playback.mask & DMP_TYPE_IMAGE) != 0 && playback.image &&
        !play(*playback.image, playback.imageList, kMediaTypeImage))
        return false;
    if ((playback.mask & DMP_TYPE_AUDIO) != 0 && playback.audio)
        return play(*playback.audio, playback.audioList, kMediaTypeAudio);
    return true;
}

void DmpVellumoInfo::CloseLinks(uint32_t mask) {
    for (uint32_t bit : {DMP_TYPE_VIDEO, DMP_TYPE_AUDIO, DMP_TYPE_IMAGE}) {
        if ((mask & bit) == 0 || !linkOf(bit))
            continue;
        closeLink(slot(bit));
        m_activeMask &= ~bit;
    }
    if ((mask & kDeviceBits) != 0 && m_device) {
        closeLink(m_device);
        m_activeMask &= ~kDeviceBits;
    }
}

// ---- play flow -------------------------------------------------------------

uint32_t DmpVellumoInfo::listMask() const {
    return (m_videoList.IsEmpty() ? 0 : DMP_TYPE_VIDEO) |
           (m_imageList.IsEmpty() ? 0 : DMP_TYPE_IMAGE) |
           (m_audioList.IsEmpty() ? 0 : DMP_TYPE_AUDIO);
}

bool DmpVellumoInfo::PlayFile(const std::wstring& path) {
    const uint32_t mask = path != m_lastClassifiedPath ? GetFilesType(path) : listMask();
    m_activeMask = mask;
    if (mask == 0)
        return false;
    if (IsAsync())
        return OpenLinks(mask);
    return OpenLinks(mask) && startPlayback(playback(mask));
}

bool DmpVellumoInfo::Upgrade(const char* url) {
    {
        std::lock_guard lock(m_linksMutex);
        m_upgradeUrl = url ? url : "";
    }
    return SwitchDevice(DMP_TYPE_UPGRADE);
}

bool DmpVellumoInfo::SwitchDevice(uint32_t operation) {
    m_activeMask = operation;
    if (!OpenLinks(operation))
        return false;
    if (IsAsync())
        return true;
    return runDeviceOperation(deviceOperation());
}

DmpVellumoInfo::DeviceOperation DmpVellumoInfo::deviceOperation() const {
    return DeviceOperation{m_activeMask.load(), m_device, m_upgradeUrl};
}

bool DmpVellumoInfo::runDeviceOperation(const DeviceOperation& operation) {
    CDmpVellumo& link = *operation.link;
    switch (operation.operation) {
    case DMP_TYPE_UPGRADE:
        return link.Upgrade(operation.url.c_str());
    case DMP_TYPE_WIDI:
        return link.SwitchToWiDi();
    case DMP_TYPE_WFD_PIN:
        return link.SwitchToWfdPIN();
    case DMP_TYPE_WFD_PBC:
        return link.SwitchToWfdPBC();
    default:
        return false;
    }
}

bool DmpVellumoInfo::GetBoxVersion(int32_t& major, int32_t& minor, int32_t& reserved,
                                   int32_t& build) {
    m_activeMask = DMP_TYPE_QUERY;
    if (!OpenLinks(DMP_TYPE_QUERY))
        return false;
    dmpwire::BoxVersion version;
    const bool isSent = m_device->GetBoxVersion(version);
    major = version.major;
    minor = version.minor;
    reserved = 0;
    build = version.build;
    return isSent;
}

uint64_t DmpVellumoInfo::GetCurAdapterMacAddr() {
    m_activeMask = DMP_TYPE_QUERY;
    if (!OpenLinks(DMP_TYPE_QUERY))
        return 0;
    return m_device->GetCurAdapterMacAddr();
}

// ---- playback control and state ----------------------------------------------

bool DmpVellumoInfo::onFirstLink(uint32_t mask, bool (CDmpVellumo::*command)()) {
    CDmpVellumo* target = firstLink(mask);
    return target && (target->*command)();
}

bool DmpVellumoInfo::PlayNext(uint32_t mask) {
    return onFirstLink(mask, &CDmpVellumo::Next);
}

bool DmpVellumoInfo::PlayPrev(uint32_t mask) {
    return onFirstLink(mask, &CDmpVellumo::Prev);
}

bool DmpVellumoInfo::Pause(uint32_t mask) {
    return onFirstLink(mask, &CDmpVellumo::Pause);
}

bool DmpVellumoInfo::Resume(uint32_t mask) {
    return onFirstLink(mask, &CDmpVellumo::Resume);
}

bool DmpVellumoInfo::SetRepeat(uint32_t mask, int32_t repeat) {
    CDmpVellumo* target = firstLink(mask);
    return target && target->SetRepeat(repeat);
}

bool DmpVellumoInfo::SeekByTime(uint32_t time) {
    CDmpVellumo* video = linkOf(DMP_TYPE_VIDEO);
    if (video && video->Seek(time))
        return true;
    CDmpVellumo* audio = linkOf(DMP_TYPE_AUDIO);
    return audio && audio->Seek(time);
}

bool DmpVellumoInfo::SetVolume(int32_t volume) {
    auto apply = [volume](CDmpVellumo* target) {
        return target && (volume == -1 ? target->Mute() : target->SetVolume(volume));
    };
    return apply(linkOf(DMP_TYPE_VIDEO)) || apply(linkOf(DMP_TYPE_AUDIO));
}

int32_t DmpVellumoInfo::ofTimeLink(int32_t (CDmpVellumo::*state)() const) const {
    CDmpVellumo* target = timeLink();
    return target ? (target->*state)() : 0;
}

int32_t DmpVellumoInfo::TotalDuration() const {
    return ofTimeLink(&CDmpVellumo::TotalDuration);
}

int32_t DmpVellumoInfo::CurrentPosition() const {
    return ofTimeLink(&CDmpVellumo::CurrentPosition);
}

int32_t DmpVellumoInfo::Volume() const {
    return ofTimeLink(&CDmpVellumo::Volume);
}

int32_t DmpVellumoInfo::MaxVolume() const {
    return ofTimeLink(&CDmpVellumo::MaxVolume);
}

int32_t DmpVellumoInfo::PlayListCount(uint32_t mediaBit) const {
    CDmpVellumo* target = activeLink(mediaBit);
    return target ? target->PlayListCount() : 0;
}

int32_t DmpVellumoInfo::CurrentIndex(uint32_t mediaBit) const {
    CDmpVellumo* target = activeLink(mediaBit);
    return target ? target->CurrentIndex() : -1;
}

const wchar_t* DmpVellumoInfo::CurrentName(uint32_t mediaBit) const {
    CDmpVellumo* target = activeLink(mediaBit);
    return target ? target->CurrentName() : nullptr;
}

bool DmpVellumoInfo::IsPaused(uint32_t mediaBit) const {
    CDmpVellumo* target = activeLink(mediaBit);
    return target && target->IsPaused();
}

int32_t DmpVellumoInfo::RepeatStatus(uint32_t mediaBit) const {
    CDmpVellumo* target = linkOf(mediaBit);
    return target ? target->RepeatStatus() : 0;
}

// ---- media lists -----------------------------------------------------------

uint32_t DmpVellumoInfo::GetFilesType(const std::wstring& path) {
    const uint32_t type = Classify(path);
    if (type == kMediaNone)
        return 0;
    // A single media file is read as a one-line play list.
    std::wstring listPath = path;
    std::optional<std::string> temporary;
    if (type != kMediaPlayList) {
        temporary = kvu::WriteTemporaryPlayList({path});
        listPath = temporary ? kvu::FromUtf8(*temporary) : std::wstring();
    }
    MediaLists lists;
    const bool isParsed = !listPath.empty() && ParsePlayList(listPath, lists);
    if (temporary)
        std::remove(temporary->c_str());
    {
        std::lock_guard lock(m_linksMutex);
        m_videoList.Replace(std::move(lists.video));
        m_imageList.Replace(std::move(lists.image));
        m_audioList.Replace(std::move(lists.audio));
    }
    if (!isParsed)
        return 0;
    const uint32_t mask = listMask();
    if (mask != 0)
        m_lastClassifiedPath = path;
    return mask;
}

DmpMediaList* DmpVellumoInfo::GetFileList(uint32_t mask) {
    for (auto [bit, list] :
         {std::pair{DMP_TYPE_VIDEO, &m_videoList}, std::pair{DMP_TYPE_IMAGE, &m_imageList},
          std::pair{DMP_TYPE_AUDIO, &m_audioList}})
        if ((mask & bit) != 0 && !list->IsEmpty())
            return list;
    return nullptr;
}

bool DmpVellumoInfo::MergeFileList(const DmpMediaList& list, uint32_t mask, int32_t position) {
    if (mask == 0 || GetFileList(mask) == nullptr)
        return false;
    const uint32_t bit = (mask & DMP_TYPE_VIDEO)   ? DMP_TYPE_VIDEO
                         : (mask & DMP_TYPE_IMAGE) ? DMP_TYPE_IMAGE
                                                   : DMP_TYPE_AUDIO;
    CDmpVellumo* target = linkOf(bit);
    const std::shared_ptr<const DmpMediaList::Paths> offered = list.Shared();
    if (target == nullptr || !offered)
        return target == nullptr;
    // Appended entries that are queued already are skipped (those put in
    // front play again from there), and no merge grows the list past
    // DMP_MAX_QUEUED_ENTRIES; a link not yet started will play the handle's
    // own list of its type.
    std::unordered_set<std::wstring> queued;
    const int32_t count = target->PlayListCount();
    for (int32_t index = 0; index < count; ++index)
        queued.insert(target->PlayListEntry(index));
    if (count == 0)
        if (const DmpMediaList* own = GetFileList(bit); own != nullptr && !own->IsEmpty())
            queued.insert(own->Shared()->begin(), own->Shared()->end());
    const size_t held = std::max(static_cast<size_t>(count), queued.size());
    DmpMediaList::Paths added;
    for (const std::wstring& path : *offered) {
        if (held + added.size() >= DMP_MAX_QUEUED_ENTRIES) {
            DebugPrint("DmpVellumoInfo::MergeFileList(): %d entries queued, the rest is left out\n",
                       DMP_MAX_QUEUED_ENTRIES);
            break;
        }
        if (queued.insert(path).second || position == 0)
            added.push_back(path);
    }
    if (added.empty())
        return true;
    return target->AddSharedFiles(
        added.size() == offered->size()
            ? offered
            : std::make_shared<const DmpMediaList::Paths>(std::move(added)),
        position);
}

void DmpVellumoInfo::ClearPlayList(uint32_t mask) {
    std::lock_guard lock(m_linksMutex);
    if ((mask & DMP_TYPE_VIDEO) != 0)
        m_videoList.Clear();
    if ((mask & DMP_TYPE_IMAGE) != 0)
        m_imageList.Clear();
    if ((mask & DMP_TYPE_AUDIO) != 0)
        m_audioList.Clear();
}

// ---- notifications ---------------------------------------------------------

void DmpVellumoInfo::post(uint32_t message, intptr_t lparam) const {
    if (m_window != nullptr && m_window->post != nullptr)
        m_window->post(m_window->context, message, reinterpret_cast<uintptr_t>(this), lparam);
}

void DmpVellumoInfo::StartUpdates() {
    m_areUpdatesStopped = false;
    m_updateSkipCount = 2;
}

void DmpVellumoInfo::StopUpdates() {
    m_areUpdatesStopped = true;
}

void DmpVellumoInfo::Connected(CDmpVellumo* link) {
    if (!IsAsync())
        return;
    std::optional<DeviceOperation> operation;
    std::optional<Playback> start;
    {
        std::lock_guard lock(m_linksMutex);
        // A link being detached by the caller's thread is no longer ours.
        if (!isOwnLink(link))
            return;
        if (m_device && m_device->AreConnectionsOpen()) {
            operation = deviceOperation();
        } else {
            const bool isVideoConnected = m_video && m_video->AreConnectionsOpen();
            if (!isVideoConnected && m_image && m_audio && !m_audio->AreConnectionsOpen()) {
                // Only queues the connect on the audio link's worker.
                openLink(m_audio.get());
                return;
            }
            post(DMP_WM_CONNECTED, 0);
            start = playback(m_activeMask.load());
        }
    }
    if (operation)
        runDeviceOperation(*operation);
    else
        startPlayback(*start);
}

void DmpVellumoInfo::StatusChanged(CDmpVellumo*) {
    if (m_areUpdatesStopped.load())
        return;
    // Drops one update while the count is above 0.
    int32_t skips = m_updateSkipCount.load();
    while (skips > 0)
        if (m_updateSkipCount.compare_exchange_weak(skips, skips - 1))
            return;
    std::lock_guard lock(m_linksMutex);
    const uint32_t mask = m_activeMask.load();
    if ((mask & DMP_TYPE_VIDEO) != 0 && m_video)
        post(DMP_WM_VIDEO_STATUS, 0);
    if ((mask & DMP_TYPE_IMAGE) != 0 && m_image)
        post(DMP_WM_IMAGE_STATUS, 0);
    if ((mask & DMP_TYPE_AUDIO) != 0 && m_audio)
        post(DMP_WM_AUDIO_STATUS, 0);
}

void DmpVellumoInfo::Closed(CDmpVellumo*) {
    std::lock_guard lock(m_linksMutex);
    for (auto [bits, link] :
         {std::pair{DMP_TYPE_VIDEO, m_video.get()}, std::pair{DMP_TYPE_IMAGE, m_image.get()},
          std::pair{DMP_TYPE_AUDIO, m_audio.get()}, std::pair{kDeviceBits, m_device.get()}})
        if (link == nullptr || !link->AreConnectionsOpen())
            m_activeMask &= ~bits;
    post(DMP_WM_CLOSED, static_cast<intptr_t>(m_activeMask.load()));
}

void DmpVellumoInfo::ErrorOccurred(CDmpVellumo*, int32_t code) {
    post(DMP_WM_ERROR, code);
}
