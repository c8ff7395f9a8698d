#include "CRendererPlayer.h"

#include "DebugPrint.h"
#include "RendererApi.h"
#include "SharedMediaServer.h"
#include "Unicode.h"
#include "server/CMediaServer.h"

#include <algorithm>
#include <pthread.h>
#include <random>
#include <sys/stat.h>
#include <unistd.h>
#include <unordered_set>

namespace {

constexpr size_t kVideo = 0;
constexpr size_t kImage = 1;
constexpr size_t kAudio = 2;

// Repeat modes as the panels send them: video and music know "one", photos
// do not.
constexpr int32_t kTimedRepeatOne = 1;
constexpr int32_t kTimedRepeatAll = 2;
constexpr int32_t kTimedShuffle = 3;
constexpr int32_t kPhotoRepeatAll = 1;
constexpr int32_t kPhotoShuffle = 2;

constexpr uint32_t kMutedBit = 0x80000000u;

size_t slotOf(uint32_t type) {
    return type == DMP_TYPE_VIDEO ? kVideo : type == DMP_TYPE_IMAGE ? kImage : kAudio;
}

uint32_t statusMessageOf(uint32_t type) {
    return type == DMP_TYPE_VIDEO   ? DMP_WM_VIDEO_STATUS
           : type == DMP_TYPE_IMAGE ? DMP_WM_IMAGE_STATUS
                                    : DMP_WM_AUDIO_STATUS;
}

std::string titleOf(const std::string& path) {
    const size_t slash = path.find_last_of('/');
    std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    const size_t dot = name.find_last_of('.');
    if (dot != std::string::npos && dot > 0)
        name.resize(dot);
    return name;
}

} // namespace

CRendererPlayer::CRendererPlayer(std::string location, DmpHostWindow* window,
                                 std::chrono::milliseconds photoInterval)
    : m_location(std::move(location)), m_window(window), m_photoInterval(photoInterval) {
    m_worker = std::thread([this] {
        pthread_setname_np(pthread_self(), "kvu-renderer");
        workerMain();
    });
}

CRendererPlayer::~CRendererPlayer() {
    {
        std::lock_guard lock(m_mutex);
        m_isStopping = true;
    }
    m_wake.notify_all();
    m_worker.join();
    // What the user ended stops on the renderer too; a player displaced
    // has handed the transport on already.
    if (m_renderer && !m_isLost) {
        std::lock_guard lock(m_mutex);
        if (m_playingType != 0)
            m_renderer->Stop();
    }
    m_renderer.reset();
    if (m_server)
        m_server->WithdrawAll();
}

// ---- the owner's calls -----------------------------------------------------

uint32_t CRendererPlayer::FilesType(const std::wstring& path) {
    RendererPlayList lists;
    if (!ReadRendererPlayList(path, lists))
        DebugPrintW(L"CRendererPlayer: %ls cannot be read\n", path.c_str());
    m_lists = std::move(lists);
    m_listedPath = path;
    return (m_lists.video.empty() ? 0 : DMP_TYPE_VIDEO) |
           (m_lists.image.empty() ? 0 : DMP_TYPE_IMAGE) |
           (m_lists.audio.empty() ? 0 : DMP_TYPE_AUDIO);
}

bool CRendererPlayer::PlayFile(const std::wstring& path) {
    if (path != m_listedPath)
        FilesType(path);
    // One transport: video, else music, else photos.
    const uint32_t type = !m_lists.video.empty()   ? DMP_TYPE_VIDEO
                          : !m_lists.audio.empty() ? DMP_TYPE_AUDIO
                          : !m_lists.image.empty() ? DMP_TYPE_IMAGE
                                                   : 0;
    if (type == 0)
        return false;
    std::vector<std::wstring>& list = type == DMP_TYPE_VIDEO   ? m_lists.video
                                      : type == DMP_TYPE_AUDIO ? m_lists.audio
                                                               : m_lists.image;
    {
        std::lock_guard lock(m_mutex);
        if (m_playingType != 0)
            return false;
        m_playingType = type;
        m_playing.assign(list.begin(), list.end());
        m_index = -1;
    }
    if (list.size() != m_lists.video.size() + m_lists.image.size() + m_lists.audio.size())
        DebugPrint(
            "CRendererPlayer: a renderer plays one type at a time; the others are left out\n");
    enqueue([this] { connect(); });
    return true;
}

