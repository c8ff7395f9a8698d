#include "HttpServer.h"
#include "HttpServerObserver.h"
#include "HttpStatusObserver.h"
#include "LoopbackClient.h"

#include <gtest/gtest.h>

#include <condition_variable>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <mutex>
#include <string>
#include <sys/stat.h>
#include <vector>

namespace fs = std::filesystem;
using namespace std::string_literals;

namespace {

struct TransferEvent {
    char kind; // 'S'tarted, 'P'rogress, 'F'inished
    std::string path;
    std::uint32_t sentBytes = 0;
    std::uint32_t totalBytes = 0;
    bool operator==(const TransferEvent&) const = default;
};

class RecordingStatusObserver : public HttpStatusObserver {
public:
    void TransferStarted(const std::string& path) override { record({'S', path}); }
    void TransferProgress(const std::string& path, std::uint32_t sentBytes,
                          std::uint32_t totalBytes) override {
        record({'P', path, sentBytes, totalBytes});
    }
    void TransferFinished(const std::string& path) override { record({'F', path}); }

    std::vector<TransferEvent> events() {
        std::lock_guard lock(m_mutex);
        return m_events;
    }
    // Waits until an event of that kind for that path has been recorded.
    void waitFor(char kind, const std::string& path) {
        std::unique_lock lock(m_mutex);
        m_changed.wait(lock, [&] {
            for (const TransferEvent& event : m_events)
                if (event.kind == kind && event.path == path)
                    return true;
            return false;
        });
    }
    std::uint32_t lastSentBytes(const std::string& path) {
        std::lock_guard lock(m_mutex);
        std::uint32_t sentBytes = 0;
        for (const TransferEvent& event : m_events)
            if (event.kind == 'P' && event.path == path)
                sentBytes = event.sentBytes;
        return sentBytes;
    }

private:
    void record(TransferEvent event) {
        {
            std::lock_guard lock(m_mutex);
            m_events.push_back(std::move(event));
        }
        m_changed.notify_all();
    }

    std::mutex m_mutex; // guards m_events
    std::condition_variable m_changed;
    std::vector<TransferEvent> m_events;
};

std::string patternBytes(size_t size) {
    std::string bytes(size, '\0');
    for (size_t i = 0; i < size; ++i)
        bytes[i] = static_cast<char>((i * 7 + i / 251) & 0xff);
    return bytes;
}

std::string okReply(const std::string& body) {
    return "HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body;
}

constexpr std::uint32_t kBigFileBytes = 16 * 1024 * 1024;

class HttpServerTest : public ::testing::Test {
protected:
    void SetUp() override {
        const char* tmp = std::getenv("TMPDIR");
        std::string pattern =
            std::string(tmp != nullptr && *tmp != '\0' ? tmp : "/tmp") + "/httpserver-test-XXXXXX";
        ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
        m_base = pattern;
        m_root = m_base / "root";
        fs::create_directory(m_root);
        fs::create_directory(m_base / "outside");
        writeFile(m_base / "outside" / "secret.txt", "outside the root");
        writeFile(m_root / "secret.txt", "not a firmware file");
        m_image = patternBytes(200000);
        writeFile(m_root / "install.img", m_image);
        m_manifest = "<appliance><SWURL>http://x/install.img</SWURL></appliance>";
        writeFile(m_root / "appliance.xml", m_manifest);
    }

    void TearDown() override {
        m_server.reset();
        fs::remove_all(m_base);
    }

    void start(HttpServer::Settings settings = {}) {
        settings.port = 0;
        settings.address = INADDR_LOOPBACK;
        m_server = std::make_unique<HttpServer>(settings);
        ASSERT_TRUE(m_server->Start(m_root.string(), {"appliance.xml", "install.img"}));
        m_server->SetStatusObserver(&m_observer);
        m_port = m_server->BoundPort();
        ASSERT_NE(m_port, 0);
    }

    static void writeFile(const fs::path& path, const std::string& content) {
        std::ofstream(path, std::ios::binary | std::ios::trunc) << content;
    }

    std::string imagePath() const { return (m_root / "install.img").string(); }

    // The server answers a sound request after whatever the test did.
    void expectStillServing() {
        const LoopbackClient::Received received =
            Fetch(m_port, "GET /appliance.xml HTTP/1.1\r\n\r\n");
        EXPECT_EQ(received.bytes, okReply(m_manifest));
    }

    // The connection was taken and closed without a byte sent.
    static void expectClosedSilently(const LoopbackClient::Received& received) {
        EXPECT_TRUE(received.isConnected);
        EXPECT_FALSE(received.isTimedOut);
        EXPECT_EQ(received.bytes, "");
    }

