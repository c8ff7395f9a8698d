#pragma once

#include "RendererPlayList.h"
#include "dmp_vellumo.h"
#include "upnp/CAvRenderer.h"

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

class CMediaServer;

// One playback on a standard renderer, behind the same calls as a Box's
// library handle: a drop's lists sorted by type, one type played (a renderer
// has one transport), the queue and the photo slideshow kept here, the
// renderer driven and followed from a worker thread of the player's own, and
// the same notifications posted to the host window.
//
// The owner calls every public member from one thread (the user interface
// thread), as with the library. Notifications are posted from the worker
// and, for a player displaced by another on the same renderer, from the
// owner's thread, never after the destructor returns.
class CRendererPlayer : private CAvRendererObserver {
public:
    static constexpr std::chrono::milliseconds kDefaultPhotoInterval{5000};

    // location: the renderer's description; window: where notifications go
    // (not owned; null posts nothing).
    CRendererPlayer(std::string location, DmpHostWindow* window,
                    std::chrono::milliseconds photoInterval = kDefaultPhotoInterval);
    ~CRendererPlayer() override;
    CRendererPlayer(const CRendererPlayer&) = delete;
    CRendererPlayer& operator=(const CRendererPlayer&) = delete;

    // The mask of the non-empty lists read from the play list at path.
    uint32_t FilesType(const std::wstring& path);
    // Plays the lists of path (read again unless FilesType read that path
    // last): video, else music, else photos. Connects on the worker;
    // DMP_WM_CONNECTED or DMP_WM_ERROR follows.
    bool PlayFile(const std::wstring& path);
    bool FileList(uint32_t mask, const std::vector<std::wstring>** list) const;
    // Joins list to what plays of mask: position 0 in front, restarting
    // there; else at the end, entries that are queued already skipped.
    bool Merge(const std::vector<std::wstring>& list, uint32_t mask, int32_t position);
    void ClearLists(uint32_t mask);
    // Ends what plays of mask; whether nothing is left.
    bool Close(uint32_t mask);

    bool Next(uint32_t mask);
    bool Previous(uint32_t mask);
    bool Pause(uint32_t mask);
    bool Resume(uint32_t mask);
    bool SetRepeat(uint32_t mask, int32_t mode);
    bool Seek(uint32_t seconds);
    // 0 to MaxVolume(), or -1: mute toggled.
    bool SetVolume(int32_t volume);

    uint32_t PlayingType() const;
    int32_t TotalSeconds() const;
    int32_t ElapsedSeconds() const;
    // Bit 31 set while muted.
    int32_t Volume() const;
    int32_t MaxVolume() const;
    int32_t Count(uint32_t type) const;
    int32_t Index(uint32_t type) const;
    // Valid until the type's list is closed or the player ends: entries
    // are only added, at either end.
    const wchar_t* Name(uint32_t type) const;
    bool IsPaused(uint32_t type) const;
    int32_t RepeatMode(uint32_t type) const;

    // The entries of what plays whose types the renderer does not list
    // among those it plays (traced with their types); set once connected.
    std::vector<std::wstring> UnplayableFiles() const;

    // Another player took the renderer's transport: this one ends as if its
    // list had played out.
    void Displaced();
    const std::string& Location() const { return m_location; }

private:
    using Task = std::function<void()>;

    // CAvRendererObserver, on the renderer's thread: handed to the worker.
    void TransportChanged(const RendererTransport& transport) override;
    void ActionFailed(const std::string& action, int upnpErrorCode,
                      const std::string& text) override;
    void RendererLost(const std::string& why) override;

    void post(uint32_t message, intptr_t lParam) const;
    void enqueue(Task task);
    bool setPaused(uint32_t mask, bool isPaused);
    void workerMain();

    // Worker only.
    void connect();
    void startCurrent();
    void followTransport(const RendererTransport& transport);
    void advance(int step, bool isByUser);
    void finish();
    void queueNextMedia();
    // An entry on the media server: what the renderer is given, and the
    // path it is published under.
    struct Published {
        RendererMedia media;
        std::string urlPath;
    };
    std::optional<Published> publish(const std::wstring& path);

    // Under m_mutex: the entry after index going by the repeat mode, or -1.
    int32_t followingIndex(int32_t index, int step, bool isByUser) const;
    bool isActive(uint32_t mask) const;

    const std::string m_location;
    DmpHostWindow* const m_window;
    const std::chrono::milliseconds m_photoInterval;

    // Owner's thread only.
    RendererPlayList m_lists;
    std::wstring m_listedPath;

    mutable std::mutex m_mutex; // guards everything below to the next blank line
    uint32_t m_playingType = 0;
    std::deque<std::wstring> m_playing;
    int32_t m_index = -1;
    int32_t m_repeat[3] = {0, 0, 0}; // video, image, audio
    bool m_isPaused = false;
    int32_t m_totalSeconds = 0;
    int32_t m_elapsedSeconds = 0;
    int32_t m_volume = 0;
    int32_t m_maxVolume = 0;
    bool m_isMuted = false;
    std::vector<std::wstring> m_unplayable;
    std::deque<Task> m_tasks;
    bool m_isStopping = false;
    std::optional<std::chrono::steady_clock::time_point> m_slideDue;

    std::condition_variable m_wake;
    std::thread m_worker;

    // Worker only.
    std::unique_ptr<CAvRenderer> m_renderer;
    std::shared_ptr<CMediaServer> m_server;
    std::string m_currentUri;
    std::string m_currentPath; // the published path of the current entry
    std::string m_nextUri;
    std::string m_nextPath;
    int32_t m_nextIndex = -1;
    bool m_hasPlayedCurrent = false;
    bool m_isStoppedByUs = false;
    bool m_isLost = false;
};
