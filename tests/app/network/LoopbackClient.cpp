#include "LoopbackClient.h"

#include <algorithm>
#include <arpa/inet.h>
#include <cerrno>
#include <sys/socket.h>
#include <unistd.h>

LoopbackClient::LoopbackClient(std::uint16_t port, int receiveBufferBytes) {
    m_socket = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const timeval timeout{60, 0};
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

void LoopbackClient::FinishSending() const {
    ::shutdown(m_socket, SHUT_WR);
}

LoopbackClient::Received LoopbackClient::Receive(std::size_t maxBytes) {
    Received received;
    received.isConnected = IsConnected();
    char buffer[65536];
    while (received.bytes.size() < maxBytes) {
        const ssize_t count =
            ::recv(m_socket, buffer, std::min(sizeof buffer, maxBytes - received.bytes.size()), 0);
        if (count <= 0) {
            received.isTimedOut = count < 0 && (errno == EAGAIN || errno == EWOULDBLOCK);
            break;
        }
        received.bytes.append(buffer, static_cast<size_t>(count));
    }
    return received;
}

void LoopbackClient::Abandon() {
    const linger reset{1, 0};
    ::setsockopt(m_socket, SOL_SOCKET, SO_LINGER, &reset, sizeof reset);
    ::close(m_socket);
    m_socket = -1;
}

LoopbackClient::Received Fetch(std::uint16_t port, std::string_view request) {
    LoopbackClient client(port);
    if (!client.Send(request))
        return {};
    return client.Receive();
}
