#pragma once

#include "CDmpCmdProcessor.h"
#include "CDmpCmdStreamObserver.h"
#include "CDmpDataStreamObserver.h"
#include "CDmpFileSource.h"
#include "CDmpPlayList.h"
#include "CDmpVellumoObserver.h"
#include "DmpCommand.h"
#include "io/CAsyncStreamer.h"
#include "tools/CommandQueue.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

// Error codes a link reports through CDmpVellumoObserver::ErrorOccurred.
enum LinkError : int32_t {
    kLinkErrorNotConnected = -1,
    kLinkErrorFileOpen = -2,
    kLinkErrorConnect = -4,
    kLinkErrorStatusRead = -6,
    kLinkErrorSend = -7,
};

// A box link: the command and data connections to one Box for one purpose
// (video, image, audio or device control). Commands go out on the command
// connection; the Box's status records and file requests come in on the data
// connection, which also carries the file bytes back.
//
// Threads: the caller's; the command-queue worker (asynchronous connect, seek
// replies, file streaming; the only writer of the data connection); the data
// connection's reader (status parsing). A link is never reconnected in place.
class CDmpVellumo {
public:
    CDmpVellumo() = default;
    ~CDmpVellumo();
    CDmpVellumo(const CDmpVellumo&) = delete;
    CDmpVellumo& operator=(const CDmpVellumo&) = delete;

    // Connections.
    bool OpenConnection(const char* host, int32_t port, bool isAsync);
    // Uses two streams that are already connected (another transport, or a
    // scripted peer's) instead of connecting; the link owns them.
    bool AttachStreams(std::unique_ptr<kvu::io::CStreamer> command,
                       std::unique_ptr<kvu::io::CStreamer> data);
    bool ConnectStreams();
    void CloseConnection();
    void AddObserver(CDmpVellumoObserver* observer);
    void RemoveObserver(CDmpVellumoObserver* observer);
    bool AreConnectionsOpen() const;

    // Record framing (little-endian). onCommandConnection picks the command
    // (true) or the data connection. A record goes out whole under its
    // connection's writer lock, whatever other threads send.
    bool SendCmd(bool onCommandConnection, int32_t code, int32_t sequence, int64_t value,
                 bool isOutOfBand, const void* extra, uint32_t extraLength);
    bool RecvCmd(int32_t& sequence, uint8_t (&value)[8]);

    // Playback and device commands.
    bool Play(int32_t mediaType);
    bool Pause();
    bool Resume();
    bool Next();
    bool Prev();
    bool SetRepeat(int32_t repeat);
    bool Restart();
    bool Seek(uint32_t time);
    bool SetVolume(int32_t volume);
    bool Mute();
    bool Upgrade(const char* url);
    bool SwitchToWiDi();
    bool SwitchToWfdPIN();
    bool SwitchToWfdPBC();
    bool GetBoxVersion(int32_t& major, int32_t& minor, int32_t& reserved, int32_t& build);
    uint64_t GetCurAdapterMacAddr();

    // Play list. position -1 (or beyond the end) appends.
    bool AddFiles(const std::vector<std::wstring>& files, int32_t position);
    // The same without a copy: the play list shares files, which must never
    // change.
    bool AddSharedFiles(std::shared_ptr<const CDmpPlayList::Paths> files, int32_t position);
    void SendPlayListFileName();
    bool OpenLocalFile(const std::wstring& path);

    // Player state, readable from any thread.
    int32_t TotalDuration() const { return m_totalDuration.load(); }
    int32_t CurrentPosition() const { return m_currentPosition.load(); }
    int32_t Volume() const { return m_volume.load(); }
    int32_t MaxVolume() const { return m_maxVolume.load(); }
    int32_t RepeatStatus() const { return m_repeatStatus.load(); }
    bool IsPaused() const;
    int32_t PlayListCount();
    bool HasFileProcessor() const { return m_fileProcessor != nullptr; }
    int32_t CurrentIndex() const;
    // Full path of the current entry, owned by the play list (which only
    // grows), or null.
    const wchar_t* CurrentName();
    // A copy of the entry's full path; empty beyond the end.
    std::wstring PlayListEntry(int32_t index);
    int32_t Sequence() const { return m_sequence.load(); }

private:
    friend class CDmpCmdProcessor;
    friend class CDmpDataStreamObserver;