    fs::path m_base;
    fs::path m_root;
    std::string m_image;
    std::string m_manifest;
    RecordingStatusObserver m_observer;
    std::unique_ptr<HttpServer> m_server;
    std::uint16_t m_port = 0;
};

} // namespace

// A GET with headers and a blank line gets the length and exactly the file.
TEST_F(HttpServerTest, ServesTheWholeFileWithItsLength) {
    start();
    const LoopbackClient::Received received =
        Fetch(m_port, "GET /install.img HTTP/1.1\r\nHost: 127.0.0.1:7272\r\n"
                      "User-Agent: box\r\nConnection: keep-alive\r\n\r\n");
    EXPECT_FALSE(received.isTimedOut);
    EXPECT_EQ(received.bytes, okReply(m_image));
}

// A Range header is ignored: the whole file comes with status 200.
TEST_F(HttpServerTest, IgnoresRange) {
    start();
    EXPECT_EQ(Fetch(m_port, "GET /install.img HTTP/1.1\r\nRange: bytes=100-\r\n\r\n").bytes,
              okReply(m_image));
}

// Progress comes after every 64 KiB block with the running total.
TEST_F(HttpServerTest, ReportsProgressPerBlock) {
    start();
    ASSERT_EQ(Fetch(m_port, "GET /install.img HTTP/1.1\r\n\r\n").bytes, okReply(m_image));
    const std::string path = imagePath();
    const std::vector<TransferEvent> expected = {
        {'S', path},
        {'P', path, 65536, 200000},
        {'P', path, 131072, 200000},
        {'P', path, 196608, 200000},
        {'P', path, 200000, 200000},
        {'F', path},
    };
    EXPECT_EQ(m_observer.events(), expected);
}

// An empty file gets the header with length 0, no body, and a finish.
TEST_F(HttpServerTest, ServesAnEmptyFile) {
    writeFile(m_root / "appliance.xml", "");
    start();
    EXPECT_EQ(Fetch(m_port, "GET /appliance.xml HTTP/1.1\r\n\r\n").bytes,
              "HTTP/1.1 200 OK\r\nContent-Length: 0\r\n\r\n");
    const std::string path = (m_root / "appliance.xml").string();
    const std::vector<TransferEvent> expected = {{'S', path}, {'F', path}};
    EXPECT_EQ(m_observer.events(), expected);
}

// A served name whose file is missing: closed silently, started but never
// finished.
TEST_F(HttpServerTest, ClosesSilentlyForAMissingFile) {
    fs::remove(m_root / "install.img");
    start();
    expectClosedSilently(Fetch(m_port, "GET /install.img HTTP/1.1\r\n\r\n"));
    const std::vector<TransferEvent> expected = {{'S', imagePath()}};
    EXPECT_EQ(m_observer.events(), expected);
}

struct RefusedRequest {
    const char* scenario;
    std::string request;
    friend void PrintTo(const RefusedRequest& request, std::ostream* out) {
        *out << request.scenario;
    }
};

class HttpServerRefusalTest : public HttpServerTest,
                              public ::testing::WithParamInterface<RefusedRequest> {};

// Requests that name no served file get the connection closed, nothing sent,
// and the server goes on serving.
TEST_P(HttpServerRefusalTest, ClosesWithoutReply) {
    start();
    expectClosedSilently(Fetch(m_port, GetParam().request));
    EXPECT_EQ(m_observer.events(), std::vector<TransferEvent>{});
    expectStillServing();
}

INSTANTIATE_TEST_SUITE_P(
    BadRequests, HttpServerRefusalTest,
    ::testing::Values(
        RefusedRequest{"RootNamesHttp", "GET / HTTP/1.1\r\n\r\n"},
        RefusedRequest{"LowerCaseGet", "get /install.img HTTP/1.1\r\n\r\n"},
        RefusedRequest{"OtherMethod", "HEAD /install.img HTTP/1.1\r\n\r\n"},
        RefusedRequest{"NoGetLine", "Host: 127.0.0.1\r\n\r\n"},
        RefusedRequest{"GetWithoutName", "GET\r\n\r\n"},
        RefusedRequest{"GetWithOnlySlash", "GET /\r\n\r\n"},
        RefusedRequest{"FileNotServed", "GET /secret.txt HTTP/1.1\r\n\r\n"},
        RefusedRequest{"ParentDirectory", "GET /../outside/secret.txt HTTP/1.1\r\n\r\n"},
        RefusedRequest{"RelativeParent", "GET ../outside/secret.txt HTTP/1.1\r\n\r\n"},
        RefusedRequest{"PercentEncoded", "GET /install%2Eimg HTTP/1.1\r\n\r\n"},
        RefusedRequest{"EmbeddedNul", "GET /install.img\0x HTTP/1.1\r\n\r\n"s},
        RefusedRequest{"BinaryJunkFillingTheHead", patternBytes(12 * 1024)}),
    [](const ::testing::TestParamInfo<RefusedRequest>& info) { return info.param.scenario; });