bool CRendererPlayer::FileList(uint32_t mask, const std::vector<std::wstring>** list) const {
    for (const uint32_t type : {DMP_TYPE_VIDEO, DMP_TYPE_IMAGE, DMP_TYPE_AUDIO}) {
        const std::vector<std::wstring>& candidate = type == DMP_TYPE_VIDEO   ? m_lists.video
                                                     : type == DMP_TYPE_IMAGE ? m_lists.image
                                                                              : m_lists.audio;
        if ((mask & type) != 0 && !candidate.empty()) {
            *list = &candidate;
            return true;
        }
    }
    return false;
}

bool CRendererPlayer::Merge(const std::vector<std::wstring>& list, uint32_t mask,
                            int32_t position) {
    std::unique_lock lock(m_mutex);
    if (!isActive(mask) || list.empty())
        return false;
    const size_t room = static_cast<size_t>(DMP_MAX_QUEUED_ENTRIES) -
                        std::min<size_t>(m_playing.size(), DMP_MAX_QUEUED_ENTRIES);
    if (position == 0) {
        const size_t taken = std::min(room, list.size());
        for (size_t i = taken; i-- > 0;)
            m_playing.push_front(list[i]);
        m_index = 0;
        lock.unlock();
        enqueue([this] { startCurrent(); });
        return true;
    }
    std::unordered_set<std::wstring> queued(m_playing.begin(), m_playing.end());
    size_t added = 0;
    for (const std::wstring& entry : list) {
        if (added == room)
            break;
        if (queued.insert(entry).second) {
            m_playing.push_back(entry);
            ++added;
        }
    }
    lock.unlock();
    if (added != 0)
        enqueue([this] { queueNextMedia(); });
    return true;
}

void CRendererPlayer::ClearLists(uint32_t mask) {
    if ((mask & DMP_TYPE_VIDEO) != 0)
        m_lists.video.clear();
    if ((mask & DMP_TYPE_IMAGE) != 0)
        m_lists.image.clear();
    if ((mask & DMP_TYPE_AUDIO) != 0)
        m_lists.audio.clear();
}

bool CRendererPlayer::Close(uint32_t mask) {
    std::lock_guard lock(m_mutex);
    if (isActive(mask)) {
        // Stopped on the renderer when the player ends.
        m_slideDue.reset();
        return true;
    }
    return m_playingType == 0;
}

bool CRendererPlayer::Next(uint32_t mask) {
    if (!isActive(mask))
        return false;
    enqueue([this] { advance(1, true); });
    return true;
}

bool CRendererPlayer::Previous(uint32_t mask) {
    if (!isActive(mask))
        return false;
    enqueue([this] { advance(-1, true); });
    return true;
}

bool CRendererPlayer::Pause(uint32_t mask) {
    return setPaused(mask, true);
}

bool CRendererPlayer::Resume(uint32_t mask) {
    return setPaused(mask, false);
}

bool CRendererPlayer::setPaused(uint32_t mask, bool isPaused) {
    std::unique_lock lock(m_mutex);
    if (!isActive(mask))
        return false;
    m_isPaused = isPaused;
    // The slideshow is ours: the renderer is not told, the next slide waits.
    const bool isPhoto = m_playingType == DMP_TYPE_IMAGE;
    if (isPaused)
        m_slideDue.reset();
    else if (isPhoto)
        m_slideDue = std::chrono::steady_clock::now() + m_photoInterval;
    lock.unlock();
    m_wake.notify_all();
    if (!isPhoto)
        enqueue([this, isPaused] {
            if (!m_renderer)
                return;
            if (isPaused)
                m_renderer->Pause();
            else
                m_renderer->Play();
        });
    post(statusMessageOf(PlayingType()), 0);
    return true;
}

