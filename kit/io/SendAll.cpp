#include "SendAll.h"

#include <cerrno>
#include <sys/socket.h>

namespace kvu::io {

bool SendAll(int fd, const void* data, size_t bytes, int flags) {
    return WriteFully(
        [fd, flags](const uint8_t* next, size_t count) {
            ssize_t sent;
            do {
                sent = ::send(fd, next, count, flags | MSG_NOSIGNAL);
            } while (sent < 0 && errno == EINTR);
            return sent;
        },
        data, bytes);
}

} // namespace kvu::io
