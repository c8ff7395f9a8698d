#include "BoxPlayer.h"

#include "BoxWire.h"
#include "DebugPrint.h"
#include "LittleEndian.h"

#include <pthread.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <climits>
#include <thread>

namespace {

constexpr size_t kReadChunkBytes = 65536;

int32_t clampToInt32(int64_t value) {
    return static_cast<int32_t>(std::clamp<int64_t>(value, INT32_MIN, INT32_MAX));
}

} // namespace

BoxPlayer::BoxPlayer(int pairId, int dataFd, const BoxOptions& options, EventLog& log,
                     StatusWriter& writer, EndPair endPair)
    : m_pairId(pairId), m_options(options), m_log(log), m_writer(writer),
      m_endPair(std::move(endPair)), m_wakeFd(::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC)),
      m_channel(dataFd, m_wakeFd), m_isCloseMidFileArmed(options.has(BoxFault::CloseMidFile)) {}

BoxPlayer::~BoxPlayer() {
    stop();
    join();
    if (m_wakeFd >= 0)
        ::close(m_wakeFd);
}

void BoxPlayer::start() {
    m_thread = std::thread([this] {
        const std::string name = "bsim-play-" + std::to_string(m_pairId);
        pthread_setname_np(pthread_self(), name.substr(0, 15).c_str());
        run();
    });
}

void BoxPlayer::stop() {
    {
        std::lock_guard lock(m_mutex);
        m_isStopping = true;
    }
    wake();
}

void BoxPlayer::join() {
    if (m_thread.joinable())
        m_thread.join();
}

void BoxPlayer::setList(std::vector<std::string> names) {
    std::lock_guard lock(m_mutex);
    m_list = std::move(names);
}

void BoxPlayer::play() {
    {
        std::lock_guard lock(m_mutex);
        m_isStartRequested = true;
    }
    wake();
}

std::optional<std::string> BoxPlayer::entry(int32_t index) {
    std::lock_guard lock(m_mutex);
    if (index < 0 || index >= static_cast<int32_t>(m_list.size()))
        return std::nullopt;
    return m_list[static_cast<size_t>(index)];
}

int32_t BoxPlayer::listCount() {
    std::lock_guard lock(m_mutex);
    return static_cast<int32_t>(m_list.size());
}

void BoxPlayer::setPaused(bool isPaused) {
    {
        std::lock_guard lock(m_mutex);
        m_isPaused = isPaused;
    }
    wake();
}

void BoxPlayer::jump(Jump jump) {
    {
        std::lock_guard lock(m_mutex);
        m_jumps.push_back(jump);
    }
    wake();
}

void BoxPlayer::seek(int64_t time) {
    {
        std::lock_guard lock(m_mutex);
        m_seekTime = time;
    }
    wake();
}

void BoxPlayer::wake() {
    const uint64_t one = 1;
    [[maybe_unused]] const ssize_t written = ::write(m_wakeFd, &one, sizeof one);
}

void BoxPlayer::run() {
    while (waitForList()) {
        if (m_options.has(BoxFault::ReadNothing))
            readNothing();
        else
            playList();
        setListActive(false);
    }
}

bool BoxPlayer::isPlaying() {
    std::lock_guard lock(m_mutex);
    return m_isListActive || m_isStartRequested;
}

void BoxPlayer::setListActive(bool isActive) {
    std::lock_guard lock(m_mutex);
    m_isListActive = isActive;
}

bool BoxPlayer::waitForList() {
    for (;;) {
        {
            std::lock_guard lock(m_mutex);
            if (m_isStopping)
                return false;
            if (m_isStartRequested) {
                m_isStartRequested = false;
                m_jumps.clear();
                m_seekTime.reset();
                m_isPaused = false;
                m_isListActive = true;
                return true;
            }
        }
        // Between lists nothing is read, but a peer hanging up still ends the pair.
        if (m_channel.waitIdle() == DataChannel::Result::Closed) {
            m_endPair("peer");
            return false;
        }
        m_channel.drainWake();
    }
}

void BoxPlayer::readNothing() {
    m_currentIndex = 0;
    if (!m_writer.sendStat("play", 0)) {
        m_endPair("peer");
        return;
    }
    for (;;) {
        if (m_channel.waitIdle() == DataChannel::Result::Closed) {
            m_endPair("peer");
            return;
        }
        m_channel.drainWake();
        std::lock_guard lock(m_mutex);
        if (m_isStopping)
            return;
    }
}

void BoxPlayer::playList() {
    int32_t index = 0;
    for (;;) {
        const int32_t count = listCount();
        if (count == 0) {
            logError("play request with an empty play list");
            m_endPair("error");
            return;
        }
        if (index >= count) {
            if (!m_writer.sendStat("done", count)) {
                m_endPair("peer");
                return;
            }
            m_log.write(JsonLine("done").add("pair", m_pairId));
            return;
        }
        m_currentIndex = index;
        if (!m_writer.sendStat("play", index)) {
            m_endPair("peer");
            return;
        }
        const auto next = playFile(index);
        if (!next)
            return;
        index = *next;
    }
}

