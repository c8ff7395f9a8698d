#include "net/CSocketServer.h"
#include "LoopbackClient.h"
#include "LoopbackListener.h"
#include "TraceCapture.h"
#include "net/CServerObserver.h"
#include "net/CSocketClient.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <condition_variable>
#include <mutex>
#include <string>
#include <sys/socket.h>
#include <unistd.h>

using kvu::net::CServerObserver;
using kvu::net::CSocketServer;

namespace {

// Reads one byte from each accepted client, then keeps it for the server
// (returns true) or closes and frees it itself.
class ByteObserver : public CServerObserver {
public:
    explicit ByteObserver(bool isKeeping) : m_isKeeping(isKeeping) {}

    bool OnAccept(CSocketClient* client) override {
        char byte = '!';
        client->Read(&byte, 1);
        {
            std::lock_guard lock(m_mutex);
            m_bytes.push_back(byte);
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

} // namespace

// Clients the observer leaves to the server stay open until Stop closes them,
// even one whose OnAccept is still returning when Stop begins.
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

    EXPECT_TRUE(server.Stop());
    EXPECT_EQ(server.BoundPort(), 0);
    EXPECT_FALSE(first.Receive().isTimedOut);
    EXPECT_FALSE(second.Receive().isTimedOut);
}

// A second Start on the same fixed port replaces the first listener; Stop
// then frees the port for others.
TEST(CSocketServer, StartsAgainOnTheSamePort) {
    const std::uint16_t port = LoopbackListener().port();
    ByteObserver observer(false);
    CSocketServer server(port, INADDR_LOOPBACK);
    server.SetObserver(&observer);
    ASSERT_TRUE(server.Start());
    ASSERT_TRUE(server.Start());
    EXPECT_EQ(server.BoundPort(), port);

    for (const char* byte : {"a", "b"}) {
        LoopbackClient client(port);
        ASSERT_TRUE(client.Send(byte));
        // The observer closed it after reading.
        EXPECT_EQ(client.Receive().bytes, "");
    }
    EXPECT_EQ(observer.waitForBytes(2), "ab");

    server.Stop();
    EXPECT_TRUE(CSocketServer(port, INADDR_LOOPBACK).Start());
}

// A port in use makes Start fail with the bind result and errno traced.
TEST(CSocketServer, ReportsAPortInUse) {
    LoopbackListener holder;
    CSocketServer server(holder.port(), INADDR_LOOPBACK);
    {
        TraceCapture trace;
        EXPECT_FALSE(server.Start());
        EXPECT_EQ(trace.Text(), "CSocketServer::Bind(): ??????????????? Fail to bind(-1-98)\n");
    }
    EXPECT_EQ(server.BoundPort(), 0);
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
    EXPECT_EQ(client.Write("ok", 2), 2);
    EXPECT_EQ(::read(pair[1], buffer, sizeof buffer), 2);

    ::close(pair[1]);
    EXPECT_EQ(client.Read(buffer, sizeof buffer), CSocketClient::kPeerClosed);
    EXPECT_EQ(client.Write("gone", 4), CSocketClient::kSocketError);

    client.Close();
    client.Close();
    EXPECT_EQ(client.Read(buffer, sizeof buffer), CSocketClient::kNotOpen);
    EXPECT_EQ(client.Write("x", 1), CSocketClient::kNotOpen);
}