bool CRendererPlayer::SetRepeat(uint32_t mask, int32_t mode) {
    std::unique_lock lock(m_mutex);
    if (!isActive(mask))
        return false;
    m_repeat[slotOf(m_playingType)] = mode;
    const uint32_t type = m_playingType;
    lock.unlock();
    // What follows the current entry may have changed.
    enqueue([this] { queueNextMedia(); });
    post(statusMessageOf(type), 0);
    return true;
}

bool CRendererPlayer::Seek(uint32_t seconds) {
    if (!isActive(DMP_TYPE_VIDEO | DMP_TYPE_AUDIO))
        return false;
    enqueue([this, seconds] {
        if (m_renderer)
            m_renderer->SeekTo(std::int64_t{seconds} * 1000);
    });
    return true;
}

bool CRendererPlayer::SetVolume(int32_t volume) {
    std::unique_lock lock(m_mutex);
    if (m_playingType == 0)
        return false;
    const bool isMuteToggle = volume < 0;
    const bool isMuted = m_isMuted;
    const int32_t level = std::clamp(volume, 0, std::max(m_maxVolume, 0));
    lock.unlock();
    enqueue([this, isMuteToggle, isMuted, level] {
        if (!m_renderer)
            return;
        if (isMuteToggle) {
            m_renderer->SetMute(!isMuted);
            return;
        }
        if (isMuted)
            m_renderer->SetMute(false);
        m_renderer->SetVolume(level);
    });
    return true;
}

uint32_t CRendererPlayer::PlayingType() const {
    std::lock_guard lock(m_mutex);
    return m_playingType;
}

int32_t CRendererPlayer::TotalSeconds() const {
    std::lock_guard lock(m_mutex);
    return m_totalSeconds;
}

int32_t CRendererPlayer::ElapsedSeconds() const {
    std::lock_guard lock(m_mutex);
    return m_elapsedSeconds;
}

int32_t CRendererPlayer::Volume() const {
    std::lock_guard lock(m_mutex);
    return static_cast<int32_t>(static_cast<uint32_t>(m_volume) | (m_isMuted ? kMutedBit : 0u));
}

int32_t CRendererPlayer::MaxVolume() const {
    std::lock_guard lock(m_mutex);
    return m_maxVolume;
}

int32_t CRendererPlayer::Count(uint32_t type) const {
    std::lock_guard lock(m_mutex);
    return type == m_playingType ? static_cast<int32_t>(m_playing.size()) : 0;
}

int32_t CRendererPlayer::Index(uint32_t type) const {
    std::lock_guard lock(m_mutex);
    return type == m_playingType ? m_index : -1;
}

const wchar_t* CRendererPlayer::Name(uint32_t type) const {
    std::lock_guard lock(m_mutex);
    if (type != m_playingType || m_index < 0 || static_cast<size_t>(m_index) >= m_playing.size())
        return nullptr;
    return m_playing[static_cast<size_t>(m_index)].c_str();
}

bool CRendererPlayer::IsPaused(uint32_t type) const {
    std::lock_guard lock(m_mutex);
    return type == m_playingType && m_isPaused;
}

int32_t CRendererPlayer::RepeatMode(uint32_t type) const {
    std::lock_guard lock(m_mutex);
    return type == m_playingType ? m_repeat[slotOf(type)] : 0;
}

std::vector<std::wstring> CRendererPlayer::UnplayableFiles() const {
    std::lock_guard lock(m_mutex);
    return m_unplayable;
}

void CRendererPlayer::Displaced() {
    {
        std::lock_guard lock(m_mutex);
        if (m_playingType == 0)
            return;
        m_playingType = 0;
        m_slideDue.reset();
    }
    enqueue([this] {
        m_renderer.reset();
        if (m_server)
            m_server->WithdrawAll();
    });
    post(DMP_WM_CLOSED, 0);
}

