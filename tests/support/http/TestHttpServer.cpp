#include "TestHttpServer.h"

#include <algorithm>
#include <arpa/inet.h>
#include <chrono>
#include <cstdlib>
#include <netinet/in.h>
#include <pthread.h>
#include <stdexcept>
#include <sys/socket.h>
#include <unistd.h>

namespace {

constexpr size_t kMaxRequestBytes = 16384;
constexpr size_t kOverstatementBytes = 1024;

std::string requestPath(const std::string& head) {
    const size_t start = head.find(' ');
    if (start == std::string::npos)
        return {};
    const size_t end = head.find(' ', start + 1);
    return head.substr(start + 1, end == std::string::npos ? std::string::npos : end - start - 1);
}

} // namespace

TestHttpServer::TestHttpServer() {
    // A proxy from the environment must not see the tests' requests. Set
    // before any client thread of the test runs.
    setenv("no_proxy", "127.0.0.1,localhost", 1);
    if (!m_listener.isListening())
        throw std::runtime_error("TestHttpServer: cannot listen on 127.0.0.1");
    m_acceptor = std::thread([this] {
        pthread_setname_np(pthread_self(), "TestHttpAccept");
        acceptLoop();
    });
}

TestHttpServer::~TestHttpServer() {
    {
        std::lock_guard lock(m_mutex);
        m_isStopping = true;
        for (int connection : m_connections)
            shutdown(connection, SHUT_RDWR);
    }
    m_released.notify_all();
    // Unblocks accept(); the acceptor stops before the servers it started
    // are joined, so none is added meanwhile.
    shutdown(m_listener.fd(), SHUT_RDWR);
    m_acceptor.join();
    for (std::thread& server : m_servers)
        server.join();
}

std::string TestHttpServer::Url(const std::string& path) const {
    return "http://127.0.0.1:" + std::to_string(Port()) + path;
}

void TestHttpServer::SetRoute(const std::string& path, Route route) {
    std::lock_guard lock(m_mutex);
    m_routes[path] = std::move(route);
}

void TestHttpServer::Release() {
    {
        std::lock_guard lock(m_mutex);
        m_isReleased = true;
    }
    m_released.notify_all();
}

std::string TestHttpServer::LastRequest(const std::string& path) const {
    std::lock_guard lock(m_mutex);
    const auto found = m_lastRequests.find(path);
    return found == m_lastRequests.end() ? std::string() : found->second;
}

int TestHttpServer::RequestCount(const std::string& path) const {
    std::lock_guard lock(m_mutex);
    const auto found = m_requestCounts.find(path);
    return found == m_requestCounts.end() ? 0 : found->second;
}

void TestHttpServer::acceptLoop() {
    for (;;) {
        const int connection = m_listener.accept();
        std::lock_guard lock(m_mutex);
        if (connection < 0 || m_isStopping) {
            if (connection >= 0)
                close(connection);
            if (m_isStopping)
                return;
            continue;
        }
        m_connections.push_back(connection);
        m_servers.emplace_back([this, connection] {
            pthread_setname_np(pthread_self(), "TestHttpConn");
            serve(connection);
        });
    }
}

void TestHttpServer::serve(int socket) {
    std::string head;
    char piece[1024];
    while (head.find("\r\n\r\n") == std::string::npos && head.size() < kMaxRequestBytes) {
        const ssize_t got = recv(socket, piece, sizeof piece, 0);
        if (got <= 0)
            break;
        head.append(piece, static_cast<size_t>(got));
    }
    const std::string path = requestPath(head);
    Route route;
    {
        std::lock_guard lock(m_mutex);
        m_lastRequests[path] = head;
        ++m_requestCounts[path];
        const auto found = m_routes.find(path);
        if (found != m_routes.end())
            route = found->second;
        else
            route.status = 404, route.body = "not found";
    }

    if (!route.isRefused) {
        std::string reply = "HTTP/1.1 " +
                            std::to_string(route.location.empty() ? route.status : 302) +
                            " Scripted\r\nConnection: close\r\n" + route.headers;
        if (!route.location.empty()) {
            reply += "Location: " + route.location + "\r\nContent-Length: 0\r\n\r\n";
            route.body.clear();
        } else if (route.length == Length::Exact) {
            reply += "Content-Length: " + std::to_string(route.body.size()) + "\r\n\r\n";
        } else if (route.length == Length::Declared) {
            reply += "Content-Length: " + std::to_string(route.declaredLength) + "\r\n\r\n";
        } else if (route.length == Length::Overstated) {
            reply += "Content-Length: " + std::to_string(route.body.size() + kOverstatementBytes) +
                     "\r\n\r\n";
        } else {
            reply += "\r\n";
        }
        bool isOpen = sendAll(socket, reply.data(), reply.size());
        const size_t pieceBytes = route.trickleBytes > 0 ? route.trickleBytes : route.body.size();
        for (size_t sent = 0; isOpen && sent < route.body.size();) {
            if (sent >= route.holdAfterBytes) {
                std::unique_lock lock(m_mutex);
                m_released.wait(lock, [this] { return m_isReleased || m_isStopping; });
                route.holdAfterBytes = SIZE_MAX;
            }
            const size_t take =
                std::min({pieceBytes, route.body.size() - sent, route.holdAfterBytes - sent});
            isOpen = sendAll(socket, route.body.data() + sent, take);
            sent += take;
            if (route.trickleBytes > 0) {
                std::unique_lock lock(m_mutex);
                m_released.wait_for(lock, std::chrono::milliseconds(2),
                                    [this] { return m_isStopping; });
                isOpen = isOpen && !m_isStopping;
            }
        }
    }
    // Closing with unread input would reset the connection and could drop
    // the reply's tail: end the sending side and wait for the client's close.
    shutdown(socket, SHUT_WR);
    while (recv(socket, piece, sizeof piece, 0) > 0) {
    }
    std::lock_guard lock(m_mutex);
    m_connections.erase(std::find(m_connections.begin(), m_connections.end(), socket));
    close(socket);
}

bool TestHttpServer::sendAll(int socket, const char* data, size_t size) {
    while (size > 0) {
        const ssize_t sent = send(socket, data, size, MSG_NOSIGNAL);
        if (sent <= 0)
            return false;
        data += sent;
        size -= static_cast<size_t>(sent);
    }
    return true;
}