    enum class Notice { Connected, StatusChanged, Closed };
    template <typename Call> void forEachObserver(Call call);
    void notify(Notice notice);
    void notifyError(int32_t code);

    // valueHigh: the play-list count when not given.
    bool sendPlaybackCommand(int32_t code, const char* operation,
                             std::optional<uint32_t> valueHigh = std::nullopt);
    bool sendDeviceCommand(int32_t code, const char* operation);

    // A record on the command connection carrying the current sequence number
    // or the next one, taken under the writer lock so that numbers go out in
    // order.
    enum class SequenceUse { Current, Next };
    bool sendCommand(int32_t code, SequenceUse use, int64_t value, const void* extra = nullptr,
                     uint32_t extraLength = 0);
    // Writes one record's parts; the caller holds the connection's writer
    // lock. mayBlock false: a full send buffer fails the record. The
    // failure's trace text, or null.
    const char* writeRecord(bool onCommandConnection, int32_t code, int32_t sequence, int64_t value,
                            bool isOutOfBand, const void* extra, uint32_t extraLength,
                            bool mayBlock);
    bool reportRecordFailure(const char* failure);
    void reportNotConnected(const char* operation);
    void reportSendFailure(const char* operation);
    bool startStatusReader();
    bool writeAll(const uint8_t* data, int32_t size);
    uint32_t currentTypeByte() const;

    // Run on the worker and the reader.
    void asyncConnect();
    void closeSockets();

    // Replaces the streams, observers, processor and queue after a teardown.
    void createParts(std::unique_ptr<kvu::io::CStreamer> command,
                     std::unique_ptr<kvu::io::CStreamer> data);
    // Aborts the streams and a download, stops both threads and closes the
    // file. Keeps the stream objects: other threads may still call in.
    void tearDown();
    // Replaces the worker's file source; a source set after a teardown is
    // aborted at once.
    void setOpenFile(std::unique_ptr<CDmpFileSource> source);

    // Destruction order matters: the queue (and its worker) must go before
    // the processor it runs, and both before the streams they write.
    std::unique_ptr<CDmpCmdStreamObserver> m_commandObserver;
    std::unique_ptr<CDmpDataStreamObserver> m_dataObserver;
    std::unique_ptr<kvu::io::CAsyncStreamer> m_commandStream;
    std::unique_ptr<kvu::io::CAsyncStreamer> m_dataStream;
    std::unique_ptr<CDmpCmdProcessor> m_fileProcessor;
    std::unique_ptr<kvu::tools::CommandQueue<DMP_COMMAND>> m_commandQueue;

    // Replaced only by the worker (and by tearDown after the worker
    // stopped), under m_fileMutex so that tearDown can abort its download;
    // the worker reads it without the lock.
    std::mutex m_fileMutex;
    std::unique_ptr<CDmpFileSource> m_openFile;
    bool m_isTornDown = false;              // guarded by m_fileMutex
    std::atomic<bool> m_hasOpenFile{false}; // read by the status reader

    std::atomic<int32_t> m_sequence{0};
    uint8_t m_keyword[4] = {}; // the status reader's receive buffer
    std::string m_host;
    int32_t m_port = 0;
    bool m_isAsync = false;

    CDmpPlayList m_playList; // guarded by m_lock; only grows
    std::atomic<int32_t> m_lastCommand{0};
    std::atomic<int32_t> m_currentMediaType{0};

    std::mutex m_observerMutex; // guards m_observers, never held during a call
    std::vector<CDmpVellumoObserver*> m_observers;

    // Player state, written by the status reader and read anywhere.
    std::atomic<int32_t> m_totalDuration{0};
    std::atomic<int32_t> m_currentPosition{0};
    std::atomic<int32_t> m_volume{0};
    std::atomic<int32_t> m_maxVolume{0};
    std::atomic<int32_t> m_repeatStatus{0};
    std::atomic<uint64_t> m_boxVersion{0};
    std::atomic<uint64_t> m_macAddress{0};

    // Guards the play list; never held while sending.
    std::mutex m_lock;

    // Writer locks: each guards the bytes of one connection, so that a record
    // (up to five writes) or a data chunk is never cut by another thread's.
    std::mutex m_commandWriteMutex;
    std::mutex m_dataWriteMutex;
};
