#include "CMediaServer.h"

#include "TraceCapture.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <atomic>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <netinet/in.h>
#include <regex>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;

namespace {

std::string patternBytes(std::size_t size) {
    std::string bytes(size, '\0');
    for (std::size_t i = 0; i < size; ++i)
        bytes[i] = static_cast<char>((i * 7 + i / 251) & 0xff);
    return bytes;
}

// A blocking loopback connection whose receives give up after ten seconds,
// so a server that hangs fails the test instead of hanging it.
class Client {
public:
    explicit Client(std::uint16_t port, int receiveBufferBytes = 0) {
        m_fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        if (receiveBufferBytes > 0)
            ::setsockopt(m_fd, SOL_SOCKET, SO_RCVBUF, &receiveBufferBytes,
                         sizeof receiveBufferBytes);
        timeval timeout{10, 0};
        ::setsockopt(m_fd, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        address.sin_port = htons(port);
        if (::connect(m_fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
            ::close(m_fd);
            m_fd = -1;
        }
    }
    ~Client() {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    Client(const Client&) = delete;
    Client& operator=(const Client&) = delete;

    bool IsConnected() const { return m_fd >= 0; }
    bool Send(const std::string& text) {
        return ::send(m_fd, text.data(), text.size(), MSG_NOSIGNAL) ==
               static_cast<ssize_t>(text.size());
    }

    struct Response {
        int status = 0;
        std::map<std::string, std::string> fields; // names in lower case
        std::string body;
        bool isComplete = false;
        std::string field(const std::string& name) const {
            const auto found = fields.find(name);
            return found == fields.end() ? std::string() : found->second;
        }
    };

    // One response; its body by Content-Length unless isHead.
    Response Read(bool isHead = false) {
        Response response;
        std::size_t end;
        while ((end = m_pending.find("\r\n\r\n")) == std::string::npos) {
            if (!receiveMore())
                return response;
        }
        const std::string head = m_pending.substr(0, end + 2);
        m_pending.erase(0, end + 4);
        response.status = std::atoi(head.substr(9, 3).c_str());
        for (std::size_t start = head.find("\r\n") + 2; start < head.size();) {
            const std::size_t lineEnd = head.find("\r\n", start);
            const std::string line = head.substr(start, lineEnd - start);
            const std::size_t colon = line.find(": ");
            std::string name = line.substr(0, colon);
            for (char& c : name)
                c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
            response.fields[name] = line.substr(colon + 2);
            start = lineEnd + 2;
        }
        const std::size_t length = isHead ? 0 : std::stoull("0" + response.field("content-length"));
        while (m_pending.size() < length) {
            if (!receiveMore()) {
                response.body = m_pending;
                return response;
            }
        }
        response.body = m_pending.substr(0, length);
        m_pending.erase(0, length);
        response.isComplete = true;
        return response;
    }

    // Whether the server closes the connection (after any bytes still coming).
    bool IsClosedByServer() {
        while (receiveMore()) {
        }
        return m_isClosed;
    }
    std::string Pending() const { return m_pending; }
    std::size_t ReadSome(std::size_t bytes) {
        std::string buffer(bytes, '\0');
        const ssize_t count = ::recv(m_fd, buffer.data(), bytes, 0);
        return count > 0 ? static_cast<std::size_t>(count) : 0;
    }

private:
    bool receiveMore() {
        char buffer[65536];
        const ssize_t count = ::recv(m_fd, buffer, sizeof buffer, 0);
        if (count > 0) {
            m_pending.append(buffer, static_cast<std::size_t>(count));
            return true;
        }
        m_isClosed = count == 0 || errno == ECONNRESET;
        return false;
    }

    int m_fd = -1;
    std::string m_pending;
    bool m_isClosed = false;
};

std::string get(const std::string& path, const std::string& fields = {}) {
    return "GET " + path + " HTTP/1.1\r\nHost: 127.0.0.1\r\n" + fields + "\r\n";
}

constexpr std::size_t kFileBytes = 100000;

// The count is raised after each send, so possibly after the client read.
std::uint64_t servedSettled(const CMediaServer& server, const std::string& path,
                            std::uint64_t expected) {
    for (int i = 0; i < 1000 && server.BytesServed(path) < expected; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    return server.BytesServed(path);
}

class CMediaServerTest : public ::testing::Test {
protected:
    void SetUp() override {
        m_dir = fs::temp_directory_path() /
                ("mediaserver-test-" + std::to_string(::getpid()) + "-" +
                 ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::create_directories(m_dir);
        m_content = patternBytes(kFileBytes);
        m_file = (m_dir / "Song.MP3").string();
        std::ofstream(m_file, std::ios::binary) << m_content;
    }
    void TearDown() override {
        m_server.reset();
        fs::remove_all(m_dir);
    }

    CMediaServer& start(CMediaServer::Settings settings = {}) {
        settings.port = 0;
        settings.address = INADDR_LOOPBACK;
        m_server = std::make_unique<CMediaServer>(settings);
        std::string error;
        EXPECT_TRUE(m_server->Start(&error)) << error;
        return *m_server;
    }

    fs::path m_dir;
    std::string m_file;
    std::string m_content;
    std::unique_ptr<CMediaServer> m_server;
};

TEST_F(CMediaServerTest, WholeFileWithItsFieldsAndCount) {
    CMediaServer& server = start();
    const std::string path = server.Publish(m_file, "audio/mpeg", "MP3");
    EXPECT_TRUE(std::regex_match(path, std::regex("/media/[0-9a-f]{32}\\.mp3"))) << path;
    EXPECT_EQ(server.UrlOf(path), "http://127.0.0.1:" + std::to_string(server.BoundPort()) + path);

    Client client(server.BoundPort());
    ASSERT_TRUE(client.Send(get(path)));
    const Client::Response response = client.Read();
    ASSERT_TRUE(response.isComplete);
    EXPECT_EQ(response.status, 200);
    EXPECT_EQ(response.body, m_content);
    EXPECT_EQ(response.field("content-type"), "audio/mpeg");
    EXPECT_EQ(response.field("content-length"), std::to_string(kFileBytes));
    EXPECT_EQ(response.field("accept-ranges"), "bytes");
    EXPECT_EQ(response.field("transfermode.dlna.org"), "Streaming");
    EXPECT_EQ(response.field("contentfeatures.dlna.org"),
              "DLNA.ORG_PN=MP3;DLNA.ORG_OP=01;DLNA.ORG_CI=0;"
              "DLNA.ORG_FLAGS=01700000000000000000000000000000");
    EXPECT_EQ(response.field("connection"), "keep-alive");
    EXPECT_TRUE(response.field("date").ends_with(" GMT"));
    EXPECT_NE(response.field("server").find("Vellumo"), std::string::npos);
    EXPECT_EQ(response.fields.count("content-range"), 0u);
    EXPECT_EQ(servedSettled(server, path, kFileBytes), kFileBytes);
}

TEST_F(CMediaServerTest, ImagesAreInteractiveAndNoProfileMeansNoProfileField) {
    const std::string image = (m_dir / "photo").string();
    std::ofstream(image) << "jpeg";
    CMediaServer& server = start();
    const std::string path = server.Publish(image, "image/jpeg");
    EXPECT_TRUE(std::regex_match(path, std::regex("/media/[0-9a-f]{32}"))) << path;
    Client client(server.BoundPort());
    ASSERT_TRUE(client.Send(get(path)));
    const Client::Response response = client.Read();
    EXPECT_EQ(response.body, "jpeg");
    EXPECT_EQ(response.field("transfermode.dlna.org"), "Interactive");
    EXPECT_EQ(response.field("contentfeatures.dlna.org"),
              "DLNA.ORG_OP=01;DLNA.ORG_CI=0;DLNA.ORG_FLAGS=01700000000000000000000000000000");
}

TEST_F(CMediaServerTest, RangesOnOneKeptConnection) {
    CMediaServer& server = start();
    const std::string path = server.Publish(m_file, "audio/mpeg");
    Client client(server.BoundPort());
    struct Case {
        const char* range;
        int status;
        std::size_t offset;
        std::size_t length;
    };
    const std::string size = std::to_string(kFileBytes);
    for (const Case& c :
         {Case{"bytes=100-199", 206, 100, 100}, Case{"bytes=99990-", 206, 99990, 10},
          Case{"bytes=-50", 206, kFileBytes - 50, 50},
          Case{"bytes=0-999999999", 206, 0, kFileBytes},
          Case{"bytes=0-9,20-29", 200, 0, kFileBytes}, Case{"bytes=9-0", 200, 0, kFileBytes},
          Case{"bytes=x-", 200, 0, kFileBytes},
          Case{"bytes=99999999999999999999999-", 200, 0, kFileBytes}}) {
        ASSERT_TRUE(client.Send(get(path, std::string("Range: ") + c.range + "\r\n")));
        const Client::Response response = client.Read();
        ASSERT_TRUE(response.isComplete) << c.range;
        EXPECT_EQ(response.status, c.status) << c.range;
        EXPECT_EQ(response.body, m_content.substr(c.offset, c.length)) << c.range;
        if (c.status == 206) {
            EXPECT_EQ(response.field("content-range"), "bytes " + std::to_string(c.offset) + "-" +
                                                           std::to_string(c.offset + c.length - 1) +
                                                           "/" + size)
                << c.range;
        }
    }
    ASSERT_TRUE(client.Send(get(path, "Range: bytes=" + size + "-\r\n")));
    const Client::Response past = client.Read();
    EXPECT_EQ(past.status, 416);
    EXPECT_EQ(past.field("content-range"), "bytes */" + size);
    EXPECT_TRUE(past.body.empty());
    // Still the same connection.
    ASSERT_TRUE(client.Send(get(path)));
    EXPECT_EQ(client.Read().body, m_content);
}

TEST_F(CMediaServerTest, HeadSendsTheFieldsWithoutABody) {
    CMediaServer& server = start();
    const std::string path = server.Publish(m_file, "audio/mpeg");
    Client client(server.BoundPort());
    ASSERT_TRUE(client.Send("HEAD " + path + " HTTP/1.1\r\nRange: bytes=10-19\r\n\r\n"));
    const Client::Response head = client.Read(true);
    EXPECT_EQ(head.status, 206);
    EXPECT_EQ(head.field("content-length"), "10");
    EXPECT_EQ(head.field("content-range"), "bytes 10-19/" + std::to_string(kFileBytes));
    // The next response follows at once: no body came in between.
    ASSERT_TRUE(client.Send(get(path, "Range: bytes=0-3\r\n")));
    const Client::Response next = client.Read();
    EXPECT_EQ(next.status, 206);
    EXPECT_EQ(next.body, m_content.substr(0, 4));
    EXPECT_EQ(servedSettled(server, path, 4), 4u);
}

TEST_F(CMediaServerTest, OnlyCurrentTokensAreServed) {
    CMediaServer& server = start();
    const std::string path = server.Publish(m_file, "audio/mpeg");
    const std::string again = server.Publish(m_file, "audio/mpeg");
    EXPECT_NE(path, again);
    const std::string token = path.substr(7, 32);
    const std::string fileName = fs::path(m_file).filename().string();
    Client client(server.BoundPort());
    for (const std::string& target :
         {std::string("/media/00000000000000000000000000000000.mp3"), "/media/" + token, path + "/",
          "/media/../" + fileName, "/" + fileName, m_file, "/../../../.." + m_file,
          path + "/../" + again.substr(7), "/media/" + token + ".MP3", std::string("/")}) {
        ASSERT_TRUE(client.Send(get(target)));
        const Client::Response response = client.Read();
        EXPECT_EQ(response.status, 404) << target;
        EXPECT_TRUE(response.body.empty()) << target;
    }
    ASSERT_TRUE(client.Send("DELETE " + path + " HTTP/1.1\r\n\r\n"));
    EXPECT_EQ(client.Read().status, 404);

    server.Withdraw(path);
    ASSERT_TRUE(client.Send(get(path)));
    EXPECT_EQ(client.Read().status, 404);
    ASSERT_TRUE(client.Send(get(again)));
    EXPECT_EQ(client.Read().status, 200);
    server.WithdrawAll();
    ASSERT_TRUE(client.Send(get(again)));
    EXPECT_EQ(client.Read().status, 404);
    EXPECT_TRUE(server.Publish((m_dir / "missing.mp3").string(), "audio/mpeg").empty());
    EXPECT_TRUE(server.Publish(m_dir.string(), "audio/mpeg").empty());
}

TEST_F(CMediaServerTest, PipelinedRequestsAreAnsweredInOrder) {
    CMediaServer& server = start();
    const std::string path = server.Publish(m_file, "audio/mpeg");
    Client client(server.BoundPort());
    ASSERT_TRUE(client.Send(get(path, "Range: bytes=0-9\r\n") + get("/media/nothing") +
                            get(path, "Range: bytes=-5\r\n") + "HEAD " + path +
                            " HTTP/1.1\r\n\r\n"));
    const Client::Response first = client.Read();
    const Client::Response second = client.Read();
    const Client::Response third = client.Read();
    const Client::Response fourth = client.Read(true);
    EXPECT_EQ(first.body, m_content.substr(0, 10));
    EXPECT_EQ(second.status, 404);
    EXPECT_EQ(third.body, m_content.substr(kFileBytes - 5));
    EXPECT_EQ(fourth.status, 200);
    EXPECT_EQ(fourth.field("content-length"), std::to_string(kFileBytes));
}

TEST_F(CMediaServerTest, ClosesWhenAskedOrForHttp10AndForBadHeads) {
    CMediaServer& server = start();
    const std::string path = server.Publish(m_file, "audio/mpeg");
    {
        Client client(server.BoundPort());
        ASSERT_TRUE(client.Send(get(path, "Connection: close\r\n")));
        const Client::Response response = client.Read();
        EXPECT_EQ(response.body, m_content);
        EXPECT_EQ(response.field("connection"), "close");
        EXPECT_TRUE(client.IsClosedByServer());
    }
    {
        Client client(server.BoundPort());
        ASSERT_TRUE(client.Send("GET " + path + " HTTP/1.0\r\n\r\n"));
        EXPECT_EQ(client.Read().body, m_content);
        EXPECT_TRUE(client.IsClosedByServer());
    }
    {
        Client client(server.BoundPort());
        ASSERT_TRUE(client.Send("GET " + path + " HTTP/1.0\r\nConnection: keep-alive\r\n\r\n"));
        EXPECT_EQ(client.Read().field("connection"), "keep-alive");
        ASSERT_TRUE(client.Send(get(path)));
        EXPECT_EQ(client.Read().status, 200);
    }
    {
        Client client(server.BoundPort());
        ASSERT_TRUE(client.Send("garbage\r\n\r\n"));
        EXPECT_EQ(client.Read().status, 400);
        EXPECT_TRUE(client.IsClosedByServer());
    }
    {
        Client client(server.BoundPort());
        ASSERT_TRUE(client.Send("GET " + path + " HTTP/1.1\r\nX: " + std::string(17000, 'a')));
        EXPECT_EQ(client.Read().status, 431);
        EXPECT_TRUE(client.IsClosedByServer());
    }
}

TEST_F(CMediaServerTest, ShrinkingOrDeletedFileEndsTheConnection) {
    const std::string big = (m_dir / "big.mkv").string();
    constexpr std::uintmax_t kBigBytes = 64u * 1024 * 1024;
    std::ofstream(big).close();
    fs::resize_file(big, kBigBytes);
    TraceCapture trace;
    CMediaServer& server = start();
    const std::string path = server.Publish(big, "video/x-matroska");
    {
        Client client(server.BoundPort(), 64 * 1024);
        ASSERT_TRUE(client.Send(get(path)));
        ASSERT_GT(client.ReadSome(1000), 0u);
        fs::resize_file(big, 1024 * 1024);
        EXPECT_TRUE(client.IsClosedByServer());
        EXPECT_TRUE(trace.WaitFor("file shorter than announced"));
        EXPECT_LT(server.BytesServed(path), kBigBytes);
    }
    fs::resize_file(big, kBigBytes);
    {
        Client client(server.BoundPort(), 64 * 1024);
        ASSERT_TRUE(client.Send(get(path)));
        std::size_t received = client.ReadSome(1000);
        ASSERT_GT(received, 0u);
        fs::remove(big);
        // The open file is still read to its end; then the path is gone.
        for (std::size_t count; (count = client.ReadSome(1 << 20)) > 0;) {
            received += count;
            if (received >= kBigBytes)
                break;
        }
        EXPECT_GE(received, kBigBytes);
        Client next(server.BoundPort());
        ASSERT_TRUE(next.Send(get(path)));
        EXPECT_EQ(next.Read().status, 404);
    }
}

TEST_F(CMediaServerTest, IdleAndIncompleteAndStalledConnectionsAreClosed) {
    TraceCapture trace;
    CMediaServer::Settings settings;
    settings.idleTimeoutMs = 200;
    settings.headTimeoutMs = 300;
    settings.sendTimeoutMs = 300;
    CMediaServer& server = start(settings);
    const std::string path = server.Publish(m_file, "audio/mpeg");
    {
        Client client(server.BoundPort());
        ASSERT_TRUE(client.Send(get(path)));
        EXPECT_EQ(client.Read().status, 200);
        EXPECT_TRUE(client.IsClosedByServer());
        EXPECT_TRUE(trace.Contains("connection closed, idle"));
    }
    {
        Client client(server.BoundPort());
        ASSERT_TRUE(client.Send("GET " + path + " HTTP/1.1\r\n"));
        EXPECT_TRUE(client.IsClosedByServer());
        EXPECT_TRUE(trace.Contains("connection closed, request head incomplete"));
    }
    {
        const std::string big = (m_dir / "big.mkv").string();
        std::ofstream(big).close();
        fs::resize_file(big, 64u * 1024 * 1024);
        Client client(server.BoundPort(), 16 * 1024);
        ASSERT_TRUE(client.Send(get(server.Publish(big, "video/x-matroska"))));
        EXPECT_TRUE(trace.WaitFor("connection closed, client stopped reading"));
    }
}

TEST_F(CMediaServerTest, ThousandIdleConnectionsAndTheCap) {
    TraceCapture trace;
    CMediaServer::Settings settings;
    settings.maxConnections = 1001;
    settings.idleTimeoutMs = 120000;
    settings.headTimeoutMs = 120000;
    CMediaServer& server = start(settings);
    const std::string path = server.Publish(m_file, "audio/mpeg");
    std::vector<std::unique_ptr<Client>> idle;
    for (int i = 0; i < 1000; ++i) {
        idle.push_back(std::make_unique<Client>(server.BoundPort()));
        ASSERT_TRUE(idle.back()->IsConnected()) << i;
    }
    // Accepted after the thousand, in order.
    Client active(server.BoundPort());
    ASSERT_TRUE(active.Send(get(path)));
    EXPECT_EQ(active.Read().body, m_content);
    Client over(server.BoundPort());
    EXPECT_TRUE(over.IsClosedByServer());
    EXPECT_TRUE(trace.Contains("1001 connections open, one more closed"));
    // The idle ones are still served.
    ASSERT_TRUE(idle.front()->Send(get(path, "Range: bytes=0-0\r\n")));
    EXPECT_EQ(idle.front()->Read().status, 206);
}

TEST_F(CMediaServerTest, TraceHasOneMaskedLinePerRequest) {
    TraceCapture trace;
    CMediaServer& server = start();
    const std::string path = server.Publish(m_file, "audio/mpeg");
    Client client(server.BoundPort());
    ASSERT_TRUE(client.Send(get(path, "Range: bytes=0-9\r\n")));
    EXPECT_EQ(client.Read().status, 206);
    ASSERT_TRUE(client.Send(get("/media/\x01\x7f<x>")));
    EXPECT_EQ(client.Read().status, 404);
    // Traced once the response is out, so maybe after the client read it.
    EXPECT_TRUE(trace.WaitFor("GET " + path + " range \"bytes=0-9\" -> 206, 10 bytes sent, done"));
    EXPECT_TRUE(trace.WaitFor("GET /media/?\?<x> -> 404, 0 bytes sent, done"));
}

TEST_F(CMediaServerTest, PortTakenAndRestartAndPublishingWhileServing) {
    CMediaServer& server = start();
    CMediaServer::Settings settings;
    settings.port = server.BoundPort();
    settings.address = INADDR_LOOPBACK;
    CMediaServer second(settings);
    std::string error;
    EXPECT_FALSE(second.Start(&error));
    EXPECT_NE(error.find(std::strerror(EADDRINUSE)), std::string::npos) << error;
    EXPECT_EQ(second.BoundPort(), 0);

    const std::string path = server.Publish(m_file, "audio/mpeg");
    std::atomic<bool> isDone = false;
    std::thread publisher([&] {
        while (!isDone)
            server.Withdraw(server.Publish(m_file, "audio/mpeg"));
    });
    for (int i = 0; i < 20; ++i) {
        Client client(server.BoundPort());
        ASSERT_TRUE(client.Send(get(path)));
        EXPECT_EQ(client.Read().body, m_content);
    }
    isDone = true;
    publisher.join();
    EXPECT_EQ(servedSettled(server, path, 20 * kFileBytes), 20 * kFileBytes);

    Client held(server.BoundPort());
    server.Stop();
    EXPECT_EQ(server.BoundPort(), 0);
    EXPECT_TRUE(held.IsClosedByServer());
    ASSERT_TRUE(server.Start(&error)) << error;
    Client client(server.BoundPort());
    ASSERT_TRUE(client.Send(get(path)));
    EXPECT_EQ(client.Read().status, 200);
}

} // namespace
