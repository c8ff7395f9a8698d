#include "LoopbackClient.h"

#include <algorithm>
#include <arpa/inet.h>
#include <cerrno>
#include <sys/socket.h>
#include <unistd.h>

namespace {

sockaddr_in addressOf(const char* text, std::uint16_t port) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    ::inet_pton(AF_INET, text, &address.sin_addr);
    return address;
}

int connectedSocket(const sockaddr_in* from, const sockaddr_in& to, int receiveBufferBytes) {
    const int socket = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const timeval timeout{60, 0};
    ::setsockopt(socket, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
    if (receiveBufferBytes > 0)
        ::setsockopt(socket, SOL_SOCKET, SO_RCVBUF, &receiveBufferBytes, sizeof receiveBufferBytes);
    const bool isBound = from == nullptr ||
                         ::bind(socket, reinterpret_cast<const sockaddr*>(from), sizeof *from) == 0;
    if (!isBound || ::connect(socket, reinterpret_cast<const sockaddr*>(&to), sizeof to) != 0) {
        ::close(socket);
        return -1;
    }
    return socket;
}

} // namespace

LoopbackClient::LoopbackClient(std::uint16_t port, int receiveBufferBytes)
    : m_socket(connectedSocket(nullptr, addressOf("127.0.0.1", port), receiveBufferBytes)) {}

LoopbackClient::LoopbackClient(const char* from, const char* to, std::uint16_t port) {
    const sockaddr_in source = addressOf(from, 0);
    m_socket = connectedSocket(&source, addressOf(to, port), 0);
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
