#include "network/HttpServer.h"
#include "DummyNetwork.h"
#include "LoopbackClient.h"
#include "OtherUser.h"
#include "network/HttpServerObserver.h"
#include "network/HttpStatusObserver.h"

#include <arpa/inet.h>
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
using Strings = std::vector<std::string>;

namespace {

// Records each call as "started PATH", "progress PATH SENT/TOTAL" or
// "finished PATH".
class RecordingStatusObserver : public HttpStatusObserver {
public:
    void TransferStarted(const std::string& path) override { record("started " + path); }
    void TransferProgress(const std::string& path, std::uint32_t sentBytes,
                          std::uint32_t totalBytes) override {
        record("progress " + path + " " + std::to_string(sentBytes) + "/" +
               std::to_string(totalBytes));
    }
    void TransferFinished(const std::string& path) override { record("finished " + path); }

    Strings events() {
        std::lock_guard lock(m_mutex);
        return m_events;
    }
    void waitFor(const std::string& prefix) {
        std::unique_lock lock(m_mutex);
        m_changed.wait(lock, [&] {
            return std::any_of(m_events.begin(), m_events.end(),
                               [&](const std::string& event) { return event.starts_with(prefix); });
        });
    }

private:
    void record(std::string event) {
        {
            std::lock_guard lock(m_mutex);
            m_events.push_back(std::move(event));
        }
        m_changed.notify_all();
    }

    std::mutex m_mutex; // guards m_events
    std::condition_variable m_changed;
    Strings m_events;
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

constexpr size_t kBigFileBytes = 16 * 1024 * 1024;
const std::string kImageRequest = "GET /install.img HTTP/1.1\r\n\r\n";
const std::string kManifestRequest = "GET /appliance.xml HTTP/1.1\r\n\r\n";

class HttpServerTest : public ::testing::Test {
protected:
    void SetUp() override {
        const char* tmp = std::getenv("TMPDIR");
        std::string pattern = (tmp != nullptr && *tmp != '\0' ? tmp : "/tmp") + "/httpd-XXXXXX"s;
        ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
        m_base = pattern;
        m_root = m_base / "root";
        m_imagePath = (m_root / "install.img").string();
        fs::create_directories(m_base / "outside");
        fs::create_directory(m_root);
        writeFile(m_base / "outside" / "secret.txt", "outside the root");
        writeFile(m_root / "secret.txt", "not a firmware file");
        writeFile(m_root / "install.img", m_image);
        writeFile(m_root / "appliance.xml", m_manifest);
    }

    void TearDown() override {
        m_server.reset();
        fs::remove_all(m_base);
    }

