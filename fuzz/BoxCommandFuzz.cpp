// The simulated Box's command parser, fed any bytes on its command
// connection: it must answer, log an error or end the pair, never crash or
// hang. The pair runs on socket pairs; the test's ends only feed and drain.
#include "BoxOptions.h"
#include "BoxPair.h"
#include "EventLog.h"

#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cstddef>
#include <cstdint>

namespace {

// Reads whatever is waiting on fd without blocking.
void drain(int fd) {
    char buffer[65536];
    while (::recv(fd, buffer, sizeof buffer, MSG_DONTWAIT) > 0) {
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    int command[2];
    int dataPair[2];
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, command) != 0)
        return 0;
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, dataPair) != 0) {
        ::close(command[0]);
        ::close(command[1]);
        return 0;
    }
    BoxOptions options;
    options.isHashing = false;
    EventLog log;
    std::atomic<bool> hasEnded{false};
    {
        BoxPair pair(1, command[1], dataPair[1], options, log, [&hasEnded] { hasEnded = true; });
        pair.start();
        size_t sent = 0;
        while (sent < size && !hasEnded) {
            const ssize_t count =
                ::send(command[0], data + sent, size - sent, MSG_DONTWAIT | MSG_NOSIGNAL);
            if (count > 0)
                sent += static_cast<size_t>(count);
            drain(dataPair[0]);
            drain(command[0]);
            pollfd wait{command[0], POLLOUT, 0};
            ::poll(&wait, 1, 10);
        }
        // The peer is gone: the pair ends at the end of its input.
        ::shutdown(command[0], SHUT_WR);
        ::shutdown(dataPair[0], SHUT_WR);
        for (int i = 0; i < 500 && !hasEnded; ++i) {
            drain(dataPair[0]);
            drain(command[0]);
            pollfd wait{dataPair[0], POLLIN, 0};
            ::poll(&wait, 1, 10);
        }
        pair.end("shutdown");
        pair.join();
    }
    ::close(command[0]);
    ::close(dataPair[0]);
    return 0;
}
