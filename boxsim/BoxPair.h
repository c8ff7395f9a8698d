#pragma once

#include "BoxOptions.h"
#include "BoxPlayer.h"
#include "BoxUpgrade.h"
#include "EventLog.h"
#include "StatusWriter.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

// One command connection and the data connection that followed it: the
// command thread reads and answers commands, the player reads files, the
// upgrade fetches and writes firmware. Ending
// the pair shuts both sockets down, which unblocks every read and write; the
// owner then joins and destroys it.
class BoxPair {
public:
    // Takes ownership of both sockets. onEnded runs (on any thread) when the
    // pair has ended and is ready to be joined.
    BoxPair(int id, int commandFd, int dataFd, const BoxOptions& options, EventLog& log,
            std::function<void()> onEnded);
    ~BoxPair();
    BoxPair(const BoxPair&) = delete;
    BoxPair& operator=(const BoxPair&) = delete;

    void start();
    // Logs "closed" with the reason and shuts the sockets down; only the first
    // call counts. Callable from any thread.
    void end(std::string_view reason);
    bool hasEnded() const { return m_hasEnded.load(); }
    // Waits for the pair's threads; not from one of them.
    void join();

private:
    struct Command {
        char byte = 0;
        int32_t seq = 0;
        int64_t value = 0;
        std::string extra;
    };

    void runCommands();
    bool readCommand(Command& command);
    bool readExact(void* buffer, size_t bytes);
    void logCommand(const Command& command, const std::vector<std::string>& names);
    void handle(const Command& command);
    bool replyVolume();
    void logError(const std::string& text);

    const int m_id;
    const int m_commandFd;
    const int m_dataFd;
    const BoxOptions& m_options;
    EventLog& m_log;
    const std::function<void()> m_onEnded;
    StatusWriter m_writer;
    BoxPlayer m_player;
    BoxUpgrade m_upgrade;
    std::thread m_commandThread;
    std::atomic<bool> m_hasEnded{false};

    // Command thread only.
    int32_t m_volume = 50;
    int32_t m_repeat = 0;
};
