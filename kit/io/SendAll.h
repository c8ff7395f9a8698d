#pragma once

#include <cstddef>
#include <cstdint>

namespace kvu::io {

// The one loop that writes a whole buffer: write(pointer, count) returns the
// bytes it took, or 0 or less for a failure; short writes are continued.
// False when a write failed.
template <typename Write> bool WriteFully(Write&& write, const void* data, size_t bytes) {
    auto next = static_cast<const uint8_t*>(data);
    while (bytes > 0) {
        const auto written = write(next, bytes);
        if (written <= 0)
            return false;
        next += written;
        bytes -= static_cast<size_t>(written);
    }
    return true;
}

// Sends all bytes on a socket (EINTR retried, no SIGPIPE); false when the peer
// has gone.
bool SendAll(int fd, const void* data, size_t bytes, int flags = 0);

} // namespace kvu::io
