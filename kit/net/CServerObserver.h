#pragma once

class CSocketClient;

namespace kvu::net {

// Handles the connections a CSocketServer accepts, on the server's worker
// thread. Not owned by the server.
class CServerObserver {
public:
    virtual ~CServerObserver() = default;
    // Returning false means the observer took the client: it has closed and
    // freed it. Returning true leaves the client to the server until Stop.
    virtual bool OnAccept(CSocketClient* client) = 0;
};

} // namespace kvu::net