    void start(HttpServer::Settings settings = {}) {
        settings.port = 0;
        if (settings.address == INADDR_ANY)
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

    // The server answers a sound request after whatever the test did.
    void expectStillServing() {
        EXPECT_EQ(Fetch(m_port, kManifestRequest).bytes, okReply(m_manifest));
    }

    // The connection was taken and closed without a byte sent.
    static void expectClosedSilently(const LoopbackClient::Received& received) {
        EXPECT_TRUE(received.isConnected);
        EXPECT_FALSE(received.isTimedOut);
        EXPECT_EQ(received.bytes, "");
    }

    fs::path m_base;
    fs::path m_root;
    std::string m_imagePath;
    const std::string m_image = patternBytes(200000);
    const std::string m_manifest = "<appliance><SWURL>http://h/install.img</SWURL></appliance>";
    RecordingStatusObserver m_observer;
    std::unique_ptr<HttpServer> m_server;
    std::uint16_t m_port = 0;
};

} // namespace

// A GET with headers gets the length and exactly the file, block by block
// reported; a Range header changes nothing.
TEST_F(HttpServerTest, ServesTheWholeFileAndReportsEachBlock) {
    start();
    EXPECT_EQ(Fetch(m_port, "GET /install.img HTTP/1.1\r\nHost: 127.0.0.1:7272\r\n"
                            "Connection: keep-alive\r\n\r\n")
                  .bytes,
              okReply(m_image));
    const std::string& path = m_imagePath;
    EXPECT_EQ(m_observer.events(),
              (Strings{"started " + path, "progress " + path + " 65536/200000",
                       "progress " + path + " 131072/200000", "progress " + path + " 196608/200000",
                       "progress " + path + " 200000/200000", "finished " + path}));
    EXPECT_EQ(Fetch(m_port, "GET /install.img HTTP/1.1\r\nRange: bytes=100-\r\n\r\n").bytes,
              okReply(m_image));
}

// A file of several send calls, a whole number of blocks long: every block
// reported once, in order, the last one not twice.
TEST_F(HttpServerTest, ReportsEveryBlockOfALargeFileOnce) {
    constexpr std::uint32_t kBlocks = 37;
    const std::string image = patternBytes(kBlocks * 65536);
    writeFile(m_root / "install.img", image);
    start();
    EXPECT_EQ(Fetch(m_port, "GET /install.img HTTP/1.1\r\n\r\n").bytes, okReply(image));
    Strings expected{"started " + m_imagePath};
    for (std::uint32_t block = 1; block <= kBlocks; ++block)
        expected.push_back("progress " + m_imagePath + " " + std::to_string(block * 65536) + "/" +
                           std::to_string(image.size()));
    expected.push_back("finished " + m_imagePath);
    EXPECT_EQ(m_observer.events(), expected);
}

// An empty file gets the header with length 0 and no body.
TEST_F(HttpServerTest, ServesAnEmptyFile) {
    writeFile(m_root / "appliance.xml", "");
    start();
    EXPECT_EQ(Fetch(m_port, kManifestRequest).bytes, okReply(""));
    const std::string path = (m_root / "appliance.xml").string();
    EXPECT_EQ(m_observer.events(), (Strings{"started " + path, "finished " + path}));
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

// A request that names no served file, after one that did, gets the
// connection closed with nothing sent, and the server goes on serving.
TEST_P(HttpServerRefusalTest, ClosesWithoutReply) {
    start();
    ASSERT_EQ(Fetch(m_port, kImageRequest).bytes, okReply(m_image));
    const size_t eventCount = m_observer.events().size();
    LoopbackClient client(m_port);
    ASSERT_TRUE(client.Send(GetParam().request));
    client.FinishSending();
    expectClosedSilently(client.Receive());
    EXPECT_EQ(m_observer.events().size(), eventCount);
    expectStillServing();
}

INSTANTIATE_TEST_SUITE_P(
    BadRequests, HttpServerRefusalTest,
    ::testing::Values(RefusedRequest{"RootNamesHttp", "GET / HTTP/1.1\r\n\r\n"},
                      RefusedRequest{"LowerCaseGet", "get /install.img HTTP/1.1\r\n\r\n"},
                      RefusedRequest{"OtherMethod", "HEAD /install.img HTTP/1.1\r\n\r\n"},
                      RefusedRequest{"NoGetLine", "Range: bytes=0-\r\n\r\n"},
                      RefusedRequest{"GetWithoutName", "GET\r\n\r\n"},
                      RefusedRequest{"GetWithOnlySlash", "GET /\r\n\r\n"},
                      RefusedRequest{"FileNotServed", "GET /secret.txt HTTP/1.1\r\n\r\n"},
                      RefusedRequest{"ParentDirectory",
                                     "GET /../outside/secret.txt HTTP/1.1\r\n\r\n"},
                      RefusedRequest{"PercentEncoded", "GET /install%2Eimg HTTP/1.1\r\n\r\n"},
                      RefusedRequest{"EmbeddedNul", "GET /install.img\0x HTTP/1.1\r\n\r\n"s},
                      RefusedRequest{"BinaryJunkEndingEarly", patternBytes(5000)},
                      RefusedRequest{"BinaryJunkFillingTheHead", patternBytes(12 * 1024)}),
    [](const ::testing::TestParamInfo<RefusedRequest>& info) { return info.param.scenario; });

// Under a served name only a plain, singly linked file is sent: a missing
// file, a symbolic or hard link, a directory or a FIFO is refused.
TEST_F(HttpServerTest, RefusesWhatIsNotAPlainFile) {
    const fs::path image = m_imagePath;
    const fs::path secret = m_base / "outside" / "secret.txt";
    const std::vector<std::pair<const char*, std::function<void()>>> replacements = {
        {"missing", [] {}},
        {"symbolic link", [&] { fs::create_symlink(secret, image); }},
        {"hard link", [&] { fs::create_hard_link(secret, image); }},
        {"directory", [&] { fs::create_directory(image); }},
        {"fifo", [&] { ASSERT_EQ(::mkfifo(image.c_str(), 0600), 0); }},
        {"another user's file",
         [&] {
             writeFile(image, "planted");
             ASSERT_EQ(::chown(image.c_str(), kOtherUser, kOtherUser), 0);
         }},
        {"a file others may write to",
         [&] {
             writeFile(image, "planted");
             ASSERT_EQ(::chmod(image.c_str(), 0666), 0);
         }},
    };
    start();
    for (const auto& [scenario, replace] : replacements) {
        SCOPED_TRACE(scenario);
        fs::remove_all(image);
        replace();
        expectClosedSilently(Fetch(m_port, kImageRequest));
        expectStillServing();
    }
    // Started each time, never finished.
    const Strings events = m_observer.events();
    EXPECT_EQ(std::count(events.begin(), events.end(), "started " + m_imagePath), 7);
    EXPECT_EQ(std::count(events.begin(), events.end(), "finished " + m_imagePath), 0);
}

// A head that arrives in pieces is gathered up to its blank line; one over
// 10 KiB is judged by its first 10,239 bytes.
TEST_F(HttpServerTest, GathersSplitHeadsAndCutsOversizedOnes) {
    start();
    LoopbackClient client(m_port);
    ASSERT_TRUE(client.Send("GET /insta"));
    ASSERT_TRUE(client.Send("ll.img HTTP/1.1\r\nHost: x\r"));
    ASSERT_TRUE(client.Send("\n\r\n"));
    EXPECT_EQ(client.Receive().bytes, okReply(m_image));

    const LoopbackClient::Received oversized = Fetch(
        m_port, "GET /appliance.xml HTTP/1.1\r\nX-Filler: " + std::string(12000, 'a') + "\r\n\r\n");
    EXPECT_FALSE(oversized.isTimedOut);
    EXPECT_EQ(oversized.bytes, okReply(m_manifest));
}

// A client that sends nothing is dropped after the head time-out, and one
// that never reads after the send time-out; others are served meanwhile.
TEST_F(HttpServerTest, DropsClientsThatStall) {
    writeFile(m_imagePath, patternBytes(kBigFileBytes));
    start({.headTimeoutMs = 200, .sendTimeoutMs = 200});
    LoopbackClient silent(m_port);
    expectStillServing();
    expectClosedSilently(silent.Receive());

    LoopbackClient stalled(m_port, 4096);
    ASSERT_TRUE(stalled.Send(kImageRequest));
    expectStillServing();
    m_observer.waitFor("finished " + m_imagePath);
    const Strings events = m_observer.events();
    EXPECT_EQ(std::count(events.begin(), events.end(), "finished " + m_imagePath), 1);
}

// A client that resets the connection mid-body ends that transfer only.
TEST_F(HttpServerTest, SurvivesAClientVanishingMidBody) {
    writeFile(m_imagePath, patternBytes(kBigFileBytes));
    start();
    LoopbackClient leaving(m_port, 65536);
    ASSERT_TRUE(leaving.Send(kImageRequest));
    EXPECT_EQ(leaving.Receive(100000).bytes.size(), 100000u);
    leaving.Abandon();
    m_observer.waitFor("finished " + m_imagePath);
    expectStillServing();
}

// Stop returns without waiting for the time-outs, whether the worker sends
// to a client that does not read or waits for a head that does not come.
TEST_F(HttpServerTest, StopEndsTheConnectionBeingServed) {
    writeFile(m_imagePath, patternBytes(kBigFileBytes));
    start({.headTimeoutMs = 3600 * 1000, .sendTimeoutMs = 3600 * 1000});
    LoopbackClient stalled(m_port, 4096);
    ASSERT_TRUE(stalled.Send(kImageRequest));
    m_observer.waitFor("progress " + m_imagePath);
    EXPECT_TRUE(m_server->Stop());
    const LoopbackClient::Received cut = stalled.Receive();
    EXPECT_FALSE(cut.isTimedOut);
    EXPECT_LT(cut.bytes.size(), kBigFileBytes);
    EXPECT_FALSE(Fetch(m_port, kImageRequest).isConnected);

    start({.headTimeoutMs = 3600 * 1000});
    LoopbackClient served(m_port);
    ASSERT_TRUE(served.Send(kManifestRequest));
    LoopbackClient silent(m_port);
    // The silent client is next in line once this one is answered.
    ASSERT_EQ(served.Receive().bytes, okReply(m_manifest));
    EXPECT_TRUE(m_server->Stop());
    expectClosedSilently(silent.Receive());
}

// The PC faces the Box from 192.168.10.7; the Box is 192.168.1.20 and
// another peer of the network 10.99.0.1 (all of them the test's own
// addresses). Eight silent connections of the other peer are closed at once,
// and the Box's GET is answered although no head time-out has passed.
TEST_F(HttpServerTest, AnswersOnlyTheBoxAndClosesOtherPeersAtOnce) {
    if (!IsInDummyNetwork())
        GTEST_SKIP() << "needs a private network namespace (root)";
    const auto ipv4 = [](const char* text) {
        in_addr address{};
        ::inet_pton(AF_INET, text, &address);
        return ntohl(address.s_addr);
    };
    start({.address = ipv4("192.168.10.7"),
           .peerAddress = ipv4("192.168.1.20"),
           .headTimeoutMs = 3600 * 1000});
    std::vector<std::unique_ptr<LoopbackClient>> others;
    for (int i = 0; i < 8; ++i)
        others.push_back(std::make_unique<LoopbackClient>("10.99.0.1", "192.168.10.7", m_port));
    LoopbackClient box("192.168.1.20", "192.168.10.7", m_port);
    ASSERT_TRUE(box.Send(kImageRequest));
    EXPECT_EQ(box.Receive().bytes, okReply(m_image));
    for (const auto& other : others)
        expectClosedSilently(other->Receive());
    // Nothing listens on loopback.
    EXPECT_FALSE(LoopbackClient(m_port).IsConnected());
}

// Connections of the Box that send nothing hold up only themselves: a GET
// beside three of them is answered at once.
TEST_F(HttpServerTest, ServesSeveralConnectionsOfTheBoxAtOnce) {
    start({.headTimeoutMs = 3600 * 1000});
    std::vector<std::unique_ptr<LoopbackClient>> silent;
    for (int i = 0; i < 3; ++i)
        silent.push_back(std::make_unique<LoopbackClient>(m_port));
    EXPECT_EQ(Fetch(m_port, kManifestRequest).bytes, okReply(m_manifest));
    EXPECT_TRUE(m_server->Stop());
    for (const auto& client : silent)
        expectClosedSilently(client->Receive());
}

// The Box's address alone, or any loopback peer for a Box on loopback.
TEST(HttpServerObserver, AnswersTheBoxAlone) {
    using Observer = HttpServer::HttpServerObserver;
    EXPECT_TRUE(Observer::IsAnswered(0xC0A80114, 0xC0A80114));
    EXPECT_FALSE(Observer::IsAnswered(0x0A630001, 0xC0A80114));
    EXPECT_FALSE(Observer::IsAnswered(INADDR_LOOPBACK, 0xC0A80114));
    EXPECT_TRUE(Observer::IsAnswered(INADDR_LOOPBACK, 0x7F000002));
    EXPECT_TRUE(Observer::IsAnswered(0x0A630001, INADDR_ANY));
}

// Only plain file names can be served.
TEST_F(HttpServerTest, StartRefusesNamesThatLeaveTheRoot) {
    HttpServer server({.port = 0, .address = INADDR_LOOPBACK});
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
        {"", ""},
    };
    for (const auto& [head, name] : cases) {
        SCOPED_TRACE(head);
        EXPECT_EQ(HttpServer::HttpServerObserver::RequestedName(head), name);
    }
}
