#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

// The library's side of one Box link, in raw bytes: a command connection, then
// a data connection. A reader thread collects everything the Box writes on the
// data connection.
class RawBoxLink {
public:
    struct Status {
        std::string keyword;
        int32_t seq = 0;
        uint64_t value = 0;
        uint32_t low() const { return static_cast<uint32_t>(value); }
        uint32_t high() const { return static_cast<uint32_t>(value >> 32); }
        std::string state() const; // "stat": value bytes 0-3
    };
    static constexpr std::chrono::milliseconds kWait{10000};

    RawBoxLink(const std::string& address, uint16_t port);
    ~RawBoxLink();
    RawBoxLink(const RawBoxLink&) = delete;
    RawBoxLink& operator=(const RawBoxLink&) = delete;

    bool isConnected() const { return m_commandFd >= 0 && m_dataFd >= 0; }

    bool sendCommand(char byte, int32_t seq, int64_t value);
    bool sendCommand(char byte, int32_t seq, int64_t value, const std::string& extra);
    bool sendCommandBytes(const std::string& bytes);
    // The file-size or seek answer: first byte urgent, then seq and value,
    // each part in its own send.
    bool sendUrgent(char byte, int32_t seq, int64_t value);
    bool sendData(const std::string& bytes);
    // Writes without blocking until the Box stops taking bytes; the total.
    size_t fillData(size_t limitBytes);
    void closeCommand();
    void closeData();

    // Next 16-byte status record after the ones already taken that matches;
    // records before it are passed over.
    std::optional<Status> waitStatus(const std::function<bool(const Status&)>& predicate,
                                     std::chrono::milliseconds timeout = kWait);
    std::optional<Status> waitStat(const std::string& state, int32_t arg);
    std::optional<Status> waitKeyword(const std::string& keyword);
    // Waits until everything received so far satisfies the predicate; that.
    std::optional<std::string>
    waitReceived(const std::function<bool(const std::string&)>& predicate,
                 std::chrono::milliseconds timeout = kWait);
    // Waits until the Box closed the data connection; everything it sent.
    std::optional<std::string> waitClosed(std::chrono::milliseconds timeout = kWait);
    std::string received();

private:
    void readLoop();

    int m_commandFd = -1;
    int m_dataFd = -1;
    std::thread m_reader;
    std::mutex m_mutex; // guards m_received, m_isClosed
    std::condition_variable m_changed;
    std::string m_received;
    bool m_isClosed = false;
    size_t m_nextRecord = 0; // test thread only: offset of the next record to take
};

// Pseudo-random file content of the given size, different per seed.
std::string MakeContent(size_t bytes, uint32_t seed);
// "l" extra data: each name followed by a line feed.
std::string JoinNames(const std::initializer_list<std::string>& names);