// What stands in the root under a served name must be a plain, singly linked
// file: a symbolic link, a hard link, a directory or a FIFO is refused.
TEST_F(HttpServerTest, RefusesWhatIsNotAPlainFile) {
    const fs::path image = m_root / "install.img";
    const fs::path secret = m_base / "outside" / "secret.txt";
    const std::vector<std::pair<const char*, std::function<void()>>> replacements = {
        {"symbolic link", [&] { fs::create_symlink(secret, image); }},
        {"hard link", [&] { fs::create_hard_link(secret, image); }},
        {"directory", [&] { fs::create_directory(image); }},
        {"fifo", [&] { ASSERT_EQ(::mkfifo(image.c_str(), 0600), 0); }},
    };
    start();
    for (const auto& [scenario, replace] : replacements) {
        SCOPED_TRACE(scenario);
        fs::remove_all(image);
        replace();
        expectClosedSilently(Fetch(m_port, "GET /install.img HTTP/1.1\r\n\r\n"));
        expectStillServing();
    }
}

// A request without a GET line is not answered with the name of an earlier
// request.
TEST_F(HttpServerTest, ForgetsTheNameOfAnEarlierRequest) {
    start();
    ASSERT_EQ(Fetch(m_port, "GET /install.img HTTP/1.1\r\n\r\n").bytes, okReply(m_image));
    expectClosedSilently(Fetch(m_port, "Range: bytes=0-\r\n\r\n"));
}

// A head that arrives in several pieces is gathered up to its blank line.
TEST_F(HttpServerTest, GathersAHeadSplitAcrossSegments) {
    start();
    LoopbackClient client(m_port);
    ASSERT_TRUE(client.Send("GET /insta"));
    ASSERT_TRUE(client.Send("ll.img HTTP/1.1\r\nHost: x\r"));
    ASSERT_TRUE(client.Send("\n\r\n"));
    EXPECT_EQ(client.ReceiveAll().bytes, okReply(m_image));
}

// A head over 10 KiB is judged by its first 10,239 bytes; junk that ends
// early is judged when the client stops sending.
TEST_F(HttpServerTest, JudgesOversizedAndTruncatedHeads) {
    start();
    const LoopbackClient::Received oversized = Fetch(
        m_port, "GET /appliance.xml HTTP/1.1\r\nX-Filler: " + std::string(12000, 'a') + "\r\n\r\n");
    EXPECT_FALSE(oversized.isTimedOut);
    EXPECT_EQ(oversized.bytes, okReply(m_manifest));

    LoopbackClient junk(m_port);
    ASSERT_TRUE(junk.Send(patternBytes(5000)));
    junk.FinishSending();
    const LoopbackClient::Received junkReply = junk.ReceiveAll();
    EXPECT_FALSE(junkReply.isTimedOut);
    EXPECT_EQ(junkReply.bytes, "");
    expectStillServing();
}

// A client that connects and sends nothing is dropped after the head
// time-out, and the next client is served.
TEST_F(HttpServerTest, DropsAClientThatSendsNothing) {
    HttpServer::Settings settings;
    settings.headTimeoutMs = 200;
    start(settings);
    LoopbackClient idle(m_port);
    ASSERT_TRUE(idle.IsConnected());
    EXPECT_EQ(Fetch(m_port, "GET /install.img HTTP/1.1\r\n\r\n").bytes, okReply(m_image));
    const LoopbackClient::Received idleReply = idle.ReceiveAll();
    EXPECT_FALSE(idleReply.isTimedOut);
    EXPECT_EQ(idleReply.bytes, "");
}

// A client that asks for a large file and never reads is dropped after the
// send time-out, and the next client is served.
TEST_F(HttpServerTest, DropsAClientThatNeverReads) {
    writeFile(m_root / "install.img", patternBytes(kBigFileBytes));
    HttpServer::Settings settings;
    settings.sendTimeoutMs = 200;
    start(settings);
    LoopbackClient stalled(m_port, 4096);
    ASSERT_TRUE(stalled.Send("GET /install.img HTTP/1.1\r\n\r\n"));
    expectStillServing();
    m_observer.waitFor('F', imagePath());
    EXPECT_LT(m_observer.lastSentBytes(imagePath()), kBigFileBytes);
}