bool CRendererPlayer::isActive(uint32_t mask) const {
    return (mask & m_playingType) != 0;
}

// ---- the worker ------------------------------------------------------------

void CRendererPlayer::post(uint32_t message, intptr_t lParam) const {
    if (m_window != nullptr && m_window->post != nullptr)
        m_window->post(m_window->context, message, reinterpret_cast<uintptr_t>(this), lParam);
}

void CRendererPlayer::enqueue(Task task) {
    {
        std::lock_guard lock(m_mutex);
        if (m_isStopping)
            return;
        m_tasks.push_back(std::move(task));
    }
    m_wake.notify_all();
}

void CRendererPlayer::workerMain() {
    std::unique_lock lock(m_mutex);
    while (!m_isStopping) {
        if (!m_tasks.empty()) {
            Task task = std::move(m_tasks.front());
            m_tasks.pop_front();
            lock.unlock();
            task();
            lock.lock();
            continue;
        }
        if (m_slideDue && std::chrono::steady_clock::now() >= *m_slideDue) {
            m_slideDue.reset();
            lock.unlock();
            advance(1, false);
            lock.lock();
            continue;
        }
        if (m_slideDue)
            m_wake.wait_until(lock, *m_slideDue);
        else
            m_wake.wait(lock);
    }
}

void CRendererPlayer::connect() {
    std::string error;
    std::unique_ptr<CAvRenderer> renderer = CAvRenderer::Open(m_location, this, &error);
    if (!renderer) {
        DebugPrint("CRendererPlayer: %s\n", error.c_str());
        post(DMP_WM_ERROR, DMP_ERROR_CONNECT);
        return;
    }
    m_server = ShareMediaServer(renderer->LocalAddress(), &error);
    if (!m_server) {
        DebugPrint("CRendererPlayer: no media server: %s\n", error.c_str());
        post(DMP_WM_ERROR, DMP_ERROR_CONNECT);
        return;
    }
    m_renderer = std::move(renderer);
    std::vector<std::wstring> entries;
    {
        std::lock_guard lock(m_mutex);
        entries.assign(m_playing.begin(), m_playing.end());
    }
    // Outside the lock: a name that says nothing makes the MIME database read
    // the file, and the owner's status calls must not wait on that.
    bool isAnyPlayable = false;
    std::vector<std::wstring> unplayable;
    for (const std::wstring& entry : entries) {
        const std::string mimeType = MimeTypeOf(entry);
        if (m_renderer->CanPlay(mimeType)) {
            isAnyPlayable = true;
            continue;
        }
        DebugPrintW(L"CRendererPlayer: %ls: %s is not among the renderer's formats; "
                    L"offered anyway\n",
                    entry.c_str(), mimeType.c_str());
        unplayable.push_back(entry);
    }
    {
        std::lock_guard lock(m_mutex);
        m_maxVolume = m_renderer->VolumeMax();
        m_unplayable = std::move(unplayable);
        if (m_playingType == 0)
            return;
        m_index = 0;
    }
    post(DMP_WM_CONNECTED, 0);
    if (!isAnyPlayable)
        post(DMP_WM_ERROR, kRendererErrorNoPlayableType);
    startCurrent();
}

std::optional<CRendererPlayer::Published> CRendererPlayer::publish(const std::wstring& path) {
    const std::string file = kvu::ToUtf8(path);
    struct stat status {};
    if (::stat(file.c_str(), &status) != 0 || !S_ISREG(status.st_mode) ||
        ::access(file.c_str(), R_OK) != 0)
        return std::nullopt;
    Published published;
    RendererMedia& media = published.media;
    media.mimeType = MimeTypeOf(path);
    published.urlPath = m_server->Publish(file, media.mimeType);
    if (published.urlPath.empty())
        return std::nullopt;
    media.uri = m_server->UrlOf(published.urlPath);
    media.title = titleOf(file);
    media.kind = KindOfMimeType(media.mimeType);
    media.sizeBytes = status.st_size;
    return published;
}

