#pragma once

#include "CDmpCmdProcessor.h"
#include "CDmpCmdStreamObserver.h"
#include "CDmpDataStreamObserver.h"
#include "CDmpFileSource.h"
#include "CDmpLinkServices.h"
#include "CDmpPlayList.h"
#include "CDmpPlayerState.h"
#include "CDmpVellumoObserver.h"
#include "DmpCommand.h"
#include "io/CAsyncStreamer.h"
#include "tools/CObserverList.h"
#include "tools/CommandQueue.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

// A box link: the command and data connections to one Box for one purpose
// (video, image, audio or device control). Commands go out on the command
// connection; the Box's status records and file requests come in on the data
// connection, which also carries the file bytes back. Records are made and
// read by the codec of DmpWire.h.
//
// Threads: the caller's; the command-queue worker (asynchronous connect, seek
// replies, file streaming; the only writer of the data connection); the data
// connection's reader (status parsing). The worker's processor and the reader
// reach the link through CDmpLinkServices alone. A link is never reconnected
// in place.
class CDmpVellumo final : private CDmpLinkServices {
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
    void CloseConnection();
    void AddObserver(CDmpVellumoObserver* observer);
    void RemoveObserver(CDmpVellumoObserver* observer);
    bool AreConnectionsOpen() const;

    // Playback and device commands.
    bool Play(DmpMediaType mediaType);
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
    // Zeros when the Box does not answer in time; false when the query
    // could not be sent.
    bool GetBoxVersion(dmpwire::BoxVersion& version);
    uint64_t GetCurAdapterMacAddr();

    // Play list. position -1 (or beyond the end) appends.
    bool AddFiles(const std::vector<std::wstring>& files, int32_t position);
    // The same without a copy: the play list shares files, which must never
    // change.
    bool AddSharedFiles(std::shared_ptr<const CDmpPlayList::Paths> files, int32_t position);
    void SendPlayListFileName();

    // Player state, readable from any thread.
    int32_t TotalDuration() const { return m_state.totalDuration.load(); }
    int32_t CurrentPosition() const { return m_state.currentPosition.load(); }
    int32_t Volume() const { return m_state.volume.load(); }
    int32_t MaxVolume() const { return m_state.maxVolume.load(); }
    int32_t RepeatStatus() const { return m_state.repeatStatus.load(); }
    bool IsPaused() const { return m_state.isPaused.load(); }
    int32_t PlayListCount();
    // -1 before the Box read a file.
    int32_t CurrentIndex() const;
    // Full path of the current entry, owned by the play list (which only
    // grows), or null.
    const wchar_t* CurrentName();
    // A copy of the entry's full path; empty beyond the end.
    std::wstring PlayListEntry(int32_t index);
    int32_t Sequence() const override { return m_sequence.load(); }

private:
    // CDmpLinkServices
    void NotifyStatusChanged() override;
    void ReportError(int32_t code) override;
    DmpMediaType CurrentMediaType() const override { return m_currentMediaType.load(); }
    std::optional<dmpwire::StatusRecord> RecvCmd(dmpwire::StatusKeyword keyword) override;
    DmpCommandCode LastCommand() const override { return m_lastCommand.load(); }
    bool HasOpenFile() const override { return m_hasOpenFile.load(); }
    bool IsStatusDue() const override;
    void EndStream() override;
    bool HasStreamEnded() const override { return m_hasStreamEnded.load(); }
    void ConnectOnWorker() override;
    void SetSequence(int32_t sequence) override { m_sequence = sequence; }
    bool SendDataRecord(DmpCommandCode code, int32_t sequence, int64_t value) override;
    bool SendFileData(const uint8_t* data, int32_t size) override;
    bool IsDataConnectionOpen() const override;
    bool OpenEntry(int32_t index) override;
    CDmpFileSource* OpenFile() override { return m_openFile.get(); }
    void CloseFile() override;

    enum class Notice { Connected, StatusChanged, Closed };
    void notify(Notice notice);

    bool connectStreams();
    // valueHigh: the play-list count when not given.
    bool sendPlaybackCommand(DmpCommandCode code, const char* operation,
                             std::optional<uint32_t> valueHigh = std::nullopt);
    bool sendDeviceCommand(DmpCommandCode code, const char* operation);

    // A record on the command connection carrying the current sequence number
    // or the next one, taken under the writer lock so that numbers go out in
    // order.
    enum class SequenceUse { Current, Next };
    bool sendCommand(DmpCommandCode code, SequenceUse use, int64_t value,
                     const void* extra = nullptr, uint32_t extraLength = 0);
    // Writes one record's fields, one write each; the caller holds the
    // connection's writer lock. mayBlock false: a full send buffer fails the
    // record. The failure's trace text, or null.
    const char* writeRecord(bool onCommandConnection, DmpCommandCode code, int32_t sequence,
                            int64_t value, bool isOutOfBand, const void* extra,
                            uint32_t extraLength, bool mayBlock);
    bool reportRecordFailure(const char* failure);
    void reportNotConnected(const char* operation);
    void reportSendFailure(const char* operation);
    bool startStatusReader();
    uint32_t currentTypeByte() const;
    bool openLocalFile(const std::wstring& path);

    // Replaces the streams, observers, processor and queue after a teardown.
    void createParts(std::unique_ptr<kvu::io::CStreamer> command,
                     std::unique_ptr<kvu::io::CStreamer> data);
    // Aborts the streams and a download, stops both threads and closes the
    // file. Keeps the stream objects: other threads may still call in.
    void tearDown();
    // Replaces the worker's file source; a source set after a teardown is
    // aborted at once.
    void setOpenFile(std::unique_ptr<CDmpFileSource> source);

    // Player state, written by the status reader and the caller's thread,
    // read anywhere. Outlives the observer that writes it.
    CDmpPlayerState m_state;

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
    // Set by EndStream, cleared when the parts are made anew: read on the
    // status reader.
    std::atomic<bool> m_hasStreamEnded{false};
    // The caller's Pause until its Resume or the next Play; and when the last
    // command record went out (steady clock, nanoseconds). Both read on the
    // status reader.
    std::atomic<bool> m_isPausedByCaller{false};
    std::atomic<int64_t> m_lastCommandNs{0};
    uint8_t m_keyword[dmpwire::kKeywordBytes] = {}; // the status reader's receive buffer
    std::string m_host;
    int32_t m_port = 0;

    CDmpPlayList m_playList; // guarded by m_lock; only grows
    std::atomic<DmpCommandCode> m_lastCommand{};
    std::atomic<DmpMediaType> m_currentMediaType{kMediaTypeNone};

    kvu::tools::CObserverList<CDmpVellumoObserver> m_observers;

    // Guards the play list; never held while sending.
    std::mutex m_lock;

    // Writer locks: each guards the bytes of one connection, so that a record
    // (up to five writes) or a data chunk is never cut by another thread's.
    std::mutex m_commandWriteMutex;
    std::mutex m_dataWriteMutex;
};
