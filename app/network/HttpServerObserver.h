#pragma once

#include "HttpServer.h"
#include "net/CServerObserver.h"

#include <atomic>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

class HttpStatusObserver;

// Answers each accepted connection with one file: reads the request head,
// takes the name from its GET line and sends the file if it is one of the
// served names, then closes the connection. A connection from another peer
// than the Box is closed at once; the others are served on a few connection
// threads of its own, so that one slow or silent client holds up only itself.
class HttpServer::HttpServerObserver : public kvu::net::CServerObserver {
public:
    static constexpr int kHeadBufferBytes = 10240;
    // Progress is reported per transfer block. The kernel copies the file to
    // the socket (no buffer of ours), up to a send call's bytes per call:
    // Stop is seen between calls, and calls this size keep them few per byte.
    static constexpr int kTransferBlockBytes = 65536;
    static constexpr int kSendCallBytes = 16 * kTransferBlockBytes;

    // Starts settings.maxConnections connection threads.
    HttpServerObserver(std::string rootDirectory, std::vector<std::string> servedNames,
                       const Settings& settings);
    // Aborts and joins the connection threads.
    ~HttpServerObserver() override;
    HttpServerObserver(const HttpServerObserver&) = delete;
    HttpServerObserver& operator=(const HttpServerObserver&) = delete;

    // On the server's worker: closes another peer's connection at once, else
    // hands it to a connection thread, waiting until one is free.
    bool OnAccept(CSocketClient* client) override;

    // Any thread. Not owned; may be null.
    void SetStatusObserver(HttpStatusObserver* observer) { m_statusObserver = observer; }
    // Any thread. Ends the transfers in progress at once and refuses every
    // later connection.
    void Abort();

    // Whether a connection from peer is answered when the Box is at box
    // (addresses in host byte order; see Settings::peerAddress).
    static bool IsAnswered(std::uint32_t peer, std::uint32_t box);

    // The name the last GET line of a request head asks for, or "" when no
    // line does: the token after "GET", tokens separated by spaces and
    // slashes, so "GET /a/b HTTP/1.1" names "a".
    static std::string RequestedName(std::string_view head);

private:
    void connectionMain();
    void serve(CSocketClient& client);
    bool readHead(CSocketClient& client, std::string& head);
    bool isServed(const std::string& name) const;
    void reply(const std::string& path, CSocketClient& client);
    bool writeAll(CSocketClient& client, const char* data, int size, std::uint32_t& sentBytes);
    bool sendBlock(CSocketClient& client, int file, int size, std::uint32_t& sentBytes);

    const std::string m_rootDirectory; // ends in "/"
    const std::vector<std::string> m_servedNames;
    const int m_headTimeoutMs;
    const int m_sendTimeoutMs;
    const std::uint32_t m_boxAddress;
    std::atomic<HttpStatusObserver*> m_statusObserver{nullptr};
    std::atomic<bool> m_isAborted{false};
    std::mutex m_clientMutex; // guards m_waiting, m_served and m_idleThreads
    std::condition_variable m_clientsChanged;
    std::deque<CSocketClient*> m_waiting; // owned; handed over by OnAccept
    std::vector<CSocketClient*> m_served; // owned by the threads serving them
    int m_idleThreads = 0;
    // Last: they start once everything above exists, and are joined first.
    std::vector<std::thread> m_threads;
};