void CRendererPlayer::startCurrent() {
    if (!m_renderer)
        return;
    std::unique_lock lock(m_mutex);
    for (size_t tried = 0; m_playingType != 0 && tried < m_playing.size(); ++tried) {
        if (m_index < 0 || static_cast<size_t>(m_index) >= m_playing.size())
            break;
        const std::wstring path = m_playing[static_cast<size_t>(m_index)];
        const uint32_t type = m_playingType;
        lock.unlock();
        const std::optional<Published> published = publish(path);
        if (!published) {
            DebugPrintW(L"CRendererPlayer: %ls cannot be read, skipped\n", path.c_str());
            post(DMP_WM_ERROR, DMP_ERROR_FILE_OPEN);
            lock.lock();
            const int32_t following = followingIndex(m_index, 1, true);
            if (following < 0)
                break;
            m_index = following;
            continue;
        }
        if (!m_currentPath.empty() && m_currentPath != m_nextPath)
            m_server->Withdraw(m_currentPath);
        if (!m_nextPath.empty())
            m_server->Withdraw(m_nextPath);
        m_currentUri = published->media.uri;
        m_currentPath = published->urlPath;
        m_nextUri.clear();
        m_nextPath.clear();
        m_nextIndex = -1;
        m_hasPlayedCurrent = false;
        m_isStoppedByUs = false;
        m_renderer->SetMedia(published->media);
        m_renderer->Play();
        lock.lock();
        m_isPaused = false;
        m_elapsedSeconds = 0;
        m_totalSeconds = 0;
        if (type == DMP_TYPE_IMAGE)
            m_slideDue = std::chrono::steady_clock::now() + m_photoInterval;
        lock.unlock();
        post(statusMessageOf(type), 0);
        return;
    }
    if (lock.owns_lock())
        lock.unlock();
    finish();
}

int32_t CRendererPlayer::followingIndex(int32_t index, int step, bool isByUser) const {
    const auto count = static_cast<int32_t>(m_playing.size());
    if (count == 0)
        return -1;
    const int32_t mode = m_repeat[slotOf(m_playingType)];
    const bool isPhoto = m_playingType == DMP_TYPE_IMAGE;
    const bool isShuffle = mode == (isPhoto ? kPhotoShuffle : kTimedShuffle);
    const bool isRepeatAll = mode == (isPhoto ? kPhotoRepeatAll : kTimedRepeatAll);
    if (!isPhoto && mode == kTimedRepeatOne && !isByUser)
        return index;
    if (isShuffle && count > 1) {
        static thread_local std::minstd_rand random{std::random_device{}()};
        const auto offset = static_cast<int32_t>(random() % static_cast<uint32_t>(count - 1));
        return (index + 1 + offset) % count;
    }
    if (isRepeatAll)
        return ((index + step) % count + count) % count;
    const int32_t following = index + step;
    if (following < 0)
        return 0;
    return following >= count ? -1 : following;
}

void CRendererPlayer::advance(int step, bool isByUser) {
    bool isPastTheEnd = false;
    {
        std::lock_guard lock(m_mutex);
        if (m_playingType == 0)
            return;
        const int32_t following = followingIndex(m_index, step, isByUser);
        isPastTheEnd = following < 0;
        if (!isPastTheEnd)
            m_index = following;
    }
    if (isPastTheEnd)
        finish();
    else
        startCurrent();
}

void CRendererPlayer::finish() {
    {
        std::lock_guard lock(m_mutex);
        if (m_playingType == 0)
            return;
        m_playingType = 0;
        m_slideDue.reset();
    }
    if (m_server)
        m_server->WithdrawAll();
    post(DMP_WM_CLOSED, 0);
}

