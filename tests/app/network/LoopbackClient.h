#pragma once

#include <cstdint>
#include <string>
#include <string_view>

// A blocking TCP client on 127.0.0.1 for tests. Receives give up after a
// generous time-out, so a server that hangs fails the test instead of
// hanging it.
class LoopbackClient {
public:
    struct Received {
        std::string bytes;
        bool isConnected = false; // connected and the request sent
        bool isTimedOut = false;  // the server neither sent nor closed
    };

    // receiveBufferBytes > 0 pins the socket's receive buffer to that size.
    explicit LoopbackClient(std::uint16_t port, int receiveBufferBytes = 0);
    // From the local address from to the address to (dotted IPv4 texts), for
    // tests with addresses of their own beside loopback.
    LoopbackClient(const char* from, const char* to, std::uint16_t port);
    ~LoopbackClient();
    LoopbackClient(const LoopbackClient&) = delete;
    LoopbackClient& operator=(const LoopbackClient&) = delete;

    bool IsConnected() const { return m_socket >= 0; }
    bool Send(std::string_view data);
    void FinishSending() const;
    // Reads until the server closes (or resets) the connection, or at most
    // maxBytes.
    Received Receive(std::size_t maxBytes = SIZE_MAX);
    // Closes with a reset instead of an orderly close.
    void Abandon();

private:
    int m_socket = -1;
};

// Sends a request and returns all the server replies until it closes.
LoopbackClient::Received Fetch(std::uint16_t port, std::string_view request);
