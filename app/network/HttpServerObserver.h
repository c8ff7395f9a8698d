#pragma once

#include "HttpServer.h"
#include "net/CServerObserver.h"

#include <atomic>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

class HttpStatusObserver;

// Answers each accepted connection with one file: reads the request head,
// takes the name from its GET line and sends the file if it is one of the
// served names, then closes the connection. Runs on the server's worker.
class HttpServer::HttpServerObserver : public kvu::net::CServerObserver {
public:
    static constexpr int kHeadBufferBytes = 10240;
    // Progress is reported per transfer block. The kernel copies the file to
    // the socket (no buffer of ours), up to a send call's bytes per call:
    // Stop is seen between calls, and calls this size keep them few per byte.
    static constexpr int kTransferBlockBytes = 65536;
    static constexpr int kSendCallBytes = 16 * kTransferBlockBytes;

    HttpServerObserver(std::string rootDirectory, std::vector<std::string> servedNames,
                       int headTimeoutMs, int sendTimeoutMs);

    bool OnAccept(CSocketClient* client) override;

    // Any thread. Not owned; may be null.
    void SetStatusObserver(HttpStatusObserver* observer) { m_statusObserver = observer; }
    // Any thread. Ends the transfer in progress at once and refuses every
    // later connection.
    void Abort();

    // The name the last GET line of a request head asks for, or "" when no
    // line does: the token after "GET", tokens separated by spaces and
    // slashes, so "GET /a/b HTTP/1.1" names "a".
    static std::string RequestedName(std::string_view head);

private:
    bool readHead(CSocketClient& client, std::string& head);
    bool isServed(const std::string& name) const;
    void reply(const std::string& path, CSocketClient& client);
    bool writeAll(CSocketClient& client, const char* data, int size, std::uint32_t& sentBytes);
    bool sendBlock(CSocketClient& client, int file, int size, std::uint32_t& sentBytes);

    const std::string m_rootDirectory; // ends in "/"
    const std::vector<std::string> m_servedNames;
    const int m_headTimeoutMs;
    const int m_sendTimeoutMs;
    std::atomic<HttpStatusObserver*> m_statusObserver{nullptr};
    std::atomic<bool> m_isAborted{false};
    std::mutex m_clientMutex; // guards m_currentClient
    CSocketClient* m_currentClient = nullptr;
};
