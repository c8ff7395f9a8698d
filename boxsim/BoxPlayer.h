#pragma once

#include "BoxOptions.h"
#include "DataChannel.h"
#include "EventLog.h"
#include "FileSink.h"
#include "Sha256Digest.h"
#include "StatusWriter.h"

#include <atomic>
#include <chrono>
#include <deque>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

// The Box's player for one pair: on its own thread it walks the play list,
// asks the peer for each file ("stat" "play"), reads the file from the data
// connection and reports the simulated playing time. The command thread steers
// it through the control calls, which only record the request and wake it.
class BoxPlayer {
public:
    enum class Jump { Next, Previous, Restart };
    using EndPair = std::function<void(std::string_view reason)>;

    BoxPlayer(int pairId, int dataFd, const BoxOptions& options, EventLog& log,
              StatusWriter& writer, EndPair endPair);
    ~BoxPlayer();
    BoxPlayer(const BoxPlayer&) = delete;
    BoxPlayer& operator=(const BoxPlayer&) = delete;

    void start();
    // Makes the thread return; the pair shuts the data connection down first
    // so that no read blocks. Callable from any thread.
    void stop();
    // Joins the thread; called by the pair's owner after stop().
    void join();

    // Controls, called on the command thread.
    // The play list; a new one applies from the next entry the Box asks for.
    void setList(std::vector<std::string> names);
    // Starts (or restarts) the list at index 0.
    void play();
    void setPaused(bool isPaused);
    void jump(Jump jump);
    void seek(int64_t time);
    int32_t currentIndex() const { return m_currentIndex.load(); }
    // True from "L" until the list is done, so controls sent right after "L"
    // are not lost.
    bool isPlaying();

private:
    // The file being read: where it stands and what has arrived.
    struct FileState {
        int32_t index = 0;
        std::string name;
        int64_t size = -1;         // from the "F" record; -1 until it arrived
        int64_t offset = 0;        // where the last seek put the stream
        int64_t position = 0;      // absolute offset of the next byte
        int64_t closeAtBytes = -1; // close-mid-file fault: drop the pair here
        int32_t lastTimeSent = 0;
        Sha256Digest sha; // of the bytes from offset on
        std::chrono::steady_clock::time_point startTime = std::chrono::steady_clock::now();
        FileSink sink;
    };
    enum class Step { Continue, Jump, End };

    void run();
    void setListActive(bool isActive);
    bool waitForList();
    void playList();
    // The entry's name, or nothing when index is past the end of the list.
    std::optional<std::string> entry(int32_t index);
    int32_t listCount();
    void readNothing();
    // Plays entry index; returns the next index, or nothing when the pair ended.
    std::optional<int32_t> playFile(int32_t index);
    bool readFileSize(FileState& file, Step& step);
    bool readFileBytes(FileState& file, Step& step);
    Step checkControls(FileState* file);
    bool isAheadOfReadRate(const FileState& file);
    bool doSeek(FileState& file, int64_t time);
    bool readUrgent(char& byte, int32_t& seq, int64_t& value);
    bool sendTime(FileState& file, bool isFirst);
    void logFile(FileState& file, bool isComplete);
    void logError(const std::string& text);
    void wake();

    const int m_pairId;
    const BoxOptions& m_options;
    EventLog& m_log;
    StatusWriter& m_writer;
    const EndPair m_endPair;
    const int m_wakeFd; // eventfd: a control is pending
    DataChannel m_channel;
    std::thread m_thread;

    std::mutex m_mutex; // guards the play list and the controls below
    std::vector<std::string> m_list;
    bool m_isStartRequested = false;
    std::deque<Jump> m_jumps; // each one abandons a file: two quick "N" skip two
    std::optional<int64_t> m_seekTime;
    bool m_isPaused = false;
    bool m_isStopping = false;
    bool m_isListActive = false;

    std::atomic<int32_t> m_currentIndex{0};

    // Player thread only.
    int32_t m_nextIndex = 0;
    bool m_isCloseMidFileArmed = false;
};
