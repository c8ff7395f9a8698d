#include "CSocketServer.h"
#include "CServerObserver.h"
#include "CSocketClient.h"
#include "DebugPrint.h"
#include "LoopbackClient.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <condition_variable>
#include <mutex>
#include <string>
#include <sys/socket.h>
#include <unistd.h>
#include <vector>

using kvu::net::CServerObserver;
using kvu::net::CSocketServer;

namespace {

// Reads one byte from each accepted client and either keeps the client for
// the server (returns true) or closes and frees it itself.
class ByteObserver : public CServerObserver {
public:
    explicit ByteObserver(bool isKeeping) : m_isKeeping(isKeeping) {}

    bool OnAccept(CSocketClient* client) override {
        char byte = 0;
        const int result = client->Read(&byte, 1);
        {
            std::lock_guard lock(m_mutex);
            m_bytes.push_back(result == 1 ? byte : '!');
        }
        m_changed.notify_all();
        if (m_isKeeping)
            return true;
        delete client;
        return false;
    }

    std::string waitForBytes(size_t count) {
        std::unique_lock lock(m_mutex);
        m_changed.wait(lock, [&] { return m_bytes.size() >= count; });
        return m_bytes;
    }

private:
    const bool m_isKeeping;
    std::mutex m_mutex; // guards m_bytes
    std::condition_variable m_changed;
    std::string m_bytes;
};

// A loopback listener the test holds, to know a free port or to occupy one.
class PortHolder {
public:
    PortHolder() {
        m_socket = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ::bind(m_socket, reinterpret_cast<sockaddr*>(&address), sizeof address);
        ::listen(m_socket, 1);
        socklen_t length = sizeof address;
        ::getsockname(m_socket, reinterpret_cast<sockaddr*>(&address), &length);
        m_port = ntohs(address.sin_port);
    }
    ~PortHolder() { release(); }
    void release() {
        if (m_socket >= 0)
            ::close(m_socket);
        m_socket = -1;
    }
    std::uint16_t port() const { return m_port; }

private:
    int m_socket = -1;
    std::uint16_t m_port = 0;
};

class TraceCapture {
public:
    TraceCapture() {
        SetDebugSink([this](std::string_view line) {
            std::lock_guard lock(m_mutex);
            m_lines.emplace_back(line);
        });
    }
    ~TraceCapture() { SetDebugSink({}); }
    std::vector<std::string> lines() {
        std::lock_guard lock(m_mutex);
        return m_lines;
    }

private:
    std::mutex m_mutex; // guards m_lines
    std::vector<std::string> m_lines;
};

} // namespace

// Connections are accepted one after another and each reaches the observer.
TEST(CSocketServer, HandsEveryConnectionToTheObserverInTurn) {
    ByteObserver observer(false);
    CSocketServer server(0, INADDR_LOOPBACK);
    server.SetObserver(&observer);
    ASSERT_TRUE(server.Start());
    ASSERT_NE(server.BoundPort(), 0);

    for (char byte : std::string("abc")) {
        LoopbackClient client(server.BoundPort());
        ASSERT_TRUE(client.IsConnected());
        ASSERT_TRUE(client.Send(std::string(1, byte)));
        // The observer closed the connection itself.
        EXPECT_EQ(client.ReceiveAll().bytes, "");
    }
    EXPECT_EQ(observer.waitForBytes(3), "abc");
    EXPECT_TRUE(server.Stop());
    EXPECT_EQ(server.BoundPort(), 0);
}

// Clients the observer leaves to the server stay open until Stop closes them.
TEST(CSocketServer, StopClosesTheClientsItKept) {
    ByteObserver observer(true);
    CSocketServer server(0, INADDR_LOOPBACK);
    server.SetObserver(&observer);
    ASSERT_TRUE(server.Start());

    LoopbackClient first(server.BoundPort());
    LoopbackClient second(server.BoundPort());
    ASSERT_TRUE(first.Send("1"));
    ASSERT_TRUE(second.Send("2"));
    EXPECT_EQ(observer.waitForBytes(2), "12");

    server.Stop();
    const LoopbackClient::Received fromFirst = first.ReceiveAll();
    const LoopbackClient::Received fromSecond = second.ReceiveAll();
    EXPECT_FALSE(fromFirst.isTimedOut);
    EXPECT_FALSE(fromSecond.isTimedOut);
}

// A second Start on the same fixed port closes the first listener and
// listens again; Stop then frees the port.
TEST(CSocketServer, StartsAgainOnTheSamePort) {
    PortHolder holder;
    const std::uint16_t port = holder.port();
    holder.release();

    ByteObserver observer(false);
    CSocketServer server(port, INADDR_LOOPBACK);
    server.SetObserver(&observer);
    ASSERT_TRUE(server.Start());
    ASSERT_TRUE(server.Start());
    EXPECT_EQ(server.BoundPort(), port);

    LoopbackClient client(port);
    ASSERT_TRUE(client.Send("x"));
    EXPECT_EQ(observer.waitForBytes(1), "x");

    server.Stop();
    CSocketServer other(port, INADDR_LOOPBACK);
    EXPECT_TRUE(other.Start());
}

// A port in use makes Start fail with the bind result and errno traced.
TEST(CSocketServer, ReportsAPortInUse) {
    PortHolder holder;
    TraceCapture trace;
    CSocketServer server(holder.port(), INADDR_LOOPBACK);
    EXPECT_FALSE(server.Start());
    EXPECT_EQ(server.BoundPort(), 0);
    const std::vector<std::string> lines = trace.lines();
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0], "CSocketServer::Bind(): ??????????????? Fail to bind(-1-98)\n");
    // Stop after a failed Start is harmless.
    EXPECT_TRUE(server.Stop());
}

// Read and Write report closed sockets and departed peers by their codes,
// and writing to a departed peer does not end the process with SIGPIPE.
TEST(CSocketClient, ReportsClosedSocketsAndPeers) {
    int pair[2];
    ASSERT_EQ(::socketpair(AF_UNIX, SOCK_STREAM, 0, pair), 0);
    CSocketClient client(pair[0]);
    char buffer[8] = {};

    ASSERT_EQ(::write(pair[1], "hey", 3), 3);
    EXPECT_EQ(client.Read(buffer, sizeof buffer), 3);
    EXPECT_EQ(std::string(buffer, 3), "hey");
    EXPECT_EQ(client.Write("ok", 2), 2);
    EXPECT_EQ(::read(pair[1], buffer, sizeof buffer), 2);

    ::close(pair[1]);
    EXPECT_EQ(client.Read(buffer, sizeof buffer), CSocketClient::kPeerClosed);
    EXPECT_EQ(client.Write("gone", 4), CSocketClient::kSocketError);

    client.Close();
    EXPECT_FALSE(client.IsOpen());
    client.Close();
    EXPECT_EQ(client.Read(buffer, sizeof buffer), CSocketClient::kNotOpen);
    EXPECT_EQ(client.Write("x", 1), CSocketClient::kNotOpen);
}