std::optional<int32_t> BoxPlayer::playFile(int32_t index) {
    FileState file;
    file.index = index;
    file.name = entry(index).value_or("");
    Step step = Step::Continue;
    if (!readFileSize(file, step) || !readFileBytes(file, step)) {
        if (step == Step::Jump)
            return m_nextIndex;
        return std::nullopt;
    }
    if (!sendTime(file, false)) {
        m_endPair("peer");
        return std::nullopt;
    }
    logFile(file, true);
    if (!m_writer.sendStat("stop", index)) {
        m_endPair("peer");
        return std::nullopt;
    }
    return index + 1;
}

// Waits for the "F" record, discarding what is left of an abandoned file.
bool BoxPlayer::readFileSize(FileState& file, Step& step) {
    for (;;) {
        step = checkControls(nullptr);
        if (step != Step::Continue)
            return false;
        const auto found = m_channel.discardToMark(true);
        if (found == DataChannel::Result::Woken) {
            m_channel.drainWake();
            continue;
        }
        char byte = 0;
        int32_t seq = 0;
        int64_t value = 0;
        if (found == DataChannel::Result::Closed || !readUrgent(byte, seq, value)) {
            step = Step::End;
            m_endPair("peer");
            return false;
        }
        if (byte == '$')
            continue; // the answer to a seek in a file we abandoned since
        if (byte != 'F') {
            logError(std::string("unexpected urgent record '") + byte + "' before a file");
            continue;
        }
        if (value < 0) {
            logError("negative file size " + std::to_string(value));
            step = Step::End;
            m_endPair("error");
            return false;
        }
        file.size = value;
        if (m_isCloseMidFileArmed && value > 0) {
            m_isCloseMidFileArmed = false;
            file.closeAtBytes = std::max<int64_t>(1, value / 2);
        }
        if (!m_options.outputDir.empty() &&
            !file.sink.open(m_options.outputDir, file.name, m_pairId))
            logError("cannot write \"" + file.name + "\" into the output directory");
        if (!sendTime(file, true)) {
            step = Step::End;
            m_endPair("peer");
            return false;
        }
        return true;
    }
}

bool BoxPlayer::readFileBytes(FileState& file, Step& step) {
    std::vector<uint8_t> buffer(kReadChunkBytes);
    for (;;) {
        step = checkControls(&file);
        if (step != Step::Continue)
            return false;
        // Checked after the controls: a seek may have moved to the end.
        if (file.position >= file.size)
            return true;
        if (isAheadOfReadRate(file))
            continue;
        int64_t wanted = std::min<int64_t>(file.size - file.position, kReadChunkBytes);
        if (file.closeAtBytes > file.position)
            wanted = std::min(wanted, file.closeAtBytes - file.position);
        size_t got = 0;
        const auto result =
            m_channel.readSome(buffer.data(), static_cast<size_t>(wanted), got, true);
        if (result == DataChannel::Result::Woken) {
            m_channel.drainWake();
            continue;
        }
        if (result == DataChannel::Result::Closed) {
            logFile(file, false);
            step = Step::End;
            m_endPair("peer");
            return false;
        }
        if (m_options.isHashing)
            file.sha.update(buffer.data(), got);
        file.sink.write(file.position, buffer.data(), got);
        file.position += static_cast<int64_t>(got);
        if (file.closeAtBytes > 0 && file.position >= file.closeAtBytes) {
            logFile(file, false);
            step = Step::End;
            m_endPair("fault");
            return false;
        }
        if (file.position / m_options.rateBytes > file.lastTimeSent && !sendTime(file, false)) {
            step = Step::End;
            m_endPair("peer");
            return false;
        }
    }
}

// A Box playing in real time reads no faster than --read-rate; it waits in
// short slices so that controls are still applied at once.
bool BoxPlayer::isAheadOfReadRate(const FileState& file) {
    if (m_options.readRateBytes <= 0)
        return false;
    const auto elapsed = std::chrono::steady_clock::now() - file.startTime;
    const auto due =
        std::chrono::duration<double>(static_cast<double>(file.position - file.offset) /
                                      static_cast<double>(m_options.readRateBytes));
    if (elapsed >= due)
        return false;
    std::this_thread::sleep_for(std::min<std::chrono::steady_clock::duration>(
        std::chrono::duration_cast<std::chrono::steady_clock::duration>(due - elapsed),
        std::chrono::milliseconds(20)));
    return true;
}

