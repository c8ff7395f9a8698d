#pragma once

#include "CStreamer.h"

#include <atomic>
#include <mutex>
#include <netinet/in.h>
#include <vector>

namespace kvu::io {

// A blocking IPv4 TCP client stream. Close may run on one thread while another
// is blocked in Read, Write or Open on the same stream: the blocked call then
// fails with its usual code.
class CTcpStreamer : public CStreamer {
public:
    CTcpStreamer() = default;
    ~CTcpStreamer() override;
    CTcpStreamer(const CTcpStreamer&) = delete;
    CTcpStreamer& operator=(const CTcpStreamer&) = delete;

    int32_t Open(const char* host, int32_t port) override;
    void Close() override;
    int32_t Read(void* buffer, int32_t size, int32_t flags) override;
    int32_t Write(const void* buffer, int32_t size, int32_t flags) override;
    int32_t SetOption(int32_t option, const void* value) override;
    bool IsOpen() const override;

    // Closes for good: a connect in progress ends at once and every later Open
    // fails. This is how an owner ends a worker stuck connecting to a silent
    // host without waiting for the kernel's time-out.
    void Abort() override;

private:
    void retireSockets();
    static void acknowledgeAtOnce(int fd);

    int32_t m_port = 0;
    std::atomic<int> m_socket{-1};
    sockaddr_in m_address{};
    std::atomic<bool> m_isConnected{false};
    std::atomic<bool> m_isAborted{false};

    // A closed socket's descriptor is released only when no other thread can
    // still be about to use it (next Open or destruction); closing it at once
    // would let a new file reuse the number under a blocked reader's feet.
    std::mutex m_retiredMutex; // guards m_retired and the abort/open hand-over
    std::vector<int> m_retired;
};

} // namespace kvu::io
