#pragma once

#include "BoxOptions.h"
#include "BoxPair.h"
#include "EventLog.h"

#include <cstdint>
#include <list>
#include <memory>
#include <string>

// Listens on the Box's command port and pairs accepted connections in arrival
// order: the first is a pair's command connection, the next its data
// connection. Runs on the calling thread until the stop descriptor becomes
// readable.
class BoxServer {
public:
    BoxServer(const BoxOptions& options, EventLog& log);
    ~BoxServer();
    BoxServer(const BoxServer&) = delete;
    BoxServer& operator=(const BoxServer&) = delete;

    // Binds and listens; false (with error set) when that fails.
    bool listen(std::string& error);
    uint16_t port() const { return m_port; }
    // Serves until stopFd is readable, then ends every pair.
    void run(int stopFd);

private:
    void accept();
    void dropPendingCommand();
    void reapEndedPairs();
    void logError(const std::string& text);

    const BoxOptions& m_options;
    EventLog& m_log;
    int m_listenFd = -1;
    uint16_t m_port = 0;
    int m_reapFd = -1;           // eventfd: some pair has ended
    int m_pendingCommandFd = -1; // command connection still waiting for its data connection
    int m_pairCount = 0;
    std::list<std::unique_ptr<BoxPair>> m_pairs;
};