// Applies pending controls in order of weight: stop, a new list or a jump
// (which abandon the file), a seek, then a pause, which holds here.
BoxPlayer::Step BoxPlayer::checkControls(FileState* file) {
    const int32_t index = m_currentIndex.load();
    for (;;) {
        std::unique_lock lock(m_mutex);
        if (m_isStopping)
            return Step::End;
        if (m_isStartRequested || !m_jumps.empty()) {
            if (m_isStartRequested) {
                m_isStartRequested = false;
                m_nextIndex = 0;
                m_jumps.clear();
            } else {
                const Jump jump = m_jumps.front();
                m_jumps.pop_front();
                if (jump == Jump::Next)
                    m_nextIndex = index + 1;
                else if (jump == Jump::Previous)
                    m_nextIndex = std::max(0, index - 1);
                else
                    m_nextIndex = 0;
            }
            m_seekTime.reset();
            m_isPaused = false;
            lock.unlock();
            if (file != nullptr)
                logFile(*file, false);
            if (!m_writer.sendStat("stop", index)) {
                m_endPair("peer");
                return Step::End;
            }
            return Step::Jump;
        }
        if (m_seekTime && file != nullptr) {
            const int64_t time = *m_seekTime;
            m_seekTime.reset();
            lock.unlock();
            if (!doSeek(*file, time))
                return Step::End;
            continue;
        }
        if (!m_isPaused)
            return Step::Continue;
        lock.unlock();
        // Paused: the simulated clock stands still, nothing is read.
        if (m_channel.waitIdle() == DataChannel::Result::Closed) {
            m_endPair("peer");
            return Step::End;
        }
        m_channel.drainWake();
    }
}

bool BoxPlayer::doSeek(FileState& file, int64_t time) {
    const int64_t rate = m_options.rateBytes;
    // time <= size / rate keeps time * rate within size: no overflow.
    int64_t offset = 0;
    if (time > 0)
        offset = time > file.size / rate ? file.size : time * rate;
    const auto seekSeq = m_writer.sendValue("seek", offset);
    if (!seekSeq) {
        m_endPair("peer");
        return false;
    }
    char byte = 0;
    int32_t seq = 0;
    int64_t value = 0;
    if (m_channel.discardToMark(false) != DataChannel::Result::Ok ||
        !readUrgent(byte, seq, value)) {
        logFile(file, false);
        m_endPair("peer");
        return false;
    }
    if (byte != '$' || value != offset || seq != *seekSeq) {
        logError("seek answered with '" + std::string(1, byte) + "' seq " + std::to_string(seq) +
                 " value " + std::to_string(value) + ", expected '$' seq " +
                 std::to_string(*seekSeq) + " value " + std::to_string(offset));
    }
    file.offset = offset;
    file.startTime = std::chrono::steady_clock::now();
    file.position = offset;
    file.sha.reset();
    if (!sendTime(file, false)) {
        m_endPair("peer");
        return false;
    }
    return true;
}

bool BoxPlayer::readUrgent(char& byte, int32_t& seq, int64_t& value) {
    uint8_t record[boxwire::kUrgentRecordBytes];
    if (m_channel.readExact(record, sizeof record) != DataChannel::Result::Ok)
        return false;
    byte = static_cast<char>(record[0]);
    seq = static_cast<int32_t>(kvu::ReadLe32(record + 1));
    value = static_cast<int64_t>(kvu::ReadLe64(record + 5));
    m_log.write(JsonLine("urgent")
                    .add("pair", m_pairId)
                    .add("byte", std::string_view(&byte, 1))
                    .add("seq", seq)
                    .add("value", value));
    return true;
}

bool BoxPlayer::sendTime(FileState& file, bool isFirst) {
    const int64_t rate = m_options.rateBytes;
    const int32_t total = clampToInt32(file.size / rate + (file.size % rate != 0 ? 1 : 0));
    file.lastTimeSent = clampToInt32(file.position / rate);
    return m_writer.sendTime(total, file.lastTimeSent, isFirst);
}

void BoxPlayer::logFile(FileState& file, bool isComplete) {
    if (file.size < 0)
        return;
    // A file with a hole (a forward seek skipped bytes) is not written.
    if (isComplete && file.sink.isWhole(file.size) && !file.sink.finish(file.size))
        logError("could not write \"" + file.name + "\" into the output directory");
    file.sink.abandon();
    m_log.write(JsonLine("file")
                    .add("pair", m_pairId)
                    .add("index", file.index)
                    .add("name", file.name)
                    .add("size", file.size)
                    .add("offset", file.offset)
                    .add("received", file.position - file.offset)
                    .add("sha256", file.sha.finishHex())
                    .add("complete", isComplete));
}

void BoxPlayer::logError(const std::string& text) {
    DebugPrint("BoxPlayer: pair %d: %s\n", m_pairId, text.c_str());
    m_log.write(JsonLine("error").add("pair", m_pairId).add("text", text));
}