// Renderers that take the following entry in advance play it without a gap.
void CRendererPlayer::queueNextMedia() {
    if (!m_renderer || !m_renderer->HasNextMedia() || !m_hasPlayedCurrent)
        return;
    std::unique_lock lock(m_mutex);
    if (m_playingType == 0 || m_playingType == DMP_TYPE_IMAGE || m_index < 0)
        return;
    const int32_t following = followingIndex(m_index, 1, false);
    if (following < 0 || following == m_index || following == m_nextIndex)
        return;
    const std::wstring path = m_playing[static_cast<size_t>(following)];
    lock.unlock();
    const std::optional<Published> published = publish(path);
    if (!published)
        return;
    if (!m_nextPath.empty())
        m_server->Withdraw(m_nextPath);
    m_nextUri = published->media.uri;
    m_nextPath = published->urlPath;
    m_nextIndex = following;
    m_renderer->SetNextMedia(published->media);
}

void CRendererPlayer::followTransport(const RendererTransport& transport) {
    using State = RendererTransport::State;
    std::unique_lock lock(m_mutex);
    const uint32_t type = m_playingType;
    if (type == 0 || !m_renderer)
        return;
    if (transport.volume >= 0)
        m_volume = transport.volume;
    m_isMuted = transport.isMuted;
    const bool isNextPlaying = !m_nextUri.empty() && transport.currentUri == m_nextUri;
    if (isNextPlaying) {
        m_index = m_nextIndex;
        if (m_server && m_currentPath != m_nextPath)
            m_server->Withdraw(m_currentPath);
        m_currentUri = m_nextUri;
        m_currentPath = m_nextPath;
        m_nextUri.clear();
        m_nextPath.clear();
        m_nextIndex = -1;
    }
    const bool isCurrent = transport.currentUri.empty() || transport.currentUri == m_currentUri;
    if (type != DMP_TYPE_IMAGE && isCurrent) {
        m_elapsedSeconds =
            static_cast<int32_t>(std::max<std::int64_t>(transport.positionMs, 0) / 1000);
        m_totalSeconds =
            static_cast<int32_t>(std::max<std::int64_t>(transport.durationMs, 0) / 1000);
        if (transport.state == State::Playing)
            m_isPaused = false;
        else if (transport.state == State::Paused)
            m_isPaused = true;
    }
    const bool hadPlayed = m_hasPlayedCurrent;
    if (transport.state == State::Playing && isCurrent)
        m_hasPlayedCurrent = true;
    const bool hasEnded = type != DMP_TYPE_IMAGE && transport.state == State::Stopped &&
                          hadPlayed && isCurrent && !m_isStoppedByUs;
    lock.unlock();
    post(statusMessageOf(type), 0);
    if (hasEnded) {
        advance(1, false);
        return;
    }
    if (!hadPlayed && m_hasPlayedCurrent)
        queueNextMedia();
    else if (isNextPlaying)
        queueNextMedia();
}

// ---- the renderer's thread -------------------------------------------------

void CRendererPlayer::TransportChanged(const RendererTransport& transport) {
    enqueue([this, transport] { followTransport(transport); });
}

void CRendererPlayer::ActionFailed(const std::string& action, int upnpErrorCode,
                                   const std::string& text) {
    enqueue([this, action, upnpErrorCode, text] {
        DebugPrint("CRendererPlayer: the renderer refused %s: %d %s\n", action.c_str(),
                   upnpErrorCode, text.c_str());
        // A file the renderer will not take (illegal type, not found) is
        // skipped as one that cannot be read.
        const bool isRefusedFile =
            action == "SetAVTransportURI" && (upnpErrorCode == 714 || upnpErrorCode == 716);
        if (isRefusedFile)
            advance(1, true);
    });
}

void CRendererPlayer::RendererLost(const std::string& why) {
    enqueue([this, why] {
        DebugPrint("CRendererPlayer: renderer lost: %s\n", why.c_str());
        m_isLost = true;
        post(DMP_WM_ERROR, DMP_ERROR_BOX_LOST);
    });
}
