#include "CSocketClient.h"

#include "DebugPrint.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <pthread.h>
#include <sys/sendfile.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

namespace {

// The count of a receive or send, the peer's close, or an error, whose line
// goes to standard output.
int resultOf(ssize_t result, const char* errorLine) {
    if (result == 0)
        return CSocketClient::kPeerClosed;
    if (result < 0) {
        std::printf(errorLine, static_cast<int>(result));
        return CSocketClient::kSocketError;
    }
    return static_cast<int>(result);
}

} // namespace

CSocketClient::CSocketClient(int socket) : m_socket(socket) {}

CSocketClient::~CSocketClient() {
    Close();
}

std::uint32_t CSocketClient::PeerAddress() const {
    sockaddr_in peer{};
    socklen_t length = sizeof peer;
    if (m_socket == kInvalidSocket ||
        ::getpeername(m_socket, reinterpret_cast<sockaddr*>(&peer), &length) != 0 ||
        peer.sin_family != AF_INET)
        return 0;
    return ntohl(peer.sin_addr.s_addr);
}

int CSocketClient::Read(void* buffer, int size) {
    if (m_socket == kInvalidSocket)
        return kNotOpen;
    ssize_t result;
    do {
        result = ::recv(m_socket, buffer, static_cast<size_t>(size), 0);
    } while (result < 0 && errno == EINTR);
    return resultOf(result, "CSocketClient::Read(): Read error(%d)\n");
}

int CSocketClient::Write(const void* buffer, int size) {
    if (m_socket == kInvalidSocket)
        return kNotOpen;
    ssize_t result;
    // A peer that has gone must end this send with an error, not the process
    // with SIGPIPE.
    do {
        result = ::send(m_socket, buffer, static_cast<size_t>(size), MSG_NOSIGNAL);
    } while (result < 0 && errno == EINTR);
    return resultOf(result, "CSocketClient::Write(): Write error(%d)\n");
}

int CSocketClient::WriteFile(int file, int size) {
    if (m_socket == kInvalidSocket)
        return kNotOpen;
    // sendfile() has no MSG_NOSIGNAL: SIGPIPE is held back on this thread for
    // the call, and one it raised is taken before the mask is restored. It is
    // raised even when part of the block went out, so look whatever the result.
    sigset_t pipeSignal;
    sigemptyset(&pipeSignal);
    sigaddset(&pipeSignal, SIGPIPE);
    sigset_t previous;
    pthread_sigmask(SIG_BLOCK, &pipeSignal, &previous);
    ssize_t result;
    do {
        result = ::sendfile(m_socket, file, nullptr, static_cast<size_t>(size));
    } while (result < 0 && errno == EINTR);
    const int error = errno;
    const timespec now{};
    while (sigtimedwait(&pipeSignal, nullptr, &now) == SIGPIPE) {
    }
    pthread_sigmask(SIG_SETMASK, &previous, nullptr);
    errno = error;
    return resultOf(result, "CSocketClient::Write(): Write error(%d)\n");
}

void CSocketClient::Close() {
    if (m_socket == kInvalidSocket)
        return;
    ::shutdown(m_socket, SHUT_RDWR);
    ::close(m_socket);
    m_socket = kInvalidSocket;
}

void CSocketClient::Shutdown() {
    if (m_socket != kInvalidSocket)
        ::shutdown(m_socket, SHUT_RDWR);
}

bool CSocketClient::SetReceiveTimeout(int timeoutMs) {
    return setTimeout(SO_RCVTIMEO, timeoutMs);
}

bool CSocketClient::SetSendTimeout(int timeoutMs) {
    return setTimeout(SO_SNDTIMEO, timeoutMs);
}

bool CSocketClient::setTimeout(int option, int timeoutMs) {
    if (m_socket == kInvalidSocket)
        return false;
    timeval timeout{};
    timeout.tv_sec = timeoutMs / 1000;
    timeout.tv_usec = static_cast<suseconds_t>(timeoutMs % 1000) * 1000;
    if (::setsockopt(m_socket, SOL_SOCKET, option, &timeout, sizeof timeout) != 0) {
        DebugPrint("CSocketClient::setTimeout(): setsockopt failed: 0x%08x\n",
                   static_cast<unsigned>(errno));
        return false;
    }
    return true;
}

bool CSocketClient::SetCorked(bool isCorked) {
    const int value = isCorked ? 1 : 0;
    return m_socket != kInvalidSocket &&
           ::setsockopt(m_socket, IPPROTO_TCP, TCP_CORK, &value, sizeof value) == 0;
}
