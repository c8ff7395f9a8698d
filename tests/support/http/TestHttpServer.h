#pragma once

#include "LoopbackListener.h"

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

// A small HTTP/1.1 server on 127.0.0.1 and an ephemeral port for tests. Each
// path is scripted: what to answer and how to misbehave. One thread accepts;
// each connection is served on a thread of its own; all are joined by the
// destructor.
class TestHttpServer {
public:
    enum class Length {
        Exact,      // Content-Length is the body's size
        Absent,     // no Content-Length; the body ends when the connection closes
        Overstated, // Content-Length is one kilobyte more than the body; then close
        Declared,   // Content-Length is declaredLength, whatever the body
    };
    struct Route {
        std::string body;
        int status = 200;
        Length length = Length::Exact;
        // Non-zero: the body goes out in pieces of this many bytes with a
        // pause between them.
        size_t trickleBytes = 0;
        // The body stops after this many bytes until Release() or destruction.
        size_t holdAfterBytes = SIZE_MAX;
        // The connection is closed without any reply.
        bool isRefused = false;
        // Non-empty: a 302 answer pointing there.
        std::string location;
        uint64_t declaredLength = 0;
        // Header lines of their own, each ended by CR LF.
        std::string headers;

        static Route Of(std::string body) {
            Route route;
            route.body = std::move(body);
            return route;
        }
        Route& WithStatus(int value) { return status = value, *this; }
        Route& WithLength(Length value) { return length = value, *this; }
        Route& WithTrickle(size_t bytes) { return trickleBytes = bytes, *this; }
        Route& WithHoldAfter(size_t bytes) { return holdAfterBytes = bytes, *this; }
        Route& Refused() { return isRefused = true, *this; }
        Route& RedirectTo(std::string url) { return location = std::move(url), *this; }
        Route& WithDeclaredLength(uint64_t bytes) {
            return length = Length::Declared, declaredLength = bytes, *this;
        }
        Route& WithHeader(const std::string& line) { return headers += line + "\r\n", *this; }
    };

    TestHttpServer();
    ~TestHttpServer();
    TestHttpServer(const TestHttpServer&) = delete;
    TestHttpServer& operator=(const TestHttpServer&) = delete;

    uint16_t Port() const { return m_listener.port(); }
    std::string Url(const std::string& path) const;
    void SetRoute(const std::string& path, Route route);
    // Lets held bodies continue.
    void Release();
    // The request head (request line and headers) last received for the path.
    std::string LastRequest(const std::string& path) const;
    int RequestCount(const std::string& path) const;

private:
    void acceptLoop();
    void serve(int socket);
    bool sendAll(int socket, const char* data, size_t size);

    LoopbackListener m_listener{16};
    std::thread m_acceptor;

    mutable std::mutex m_mutex; // guards everything below
    std::condition_variable m_released;
    bool m_isReleased = false;
    bool m_isStopping = false;
    std::map<std::string, Route> m_routes;
    std::map<std::string, std::string> m_lastRequests;
    std::map<std::string, int> m_requestCounts;
    std::vector<int> m_connections;
    std::vector<std::thread> m_servers;
};
