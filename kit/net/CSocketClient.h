#pragma once

#include <cstdint>

// One accepted TCP connection. Owns its socket and closes it when freed.
// Read and Write may run on one thread while Shutdown runs on another; Close
// belongs to the thread that owns the client.
class CSocketClient {
public:
    static constexpr int kInvalidSocket = -1;
    // Result codes of Read and Write besides a positive byte count.
    static constexpr int kSocketError = -1;
    static constexpr int kNotOpen = -4;
    static constexpr int kPeerClosed = -5;

    explicit CSocketClient(int socket);
    ~CSocketClient();
    CSocketClient(const CSocketClient&) = delete;
    CSocketClient& operator=(const CSocketClient&) = delete;

    // One receive of at most size bytes.
    int Read(void* buffer, int size);
    // One send of at most size bytes; it may send fewer.
    int Write(const void* buffer, int size);
    // Sends up to size bytes of file from its current position, which it
    // advances; results as Write.
    int WriteFile(int file, int size);
    void Close();

    // Stops both directions without releasing the descriptor, so that a Read
    // or Write blocked on another thread returns at once.
    void Shutdown();
    // How long one Read or Write may wait; 0 waits for ever.
    bool SetReceiveTimeout(int timeoutMs);
    bool SetSendTimeout(int timeoutMs);
    // While corked, only full segments leave (TCP_CORK): a reply's head and
    // the blocks of its body go out in as few packets as they fill.
    // Uncorking sends what was held back.
    bool SetCorked(bool isCorked);

    bool IsOpen() const { return m_socket != kInvalidSocket; }
    // The peer's IPv4 address in host byte order; 0 when it has none.
    std::uint32_t PeerAddress() const;

private:
    bool setTimeout(int option, int timeoutMs);

    int m_socket;
};
