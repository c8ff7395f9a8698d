#include "LoopbackClient.h"

#include <arpa/inet.h>
#include <cerrno>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

namespace {
constexpr int kReceiveTimeoutSeconds = 60;
}

LoopbackClient::LoopbackClient(std::uint16_t port, int receiveBufferBytes) {
    m_socket = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (m_socket < 0)
        return;
    timeval timeout{kReceiveTimeoutSeconds, 0};
    ::setsockopt(m_socket, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
    if (receiveBufferBytes > 0)
        ::setsockopt(m_socket, SOL_SOCKET, SO_RCVBUF, &receiveBufferBytes,
                     sizeof receiveBufferBytes);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(port);
    if (::connect(m_socket, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        ::close(m_socket);
        m_socket = -1;
    }
}

LoopbackClient::~LoopbackClient() {
    if (m_socket >= 0)
        ::close(m_socket);
}

bool LoopbackClient::Send(std::string_view data) {
    while (!data.empty()) {
        const ssize_t sent = ::send(m_socket, data.data(), data.size(), MSG_NOSIGNAL);
        if (sent <= 0)
            return false;
        data.remove_prefix(static_cast<size_t>(sent));
    }
    return true;
}

void LoopbackClient::FinishSending() {
    ::shutdown(m_socket, SHUT_WR);
}

LoopbackClient::Received LoopbackClient::ReceiveAll() {
    Received received;
    char buffer[65536];
    for (;;) {
        const ssize_t count = ::recv(m_socket, buffer, sizeof buffer, 0);
        if (count > 0) {
            received.bytes.append(buffer, static_cast<size_t>(count));
            continue;
        }
        received.isTimedOut = count < 0 && (errno == EAGAIN || errno == EWOULDBLOCK);
        return received;
    }
}

std::string LoopbackClient::Receive(size_t byteCount) {
    std::string bytes(byteCount, '\0');
    size_t length = 0;
    while (length < byteCount) {
        const ssize_t count = ::recv(m_socket, bytes.data() + length, byteCount - length, 0);
        if (count <= 0)
            break;
        length += static_cast<size_t>(count);
    }
    bytes.resize(length);
    return bytes;
}

void LoopbackClient::Abandon() {
    const linger reset{1, 0};
    ::setsockopt(m_socket, SOL_SOCKET, SO_LINGER, &reset, sizeof reset);
    ::close(m_socket);
    m_socket = -1;
}

LoopbackClient::Received Fetch(std::uint16_t port, std::string_view request) {
    LoopbackClient client(port);
    if (!client.IsConnected() || !client.Send(request))
        return {};
    LoopbackClient::Received received = client.ReceiveAll();
    received.isConnected = true;
    return received;
}
