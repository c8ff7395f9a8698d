#include "CTcpStreamer.h"

#include "DebugPrint.h"

#include <arpa/inet.h>
#include <cerrno>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

namespace kvu::io {

namespace {

int mapFlags(int32_t flags) {
    return ((flags & kStreamFlagOutOfBand) != 0 ? MSG_OOB : 0) |
           ((flags & kStreamFlagDontWait) != 0 ? MSG_DONTWAIT : 0);
}

int32_t fail(const char* message, int32_t code) {
    DebugPrint("%s(%d, %d)\n", message, code, errno);
    return code;
}

} // namespace

// What this stream reads are the Box's small status records. A Box that
// writes them without TCP_NODELAY holds each record until the one before is
// acknowledged, and the kernel delays that acknowledgement (up to 40 ms)
// while it expects to piggyback it on data going out. Quick acknowledgement
// is not permanent on Linux: it is asked for again after every receive,
// which also sends an acknowledgement that is due at once.
void CTcpStreamer::acknowledgeAtOnce(int fd) {
    const int one = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_QUICKACK, &one, sizeof one);
}

CTcpStreamer::~CTcpStreamer() {
    CTcpStreamer::Close();
    retireSockets();
}

int32_t CTcpStreamer::Open(const char* host, int32_t port) {
    if (host == nullptr)
        return kStreamBadArgument;
    retireSockets();
    m_port = port;
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, IPPROTO_TCP);
    if (fd < 0)
        return fail("Open socket failed!", kStreamSocketFailed);

    m_address = {};
    m_address.sin_family = AF_INET;
    m_address.sin_port = htons(static_cast<uint16_t>(port));
    // A dotted literal only, no name lookup; anything else stays INADDR_NONE
    // and the connect fails.
    if (::inet_pton(AF_INET, host, &m_address.sin_addr) != 1)
        m_address.sin_addr.s_addr = INADDR_NONE;

    {
        std::lock_guard lock(m_retiredMutex);
        if (m_isAborted) {
            ::close(fd);
            errno = ECANCELED;
            return fail("Open connection failed!", kStreamConnectFailed);
        }
        // Published before connecting so that Close can end the connect.
        m_socket = fd;
    }
    int result;
    do {
        result = ::connect(fd, reinterpret_cast<const sockaddr*>(&m_address), sizeof m_address);
    } while (result != 0 && errno == EINTR && m_socket.load() == fd);
    if (result != 0 || m_socket.load() != fd)
        return fail("Open connection failed!", kStreamConnectFailed);
    m_isConnected = true;
    // Records go out in parts (mark, sequence, value) and data in large
    // writes: none of them should wait for the acknowledgement of the bytes
    // before, which a Box may delay.
    const int one = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    acknowledgeAtOnce(fd);
    // A Close that ran between the connect and the flag must still win.
    if (m_socket.load() != fd) {
        m_isConnected = false;
        return fail("Open connection failed!", kStreamConnectFailed);
    }
    return kStreamOk;
}

void CTcpStreamer::Close() {
    const int fd = m_socket.exchange(-1);
    m_isConnected = false;
    if (fd < 0)
        return;
    // shutdown wakes a thread blocked in connect, recv or send on it.
    ::shutdown(fd, SHUT_RDWR);
    std::lock_guard lock(m_retiredMutex);
    m_retired.push_back(fd);
}

void CTcpStreamer::Abort() {
    {
        std::lock_guard lock(m_retiredMutex);
        m_isAborted = true;
    }
    Close();
}

void CTcpStreamer::retireSockets() {
    std::lock_guard lock(m_retiredMutex);
    for (int fd : m_retired)
        ::close(fd);
    m_retired.clear();
}

int32_t CTcpStreamer::Read(void* buffer, int32_t size, int32_t flags) {
    const int fd = m_socket.load();
    if (fd < 0) {
        errno = EBADF;
        return fail("Invalid socket!", kStreamNoSocket);
    }
    ssize_t count;
    do {
        count = ::recv(fd, buffer, static_cast<size_t>(size), mapFlags(flags));
    } while (count < 0 && errno == EINTR);
    if (count < 0 && (errno == EAGAIN || errno == EWOULDBLOCK))
        return kStreamTimedOut;
    if (count <= 0)
        return fail("Read socket failed!", kStreamReceiveFailed);
    acknowledgeAtOnce(fd);
    return static_cast<int32_t>(count);
}

int32_t CTcpStreamer::Write(const void* buffer, int32_t size, int32_t flags) {
    const int fd = m_socket.load();
    if (fd < 0) {
        errno = EBADF;
        return fail("Invalid socket!", kStreamNoSocket);
    }
    ssize_t count;
    do {
        count = ::send(fd, buffer, static_cast<size_t>(size), mapFlags(flags) | MSG_NOSIGNAL);
    } while (count < 0 && errno == EINTR);
    if (count <= 0)
        return fail("Write socket failed!", kStreamSendFailed);
    return static_cast<int32_t>(count);
}

int32_t CTcpStreamer::SetOption(int32_t option, const void* value) {
    const int fd = m_socket.load();
    if (fd < 0) {
        errno = EBADF;
        return fail("Invalid socket!", kStreamNoSocket);
    }
    if (value == nullptr)
        return kStreamBadArgument;
    int result = -1;
    if (option == kStreamOptionSendBuffer) {
        result = ::setsockopt(fd, SOL_SOCKET, SO_SNDBUF, value, sizeof(int32_t));
    } else if (option == kStreamOptionReceiveTimeout) {
        const int32_t ms = *static_cast<const int32_t*>(value);
        const timeval timeout{ms / 1000, static_cast<suseconds_t>(ms % 1000) * 1000};
        result = ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
    } else {
        return kStreamBadArgument;
    }
    if (result != 0)
        return fail("Set option failed!", kStreamOptionFailed);
    return kStreamOk;
}

bool CTcpStreamer::IsOpen() const {
    return m_socket.load() >= 0 && m_isConnected.load();
}

} // namespace kvu::io