// A client that resets the connection mid-body ends that transfer only.
TEST_F(HttpServerTest, SurvivesAClientVanishingMidBody) {
    writeFile(m_root / "install.img", patternBytes(kBigFileBytes));
    start();
    LoopbackClient leaving(m_port);
    ASSERT_TRUE(leaving.Send("GET /install.img HTTP/1.1\r\n\r\n"));
    EXPECT_EQ(leaving.Receive(100000).size(), 100000u);
    leaving.Abandon();
    m_observer.waitFor('F', imagePath());
    EXPECT_LT(m_observer.lastSentBytes(imagePath()), kBigFileBytes);
    expectStillServing();
}

// Stop during a transfer to a client that does not read returns without
// waiting for the send time-out and closes the connection.
TEST_F(HttpServerTest, StopEndsATransferInProgress) {
    writeFile(m_root / "install.img", patternBytes(kBigFileBytes));
    HttpServer::Settings settings;
    settings.sendTimeoutMs = 3600 * 1000;
    start(settings);
    LoopbackClient stalled(m_port, 4096);
    ASSERT_TRUE(stalled.Send("GET /install.img HTTP/1.1\r\n\r\n"));
    m_observer.waitFor('P', imagePath());

    EXPECT_TRUE(m_server->Stop());
    EXPECT_EQ(m_server->BoundPort(), 0);
    const LoopbackClient::Received received = stalled.ReceiveAll();
    EXPECT_FALSE(received.isTimedOut);
    EXPECT_LT(received.bytes.size(), kBigFileBytes);
    EXPECT_FALSE(Fetch(m_port, "GET /install.img HTTP/1.1\r\n\r\n").isConnected);
    EXPECT_TRUE(m_server->Stop());
}

// Stop while the worker waits for a request head returns without waiting for
// the head time-out.
TEST_F(HttpServerTest, StopEndsAWaitForTheHead) {
    HttpServer::Settings settings;
    settings.headTimeoutMs = 3600 * 1000;
    start(settings);
    LoopbackClient served(m_port);
    ASSERT_TRUE(served.Send("GET /appliance.xml HTTP/1.1\r\n\r\n"));
    LoopbackClient silent(m_port);
    ASSERT_TRUE(silent.IsConnected());
    // The silent client is next in line once this one is answered.
    ASSERT_EQ(served.ReceiveAll().bytes, okReply(m_manifest));

    EXPECT_TRUE(m_server->Stop());
    const LoopbackClient::Received received = silent.ReceiveAll();
    EXPECT_FALSE(received.isTimedOut);
    EXPECT_EQ(received.bytes, "");
}

// Only plain file names can be served.
TEST_F(HttpServerTest, StartRefusesNamesThatLeaveTheRoot) {
    HttpServer server(HttpServer::Settings{.port = 0, .address = INADDR_LOOPBACK});
    for (const char* name : {"", ".", "..", "sub/install.img", "/etc/passwd"}) {
        SCOPED_TRACE(name);
        EXPECT_FALSE(server.Start(m_root.string(), {"install.img", name}));
        EXPECT_EQ(server.BoundPort(), 0);
    }
    EXPECT_TRUE(server.Start(m_root.string() + "/", {"install.img"}));
}

// The name is the token after "GET" in the last GET line; tokens are split
// at spaces and slashes.
TEST(HttpServerObserver, TakesTheNameFromTheLastGetLine) {
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"GET /install.img HTTP/1.1\r\nHost: h\r\n\r\n", "install.img"},
        {"GET /a/b.img HTTP/1.1\r\n", "a"},
        {"GET / HTTP/1.1\r\n", "HTTP"},
        {"GET  //x  HTTP/1.1\n", "x"},
        {"Host: h\r\nGET /late HTTP/1.1\r\n\r\n", "late"},
        {"GET /first HTTP/1.1\r\nGET /second HTTP/1.1\r\n", "second"},
        {"GET /first HTTP/1.1\r\nGET\r\n", "first"},
        {"GET /unended", "unended"},
        {"GET /unended\r", "unended\r"},
        {"get /x HTTP/1.1\r\n", ""},
        {" GET /x HTTP/1.1\r\n", ""},
        {"GETTER /x\r\n", ""},
        {"GET\r\n\r\n", ""},
        {"", ""},
    };
    for (const auto& [head, name] : cases) {
        SCOPED_TRACE(head);
        EXPECT_EQ(HttpServer::HttpServerObserver::RequestedName(head), name);
    }
}
