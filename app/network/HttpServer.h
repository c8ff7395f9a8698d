#pragma once

#include "net/CSocketServer.h"

#include <cstdint>
#include <memory>
#include <netinet/in.h>
#include <string>
#include <vector>

class HttpStatusObserver;

// A minimal HTTP/1.1 server that hands a few named files of one directory to
// the Box: one GET per connection, answered with the whole file or, for
// anything else, by closing the connection without a reply. It answers only
// the Box's address and serves several connections at once, so that no other
// peer, and no connection that sends nothing, holds up the Box's requests.
class HttpServer {
public:
    class HttpServerObserver;

    struct Settings {
        std::uint16_t port = kvu::net::CSocketServer::kDefaultPort; // 0: see BoundPort
        // Listened on (host byte order): the PC's address facing the Box.
        in_addr_t address = INADDR_ANY;
        // The only peer answered (host byte order); others are closed at once.
        // INADDR_ANY answers every peer. A Box on loopback is a program of
        // this machine, whose connections may come from any loopback address.
        in_addr_t peerAddress = INADDR_ANY;
        // A client gets this long to deliver its whole request head; a send
        // of the body gives up when the client has read nothing for this long.
        int headTimeoutMs = 5000;
        int sendTimeoutMs = 15000;
        // Connections served at once; further ones wait to be accepted.
        int maxConnections = 4;
    };

    HttpServer();
    explicit HttpServer(const Settings& settings);
    ~HttpServer();
    HttpServer(const HttpServer&) = delete;
    HttpServer& operator=(const HttpServer&) = delete;

    // Serves the regular files named in servedNames that lie directly in
    // rootDirectory. A name must be a plain file name. Restarts a started
    // server. Runs on the owner's thread, as do Stop and SetStatusObserver.
    bool Start(const std::string& rootDirectory, const std::vector<std::string>& servedNames);
    // Abandons a transfer in progress and returns once the worker has ended.
    bool Stop();

    // Set after a successful Start; not owned; Stop clears it.
    void SetStatusObserver(HttpStatusObserver* observer);
    // The port listened on, or 0 when not listening.
    std::uint16_t BoundPort() const;

private:
    Settings m_settings;
    std::unique_ptr<HttpServerObserver> m_responder;
    std::unique_ptr<kvu::net::CSocketServer> m_server;
};
