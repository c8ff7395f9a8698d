#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace kvu::io {

// Status codes of the stream operations; every negative value is a failure.
enum StreamStatus : int32_t {
    kStreamOk = 0,
    kStreamBadArgument = -2,
    kStreamSocketFailed = -3,
    kStreamConnectFailed = -4,
    kStreamNoSocket = -5,
    kStreamReceiveFailed = -6,
    kStreamSendFailed = -7,
    kStreamOptionFailed = -8,
    kStreamTimedOut = -9, // Read: nothing came within the receive time-out
};

// Flags of Read and Write.
enum StreamFlag : int32_t {
    kStreamFlagOutOfBand = 1,
    // Write only: fail instead of waiting for room in the send buffer.
    kStreamFlagDontWait = 4,
};

// Options of SetOption, each a 4-byte value: the send-buffer size in bytes,
// and how long a Read waits for a byte before it gives kStreamTimedOut, in
// milliseconds (0: for ever).
inline constexpr int32_t kStreamOptionSendBuffer = 1;
inline constexpr int32_t kStreamOptionReceiveTimeout = 2;

class CStreamer {
public:
    virtual ~CStreamer() = default;
    virtual int32_t Open(const char* host, int32_t port) = 0;
    virtual void Close() = 0;
    // Byte count on success, else a negative status.
    virtual int32_t Read(void* buffer, int32_t size, int32_t flags) = 0;
    virtual int32_t Write(const void* buffer, int32_t size, int32_t flags) = 0;
    virtual int32_t SetOption(int32_t option, const void* value) = 0;
    virtual bool IsOpen() const = 0;
    // Closes, from any thread, and keeps the stream from opening again.
    virtual void Abort() { Close(); }

    // Writes all size bytes, continuing after short writes; false when a
    // write fails.
    bool WriteAll(const void* data, size_t size, int32_t flags = 0);

    // Remembers host and port, closes, and opens again.
    int32_t Connect(const char* host, int32_t port);

protected:
    std::string m_host;
};

} // namespace kvu::io
