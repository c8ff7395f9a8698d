#pragma once

#include "CDmpVellumo.h"
#include "CDmpVellumoObserver.h"
#include "DmpMediaList.h"
#include "dmp_vellumo.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

// One instance of the C interface: a Box (address and port) and up to four
// box links, one each for video, image, audio and device control. It observes
// its links and, in asynchronous mode, posts notifications to its host
// window and continues a play or device operation once a link is connected.
//
// Threads: the public operations run on the caller's thread, which alone
// creates and detaches links. The observer callbacks run on link threads;
// they look at the links under m_linksMutex, which the caller's thread takes
// only to detach a link, never while it waits for a link's threads. A
// callback that sends (playback start, device operations) copies what it
// needs under the mutex and sends without it: a Box that does not read must
// not keep Destroy waiting for the mutex. Its copies keep a detached link
// alive, closed, until it is done with it.
class DmpVellumoInfo : public CDmpVellumoObserver {
public:
    DmpVellumoInfo(std::string address, int32_t port, DmpHostWindow* window);
    ~DmpVellumoInfo() override;
    DmpVellumoInfo(const DmpVellumoInfo&) = delete;
    DmpVellumoInfo& operator=(const DmpVellumoInfo&) = delete;

    bool IsAsync() const { return m_window != nullptr; }

    // Play flow and links.
    bool PlayFile(const std::wstring& path);
    bool OpenLinks(uint32_t mask);
    void CloseLinks(uint32_t mask);

    // Playback controls, on the first link of mask that exists, tested
    // video, image, audio; false without one.
    bool PlayNext(uint32_t mask);
    bool PlayPrev(uint32_t mask);
    bool Pause(uint32_t mask);
    bool Resume(uint32_t mask);
    bool SetRepeat(uint32_t mask, int32_t repeat);
    // On the video link, else the audio link. volume -1 mutes.
    bool SeekByTime(uint32_t time);
    bool SetVolume(int32_t volume);

    // Device operations and queries.
    bool Upgrade(const char* url);
    bool SwitchDevice(uint32_t operation);
    // The export's four parts, reserved always 0. Left as they are when the
    // link does not open; zeros when the query could not be sent or the Box
    // did not answer.
    bool GetBoxVersion(int32_t& major, int32_t& minor, int32_t& reserved, int32_t& build);
    uint64_t GetCurAdapterMacAddr();

    // Player state of the video link, else of the audio link; 0 without
    // either.
    int32_t TotalDuration() const;
    int32_t CurrentPosition() const;
    int32_t Volume() const;
    int32_t MaxVolume() const;
    // Of the link of a media bit (0x1, 0x2 or 0x4) while that type is
    // active: 0, -1, null and false otherwise.
    int32_t PlayListCount(uint32_t mediaBit) const;
    int32_t CurrentIndex(uint32_t mediaBit) const;
    const wchar_t* CurrentName(uint32_t mediaBit) const;
    bool IsPaused(uint32_t mediaBit) const;
    // Of the link of a media bit, active or not; 0 without the link.
    int32_t RepeatStatus(uint32_t mediaBit) const;

    // Media lists.
    uint32_t GetFilesType(const std::wstring& path);
    DmpMediaList* GetFileList(uint32_t mask);
    bool MergeFileList(const DmpMediaList& list, uint32_t mask, int32_t position);
    void ClearPlayList(uint32_t mask);

    uint32_t ActiveMask() const { return m_activeMask.load(); }

    void StartUpdates();
    void StopUpdates();

    // CDmpVellumoObserver
    void Connected(CDmpVellumo* link) override;
    void StatusChanged(CDmpVellumo* link) override;
    void Closed(CDmpVellumo* link) override;
    void ErrorOccurred(CDmpVellumo* link, int32_t code) override;

private:
    using LinkPtr = std::shared_ptr<CDmpVellumo>;

    // What starting playback needs, copied so that it runs without the mutex.
    struct Playback {
        uint32_t mask = 0;
        LinkPtr video, image, audio;
        DmpMediaList videoList, imageList, audioList;
    };
    // A device operation of the active mask, copied likewise.
    struct DeviceOperation {
        uint32_t operation = 0;
        LinkPtr link;
        std::string url;
    };

    // The link for one media bit, or null.
    CDmpVellumo* linkOf(uint32_t mediaBit) const;
    // The first link of mask that exists, tested video, image, audio.
    CDmpVellumo* firstLink(uint32_t mask) const;
    // The video link, else the audio link.
    CDmpVellumo* timeLink() const;
    // The link of a media bit when that bit is active, else null.
    CDmpVellumo* activeLink(uint32_t mediaBit) const;
    bool onFirstLink(uint32_t mask, bool (CDmpVellumo::*command)());
    int32_t ofTimeLink(int32_t (CDmpVellumo::*state)() const) const;

    LinkPtr& slot(uint32_t mediaBit);
    CDmpVellumo* createLink(LinkPtr& slot);
    bool openLink(CDmpVellumo* link);
    void closeLink(LinkPtr& slot);
    Playback playback(uint32_t mask) const;
    static bool startPlayback(const Playback& playback);
    DeviceOperation deviceOperation() const;
    static bool runDeviceOperation(const DeviceOperation& operation);
    uint32_t listMask() const;
    bool isOwnLink(const CDmpVellumo* link) const;
    void post(uint32_t message, intptr_t lparam) const;

    const std::string m_address;
    const int32_t m_port;
    DmpHostWindow* const m_window; // null: synchronous

    // Written by the caller's thread under m_linksMutex; read there freely
    // and on link threads under the mutex.
    std::mutex m_linksMutex;
    LinkPtr m_video;
    LinkPtr m_image;
    LinkPtr m_audio;
    LinkPtr m_device;

    // Read by the Connected callback under m_linksMutex.
    DmpMediaList m_videoList;
    DmpMediaList m_imageList;
    DmpMediaList m_audioList;
    std::string m_upgradeUrl;

    std::wstring m_lastClassifiedPath; // the caller's thread only
    std::atomic<uint32_t> m_activeMask{0};
    std::atomic<bool> m_areUpdatesStopped{false};
    std::atomic<int32_t> m_updateSkipCount{0};
};
