#include "DataChannel.h"

#include <poll.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>

DataChannel::Result DataChannel::waitReadable(bool watchWake) {
    pollfd fds[2] = {{m_dataFd, POLLIN | POLLPRI, 0}, {m_wakeFd, POLLIN, 0}};
    for (;;) {
        const int ready = ::poll(fds, watchWake ? 2 : 1, -1);
        if (ready < 0 && errno == EINTR)
            continue;
        if (ready < 0)
            return Result::Closed;
        if (watchWake && (fds[1].revents & POLLIN) != 0)
            return Result::Woken;
        // Errors and hang-ups are reported by the recv() that follows.
        return Result::Ok;
    }
}

DataChannel::Result DataChannel::readSome(void* buffer, size_t maxBytes, size_t& gotBytes,
                                          bool watchWake) {
    gotBytes = 0;
    for (;;) {
        const Result waited = waitReadable(watchWake);
        if (waited != Result::Ok)
            return waited;
        const ssize_t got = ::recv(m_dataFd, buffer, maxBytes, MSG_DONTWAIT);
        if (got > 0) {
            gotBytes = static_cast<size_t>(got);
            return Result::Ok;
        }
        if (got < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR))
            continue;
        return Result::Closed;
    }
}

DataChannel::Result DataChannel::readExact(void* buffer, size_t bytes) {
    auto p = static_cast<uint8_t*>(buffer);
    while (bytes > 0) {
        size_t got = 0;
        const Result result = readSome(p, bytes, got, false);
        if (result != Result::Ok)
            return result;
        p += got;
        bytes -= got;
    }
    return Result::Ok;
}

DataChannel::Result DataChannel::discardToMark(bool watchWake) {
    uint8_t scratch[65536];
    for (;;) {
        // Poll first: an urgent byte that arrives while we wait must be seen
        // as the mark, not swallowed by a recv() that started before it.
        const Result waited = waitReadable(watchWake);
        if (waited != Result::Ok)
            return waited;
        int isAtMark = 0;
        if (::ioctl(m_dataFd, SIOCATMARK, &isAtMark) < 0)
            return Result::Closed;
        if (isAtMark != 0)
            return Result::Ok;
        const ssize_t got = ::recv(m_dataFd, scratch, sizeof scratch, MSG_DONTWAIT);
        if (got == 0 || (got < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR))
            return Result::Closed;
    }
}

DataChannel::Result DataChannel::waitIdle() {
    pollfd fds[2] = {{m_dataFd, POLLRDHUP, 0}, {m_wakeFd, POLLIN, 0}};
    for (;;) {
        const int ready = ::poll(fds, 2, -1);
        if (ready < 0 && errno == EINTR)
            continue;
        if (ready < 0 || (fds[0].revents & (POLLRDHUP | POLLHUP | POLLERR)) != 0)
            return Result::Closed;
        if ((fds[1].revents & POLLIN) != 0)
            return Result::Woken;
    }
}

void DataChannel::drainWake() {
    uint64_t count = 0;
    while (::read(m_wakeFd, &count, sizeof count) > 0) {
    }
}
