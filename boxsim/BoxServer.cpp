#include "BoxServer.h"

#include "DebugPrint.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace {

constexpr int kListenBacklog = 16;

} // namespace

BoxServer::BoxServer(const BoxOptions& options, EventLog& log)
    : m_options(options), m_log(log), m_reapFd(::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC)) {}

BoxServer::~BoxServer() {
    // Pairs signal m_reapFd while they end: destroy them before it.
    m_pairs.clear();
    if (m_pendingCommandFd >= 0)
        ::close(m_pendingCommandFd);
    if (m_listenFd >= 0)
        ::close(m_listenFd);
    if (m_reapFd >= 0)
        ::close(m_reapFd);
}

bool BoxServer::listen(std::string& error) {
    m_listenFd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (m_listenFd < 0 || m_reapFd < 0) {
        error = std::string("socket: ") + std::strerror(errno);
        return false;
    }
    const int one = 1;
    ::setsockopt(m_listenFd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(m_options.port);
    if (::inet_pton(AF_INET, m_options.address.c_str(), &address.sin_addr) != 1) {
        error = "bad address " + m_options.address;
        return false;
    }
    if (::bind(m_listenFd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(m_listenFd, kListenBacklog) != 0) {
        error = "cannot listen on " + m_options.address + ":" + std::to_string(m_options.port) +
                ": " + std::strerror(errno);
        return false;
    }
    socklen_t length = sizeof address;
    ::getsockname(m_listenFd, reinterpret_cast<sockaddr*>(&address), &length);
    m_port = ntohs(address.sin_port);
    m_log.write(JsonLine("ready").add("address", m_options.address).add("port", int64_t{m_port}));
    return true;
}

void BoxServer::run(int stopFd) {
    for (;;) {
        pollfd fds[4] = {{stopFd, POLLIN, 0},
                         {m_listenFd, POLLIN, 0},
                         {m_reapFd, POLLIN, 0},
                         // Only a hang-up matters here: its commands wait for the pair.
                         {m_pendingCommandFd, POLLRDHUP, 0}};
        const int ready = ::poll(fds, 4, -1);
        if (ready < 0 && errno == EINTR)
            continue;
        if (ready < 0 || fds[0].revents != 0)
            break;
        if ((fds[2].revents & POLLIN) != 0)
            reapEndedPairs();
        // Accept first: a peer that hung up right after connecting both
        // connections still has its data connection waiting in the backlog.
        if ((fds[1].revents & POLLIN) != 0)
            accept();
        if ((fds[3].revents & (POLLRDHUP | POLLHUP | POLLERR)) != 0 &&
            fds[3].fd == m_pendingCommandFd)
            dropPendingCommand();
    }
    m_pairs.clear();
}

void BoxServer::accept() {
    const int fd = ::accept4(m_listenFd, nullptr, nullptr, SOCK_CLOEXEC);
    if (fd < 0) {
        if (errno != EAGAIN && errno != EINTR && errno != ECONNABORTED)
            logError(std::string("accept: ") + std::strerror(errno));
        return;
    }
    // Off by default, as a Box may well leave it: its status records then
    // wait for the peer's acknowledgement of the one before.
    if (m_options.isNoDelay) {
        const int one = 1;
        ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    }
    if (m_pendingCommandFd < 0) {
        m_pendingCommandFd = fd;
        m_log.write(JsonLine("connection").add("pair", m_pairCount + 1).add("role", "command"));
        return;
    }
    // File sizes and seek answers arrive as urgent bytes; read them in line.
    const int one = 1;
    ::setsockopt(fd, SOL_SOCKET, SO_OOBINLINE, &one, sizeof one);
    const int id = ++m_pairCount;
    m_log.write(JsonLine("connection").add("pair", id).add("role", "data"));
    const int reapFd = m_reapFd;
    auto pair = std::make_unique<BoxPair>(id, m_pendingCommandFd, fd, m_options, m_log, [reapFd] {
        const uint64_t one = 1;
        [[maybe_unused]] const ssize_t written = ::write(reapFd, &one, sizeof one);
    });
    m_pendingCommandFd = -1;
    pair->start();
    m_pairs.push_back(std::move(pair));
}

void BoxServer::dropPendingCommand() {
    m_log.write(JsonLine("closed").add("pair", m_pairCount + 1).add("reason", "peer"));
    ::close(m_pendingCommandFd);
    m_pendingCommandFd = -1;
}

void BoxServer::reapEndedPairs() {
    uint64_t count = 0;
    while (::read(m_reapFd, &count, sizeof count) > 0) {
    }
    m_pairs.remove_if([](const std::unique_ptr<BoxPair>& pair) { return pair->hasEnded(); });
}

void BoxServer::logError(const std::string& text) {
    DebugPrint("BoxServer: %s\n", text.c_str());
    m_log.write(JsonLine("error").add("text", text));
}
