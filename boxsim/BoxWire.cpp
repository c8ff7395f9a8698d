#include "BoxWire.h"

#include <cerrno>
#include <sys/socket.h>

namespace boxwire {

bool SendAll(int fd, const void* data, size_t bytes, int flags) {
    auto p = static_cast<const char*>(data);
    while (bytes > 0) {
        const ssize_t sent = ::send(fd, p, bytes, flags | MSG_NOSIGNAL);
        if (sent < 0 && errno == EINTR)
            continue;
        if (sent <= 0)
            return false;
        p += sent;
        bytes -= static_cast<size_t>(sent);
    }
    return true;
}

} // namespace boxwire
