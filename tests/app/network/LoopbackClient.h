#pragma once

#include <cstdint>
#include <string>
#include <string_view>

// A blocking TCP client on 127.0.0.1 for tests. Every receive gives up after
// a generous time-out, so a server that hangs fails the test instead of
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
    ~LoopbackClient();
    LoopbackClient(const LoopbackClient&) = delete;
    LoopbackClient& operator=(const LoopbackClient&) = delete;

    bool IsConnected() const { return m_socket >= 0; }
    bool Send(std::string_view data);
    // Ends the sending direction, as a client does after its request.
    void FinishSending();
    // Reads until the server closes the connection (or resets it).
    Received ReceiveAll();
    // Reads until byteCount bytes arrived or the connection ended.
    std::string Receive(size_t byteCount);
    // Closes with a reset instead of an orderly close.
    void Abandon();

private:
    int m_socket = -1;
};

// Sends a request and returns all the server replies until it closes.
LoopbackClient::Received Fetch(std::uint16_t port, std::string_view request);
