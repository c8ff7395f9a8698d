#include "CDmpVellumo.h"

#include "DebugPrint.h"
#include "Unicode.h"
#include "dmp_vellumo.h"
#include "io/CTcpStreamer.h"

#include <chrono>
#include <map>
#include <mutex>
#include <optional>
#include <sys/stat.h>
#include <thread>
#include <utility>

namespace {

// The data connection's send buffer: about three chunks in flight before the
// writer waits for the Box.
constexpr int32_t kDataSendBufferBytes = 0x50000;

// How long Close waits for another thread's record to finish before it gives
// up the disconnect record (20 tries of 10 ms): a writer blocked on a Box
// that does not read holds the lock, and the teardown that follows aborts it.
// Polled: ThreadSanitizer does not see std::timed_mutex's timed lock and
// reports every unlock after it.
constexpr int kDisconnectLockTries = 20;
constexpr auto kDisconnectLockInterval = std::chrono::milliseconds(10);

// A Box that plays reports its time several times a second: a status
// connection silent this long, while the Box owes a report, is one whose Box
// stopped (a hang, a network gone without a reset).
constexpr int32_t kSilenceLimitMs = DMP_SILENCE_LIMIT_MS;

int64_t steadyNowNs() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

// The version and MAC queries wait 300 times 10 ms for the Box's answer.
constexpr int kAnswerPolls = 300;
constexpr auto kAnswerPollInterval = std::chrono::milliseconds(10);

// The Box tells a link's two connections apart only by their order: the
// links of a process that connect to one Box at the same time must not
// interleave theirs. One lock per Box address; Boxes are few.
std::mutex& connectLockOf(const std::string& host, int32_t port) {
    static std::mutex registryMutex;
    static std::map<std::pair<std::string, int32_t>, std::mutex> locks;
    std::lock_guard lock(registryMutex);
    return locks[{host, port}];
}

bool isOpen(const std::unique_ptr<kvu::io::CAsyncStreamer>& stream) {
    return stream && stream->Stream()->IsOpen();
}

// Only regular files reach a play list, and web addresses, which the file
// source downloads when the Box asks for them. scratch: reused for the
// system's form of the path.
bool isPlayable(const std::wstring& path, std::string& scratch) {
    if (CDmpFileSource::KindOf(path) != CDmpFileSource::Kind::LocalFile)
        return true;
    scratch.clear();
    kvu::AppendUtf8(scratch, path);
    struct stat info {};
    return ::stat(scratch.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

} // namespace

CDmpVellumo::~CDmpVellumo() {
    CloseConnection();
}

// ---- connections -----------------------------------------------------------

bool CDmpVellumo::OpenConnection(const char* host, int32_t port, bool isAsync) {
    createParts(std::make_unique<kvu::io::CTcpStreamer>(),
                std::make_unique<kvu::io::CTcpStreamer>());
    m_host = host ? host : "";
    m_port = port;

    if (isAsync) {
        m_commandQueue->Post(DMP_COMMAND{kKindAsyncConnect, 0, 0, 0});
        return true;
    }
    if (connectStreams())
        return true;
    DebugPrint("CDmpVellumo::OpenConnection(): Connect failed!\n");
    ReportError(DMP_ERROR_CONNECT);
    CloseConnection();
    return false;
}

void CDmpVellumo::createParts(std::unique_ptr<kvu::io::CStreamer> command,
                              std::unique_ptr<kvu::io::CStreamer> data) {
    tearDown();
    {
        std::lock_guard lock(m_fileMutex);
        m_isTornDown = false;
    }
    m_state.isPaused = false;
    m_hasStreamEnded = false;
    m_isPausedByCaller = false;
    // The parts on the link's threads see it through its services alone.
    CDmpLinkServices& services = *this;
    // The old queue is stopped: the processor it ran can go first.
    m_fileProcessor = std::make_unique<CDmpCmdProcessor>(services);
    m_commandQueue =
        std::make_unique<kvu::tools::CommandQueue<DMP_COMMAND>>(m_fileProcessor.get(), "dmp-link");
    m_fileProcessor->SetQueue(m_commandQueue.get());
    m_commandObserver = std::make_unique<CDmpCmdStreamObserver>();
    m_dataObserver = std::make_unique<CDmpDataStreamObserver>(services, m_state, *m_commandQueue);
    m_commandStream = std::make_unique<kvu::io::CAsyncStreamer>(command.release(), true);
    m_dataStream = std::make_unique<kvu::io::CAsyncStreamer>(data.release(), true);
    m_commandStream->SetObserver(m_commandObserver.get());
    m_dataStream->SetObserver(m_dataObserver.get());
}

bool CDmpVellumo::AttachStreams(std::unique_ptr<kvu::io::CStreamer> command,
                                std::unique_ptr<kvu::io::CStreamer> data) {
    createParts(std::move(command), std::move(data));
    return AreConnectionsOpen();
}

// Both modes connect here, so the data connection's send buffer is set in
// this one place.
bool CDmpVellumo::connectStreams() {
    if (m_host.empty() || !m_commandStream || !m_dataStream)
        return false;
    {
        std::lock_guard pairLock(connectLockOf(m_host, m_port));
        if (m_commandStream->Stream()->Connect(m_host.c_str(), m_port) != kvu::io::kStreamOk)
            return false;
        if (m_dataStream->Stream()->Connect(m_host.c_str(), m_port) != kvu::io::kStreamOk)
            return false;
    }
    const int32_t bufferBytes = kDataSendBufferBytes;
    m_dataStream->Stream()->SetOption(kvu::io::kStreamOptionSendBuffer, &bufferBytes);
    // The status reader looks at a silent Box once per silence limit.
    const int32_t silenceMs = kSilenceLimitMs;
    m_dataStream->Stream()->SetOption(kvu::io::kStreamOptionReceiveTimeout, &silenceMs);
    return true;
}

void CDmpVellumo::ConnectOnWorker() {
    if (!connectStreams()) {
        ReportError(DMP_ERROR_CONNECT);
        return;
    }
    if (AreConnectionsOpen())
        notify(Notice::Connected);
}

bool CDmpVellumo::AreConnectionsOpen() const {
    return isOpen(m_commandStream) && isOpen(m_dataStream);
}

void CDmpVellumo::CloseConnection() {
    notify(Notice::Closed);
    m_observers.Clear();
    if (isOpen(m_commandStream)) {
        std::unique_lock lock(m_commandWriteMutex, std::try_to_lock);
        for (int i = 1; i < kDisconnectLockTries && !lock.owns_lock(); ++i) {
            std::this_thread::sleep_for(kDisconnectLockInterval);
            lock.try_lock();
        }
        // Never blocks: a Box that does not read gets no disconnect record.
        if (lock.owns_lock())
            writeRecord(true, kCmdDisconnect, ++m_sequence, currentTypeByte(), false, nullptr, 0,
                        false);
    }
    tearDown();
    m_sequence = 0;
    m_host.clear();
    m_port = 0;
}

void CDmpVellumo::tearDown() {
    // Abort rather than close: it also ends a connect still in progress on
    // the worker, keeps a later connect attempt from starting and wakes a
    // writer blocked on a Box that does not read.
    if (m_commandStream)
        m_commandStream->Stream()->Abort();
    if (m_dataStream)
        m_dataStream->Stream()->Abort();
    // A download on the worker would otherwise run to its time-out.
    {
        std::lock_guard lock(m_fileMutex);
        m_isTornDown = true;
        if (m_openFile)
            m_openFile->Abort();
    }
    // The reader may be waiting for the command queue to drain: stopping the
    // queue first ends that wait, and the queue object outlives the reader,
    // whose later posts only queue.
    if (m_commandQueue)
        m_commandQueue->Stop();
    if (m_dataStream)
        m_dataStream->StopReading();
    // The streams, the queue and the processor stay until the link is freed
    // or opened again: another link's callback may still send through this
    // one, and finds it closed.
    CloseFile();
}

void CDmpVellumo::setOpenFile(std::unique_ptr<CDmpFileSource> source) {
    std::unique_ptr<CDmpFileSource> old;
    {
        std::lock_guard lock(m_fileMutex);
        if (source && m_isTornDown)
            source->Abort();
        old = std::exchange(m_openFile, std::move(source));
    }
    // Closed without the lock: closing waits for nothing, but need not.
    if (old)
        old->Close();
}

bool CDmpVellumo::IsStatusDue() const {
    const DmpMediaType type = m_currentMediaType.load();
    if (type != kMediaTypeVideo && type != kMediaTypeAudio)
        return false;
    if (m_state.isPaused.load() || m_isPausedByCaller.load())
        return false;
    const int64_t sinceCommandNs = steadyNowNs() - m_lastCommandNs.load();
    return sinceCommandNs >= int64_t{kSilenceLimitMs} * 1000000;
}

void CDmpVellumo::EndStream() {
    m_hasStreamEnded = true;
    if (m_dataStream)
        m_dataStream->Stream()->Close();
    if (m_commandStream)
        m_commandStream->Stream()->Close();
    notify(Notice::Closed);
}

void CDmpVellumo::AddObserver(CDmpVellumoObserver* observer) {
    m_observers.Add(observer);
}

void CDmpVellumo::RemoveObserver(CDmpVellumoObserver* observer) {
    m_observers.Remove(observer);
}

void CDmpVellumo::notify(Notice notice) {
    m_observers.ForEach([this, notice](CDmpVellumoObserver& observer) {
        switch (notice) {
        case Notice::Connected:
            observer.Connected(this);
            break;
        case Notice::StatusChanged:
            observer.StatusChanged(this);
            break;
        case Notice::Closed:
            observer.Closed(this);
            break;
        }
    });
}

void CDmpVellumo::NotifyStatusChanged() {
    notify(Notice::StatusChanged);
}

void CDmpVellumo::ReportError(int32_t code) {
    m_observers.ForEach(
        [this, code](CDmpVellumoObserver& observer) { observer.ErrorOccurred(this, code); });
}

// ---- record framing --------------------------------------------------------

bool CDmpVellumo::SendDataRecord(DmpCommandCode code, int32_t sequence, int64_t value) {
    const char* failure;
    {
        std::lock_guard lock(m_dataWriteMutex);
        failure = writeRecord(false, code, sequence, value, true, nullptr, 0, true);
    }
    return reportRecordFailure(failure);
}

bool CDmpVellumo::sendCommand(DmpCommandCode code, SequenceUse use, int64_t value,
                              const void* extra, uint32_t extraLength) {
    const char* failure;
    {
        std::lock_guard lock(m_commandWriteMutex);
        const int32_t sequence = use == SequenceUse::Next ? ++m_sequence : m_sequence.load();
        failure = writeRecord(true, code, sequence, value, false, extra, extraLength, true);
    }
    m_lastCommandNs = steadyNowNs();
    return reportRecordFailure(failure);
}

bool CDmpVellumo::reportRecordFailure(const char* failure) {
    if (failure == nullptr)
        return true;
    // Outside the writer lock: an observer may send from its callback.
    DebugPrint("%s", failure);
    ReportError(DMP_ERROR_SEND);
    return false;
}

const char* CDmpVellumo::writeRecord(bool onCommandConnection, DmpCommandCode code,
                                     int32_t sequence, int64_t value, bool isOutOfBand,
                                     const void* extra, uint32_t extraLength, bool mayBlock) {
    auto& asyncStream = onCommandConnection ? m_commandStream : m_dataStream;
    if (!isOpen(asyncStream))
        return "CDmpVellumo::SendCmd(): Fail to send command!\n";
    kvu::io::CStreamer* stream = asyncStream->Stream();
    const uint32_t length = extra != nullptr ? extraLength : 0;
    const dmpwire::CommandHead head = dmpwire::EncodeCommandHead(code, sequence, value, length);
    // One write per field. The writer lock keeps other records out while a
    // field is continued after a short write.
    const int32_t waitFlag = mayBlock ? 0 : kvu::io::kStreamFlagDontWait;
    auto writeField = [&](dmpwire::Field field, int32_t flags) {
        return stream->IsOpen() &&
               stream->WriteAll(head.bytes.data() + field.offset, field.size, flags | waitFlag);
    };
    if (!writeField(dmpwire::kCommandByteField, isOutOfBand ? kvu::io::kStreamFlagOutOfBand : 0))
        return "CDmpVellumo::SendCmd(): Fail to send OOB mark!\n";
    if (!writeField(dmpwire::kSequenceField, 0))
        return "CDmpVellumo::SendCmd(): Fail to send sequence number!\n";
    if (!writeField(dmpwire::kValueField, 0))
        return "CDmpVellumo::SendCmd(): Fail to send value!\n";
    if (length == 0)
        return nullptr;
    if (!writeField(dmpwire::kExtraLengthField, 0))
        return "CDmpVellumo::SendCmd(): Fail to send extra data size!\n";
    if (!stream->IsOpen() || !stream->WriteAll(extra, length, waitFlag))
        return "CDmpVellumo::SendCmd(): Fail to send extra data!\n";
    return nullptr;
}

std::optional<dmpwire::StatusRecord> CDmpVellumo::RecvCmd(dmpwire::StatusKeyword keyword) {
    if (!isOpen(m_dataStream))
        return std::nullopt;
    kvu::io::CStreamer* stream = m_dataStream->Stream();
    // The sequence number and the value, one read each.
    uint8_t body[dmpwire::kStatusBodyBytes] = {};
    auto read = [stream, &body](size_t offset, int32_t size) {
        return stream->IsOpen() ? stream->Read(body + offset, size, 0)
                                : kvu::io::kStreamBadArgument;
    };
    const int32_t sequenceCount = read(0, 4);
    const int32_t valueCount = read(4, 8);
    if (sequenceCount + valueCount != static_cast<int32_t>(dmpwire::kStatusBodyBytes)) {
        DebugPrint("CDmpVellumo::RecvCmd(): Read error!\n");
        ReportError(DMP_ERROR_STATUS_READ);
        return std::nullopt;
    }
    return dmpwire::DecodeStatusBody(keyword, body);
}

bool CDmpVellumo::SendFileData(const uint8_t* data, int32_t size) {
    // A short send would splice the next chunk into the middle of this one.
    std::lock_guard lock(m_dataWriteMutex);
    kvu::io::CStreamer* stream = m_dataStream->Stream();
    return stream->IsOpen() && stream->WriteAll(data, static_cast<size_t>(size));
}

bool CDmpVellumo::IsDataConnectionOpen() const {
    return isOpen(m_dataStream);
}

// ---- playback and device commands -----------------------------------------

uint32_t CDmpVellumo::currentTypeByte() const {
    return WireByte(m_currentMediaType.load());
}

void CDmpVellumo::reportNotConnected(const char* operation) {
    DebugPrint("CDmpVellumo::%s(): Fail to play!\n", operation);
    ReportError(DMP_ERROR_NOT_CONNECTED);
}

void CDmpVellumo::reportSendFailure(const char* operation) {
    DebugPrint("CDmpVellumo::%s(): Fail to send command!\n", operation);
    ReportError(DMP_ERROR_SEND);
}

bool CDmpVellumo::startStatusReader() {
    return m_dataStream && m_dataStream->AsyncRead(m_keyword);
}

bool CDmpVellumo::Play(DmpMediaType mediaType) {
    if (PlayListCount() == 0 || !AreConnectionsOpen()) {
        reportNotConnected("Play");
        return false;
    }
    SendPlayListFileName();
    const int64_t value = PackValue(WireByte(mediaType), static_cast<uint32_t>(PlayListCount()));
    if (!sendCommand(kCmdPlay, SequenceUse::Next, value)) {
        reportSendFailure("Play");
        return false;
    }
    m_currentMediaType = mediaType;
    m_lastCommand = kCmdPlay;
    m_isPausedByCaller = false;
    return startStatusReader();
}

bool CDmpVellumo::sendPlaybackCommand(DmpCommandCode code, const char* operation,
                                      std::optional<uint32_t> valueHigh) {
    if (!AreConnectionsOpen()) {
        reportNotConnected(operation);
        return false;
    }
    const int64_t value =
        PackValue(currentTypeByte(), valueHigh.value_or(static_cast<uint32_t>(PlayListCount())));
    if (!sendCommand(code, SequenceUse::Next, value)) {
        reportSendFailure(operation);
        return false;
    }
    return true;
}

bool CDmpVellumo::Pause() {
    const bool isSent = sendPlaybackCommand(kCmdPause, "Pause");
    if (isSent)
        m_isPausedByCaller = true;
    return isSent;
}

bool CDmpVellumo::Resume() {
    const bool isSent = sendPlaybackCommand(kCmdResume, "Resume");
    if (isSent)
        m_isPausedByCaller = false;
    return isSent;
}

bool CDmpVellumo::Next() {
    return sendPlaybackCommand(kCmdNext, "Next");
}

bool CDmpVellumo::Prev() {
    return sendPlaybackCommand(kCmdPrev, "Prev");
}

bool CDmpVellumo::SetRepeat(int32_t repeat) {
    return sendPlaybackCommand(kCmdRepeat, "SetRepeat", static_cast<uint32_t>(repeat));
}

bool CDmpVellumo::Restart() {
    return sendPlaybackCommand(kCmdRestart, "Restart", 0);
}

bool CDmpVellumo::Seek(uint32_t time) {
    if (!AreConnectionsOpen())
        return false;
    if (!sendCommand(kCmdSeek, SequenceUse::Current, PackValue(time, 0)))
        return false;
    m_state.currentPosition = static_cast<int32_t>(time);
    return true;
}

bool CDmpVellumo::SetVolume(int32_t volume) {
    if (!AreConnectionsOpen())
        return false;
    if (!sendCommand(kCmdVolume, SequenceUse::Current, volume))
        return false;
    m_state.volume = volume;
    return true;
}

bool CDmpVellumo::Mute() {
    if (!AreConnectionsOpen())
        return false;
    if (!sendCommand(kCmdMute, SequenceUse::Current, 0))
        return false;
    m_state.volume = 0;
    return true;
}

bool CDmpVellumo::Upgrade(const char* url) {
    if (url == nullptr || *url == '\0')
        return false;
    const std::string_view text(url);
    if (!sendCommand(kCmdUpgrade, SequenceUse::Next, 0, text.data(),
                     static_cast<uint32_t>(text.size()))) {
        reportSendFailure("Upgrade");
        return false;
    }
    m_currentMediaType = TypeOfDevice(kCmdUpgrade);
    m_lastCommand = kCmdUpgrade;
    return startStatusReader();
}

bool CDmpVellumo::sendDeviceCommand(DmpCommandCode code, const char* operation) {
    if (!sendCommand(code, SequenceUse::Next, 0)) {
        reportSendFailure(operation);
        return false;
    }
    m_currentMediaType = TypeOfDevice(code);
    m_lastCommand = code;
    return true;
}

bool CDmpVellumo::SwitchToWiDi() {
    return sendDeviceCommand(kCmdSwitchToWiDi, "SwitchToWiDi");
}

bool CDmpVellumo::SwitchToWfdPIN() {
    if (!sendDeviceCommand(kCmdSwitchToWfdPin, "SwitchToWfdPIN"))
        return false;
    DebugPrintW(L"##CDmpVellumo::SwitchToWfdPIN().\n");
    return true;
}

bool CDmpVellumo::SwitchToWfdPBC() {
    if (!sendDeviceCommand(kCmdSwitchToWfdPbc, "SwitchToWfdPBC"))
        return false;
    DebugPrintW(L"##CDmpVellumo::SwitchToWfdPBC().\n");
    return true;
}

bool CDmpVellumo::GetBoxVersion(dmpwire::BoxVersion& version) {
    version = {};
    // Cleared before sending: the answer may arrive before the send returns.
    m_state.boxVersion = 0;
    if (!sendCommand(kCmdVersion, SequenceUse::Next, 0)) {
        reportSendFailure("GetBoxVersion");
        return false;
    }
    m_currentMediaType = TypeOfDevice(kCmdVersion);
    m_lastCommand = kCmdVersion;
    if (!startStatusReader())
        return false;
    for (int i = 0; i < kAnswerPolls && m_state.boxVersion.load() == 0; ++i)
        std::this_thread::sleep_for(kAnswerPollInterval);
    version = dmpwire::DecodeVersion(m_state.boxVersion.load());
    return true;
}

uint64_t CDmpVellumo::GetCurAdapterMacAddr() {
    m_currentMediaType = kMediaTypeMacQuery;
    m_state.macAddress = 0;
    if (!sendCommand(kCmdMacAddress, SequenceUse::Next, WireByte(kMediaTypeMacQuery))) {
        // The version query's text: the MAC query shares it.
        reportSendFailure("GetBoxVersion");
        return 0;
    }
    m_lastCommand = kCmdMacAddress;
    if (!startStatusReader())
        return 0;
    for (int i = 0; i < kAnswerPolls && m_state.macAddress.load() == 0; ++i)
        std::this_thread::sleep_for(kAnswerPollInterval);
    return m_state.macAddress.load();
}

// ---- play list -------------------------------------------------------------

bool CDmpVellumo::AddFiles(const std::vector<std::wstring>& files, int32_t position) {
    return AddSharedFiles(std::make_shared<const CDmpPlayList::Paths>(files), position);
}

bool CDmpVellumo::AddSharedFiles(std::shared_ptr<const CDmpPlayList::Paths> files,
                                 int32_t position) {
    if (!files || files->empty())
        return false;
    // Checked without the lock: a slow file system must not hold up the
    // Box's requests for the entries already there.
    std::vector<bool> playable;
    playable.reserve(files->size());
    std::string scratch;
    for (const std::wstring& path : *files)
        playable.push_back(isPlayable(path, scratch));
    bool wasPlaying;
    {
        std::lock_guard lock(m_lock);
        wasPlaying = !m_playList.IsEmpty();
        m_playList.Insert(position, std::move(files), playable);
    }
    if (wasPlaying) {
        SendPlayListFileName();
        if (position == 0)
            Restart();
    }
    return true;
}

void CDmpVellumo::SendPlayListFileName() {
    std::string text;
    {
        std::lock_guard lock(m_lock);
        text = m_playList.NamesText();
    }
    if (text.empty())
        return;
    if (!sendCommand(kCmdPlayListNames, SequenceUse::Current, 0, text.data(),
                     static_cast<uint32_t>(text.size()))) {
        DebugPrint("CDmpVellumo::SendPlayListFileName(): Fail to send command!\n");
        ReportError(DMP_ERROR_SEND);
    }
}

bool CDmpVellumo::OpenEntry(int32_t index) {
    return openLocalFile(PlayListEntry(index));
}

void CDmpVellumo::CloseFile() {
    setOpenFile(nullptr);
    m_hasOpenFile = false;
}

bool CDmpVellumo::openLocalFile(const std::wstring& path) {
    // Published before the open so that a teardown can stop its download.
    setOpenFile(std::make_unique<CDmpFileSource>());
    m_hasOpenFile = true;
    if (!m_openFile->Open(path)) {
        DebugPrint("CDmpVellumo::OpenLocalFile(): Fail to open file(%s)!\n",
                   kvu::ToUtf8(path).c_str());
        return false;
    }
    return true;
}

// ---- state -----------------------------------------------------------------

int32_t CDmpVellumo::PlayListCount() {
    std::lock_guard lock(m_lock);
    return static_cast<int32_t>(m_playList.Count());
}

int32_t CDmpVellumo::CurrentIndex() const {
    return m_fileProcessor ? m_fileProcessor->CurrentIndex() : -1;
}

const wchar_t* CDmpVellumo::CurrentName() {
    const int32_t index = CurrentIndex();
    std::lock_guard lock(m_lock);
    return index < 0 ? nullptr : m_playList.At(static_cast<size_t>(index));
}

std::wstring CDmpVellumo::PlayListEntry(int32_t index) {
    std::lock_guard lock(m_lock);
    const wchar_t* path = index < 0 ? nullptr : m_playList.At(static_cast<size_t>(index));
    return path ? std::wstring(path) : std::wstring();
}
