// The TCP stream's status codes, trace lines and cross-thread close.
#include "LoopbackListener.h"
#include "TraceCapture.h"
#include "io/CAsyncStreamer.h"
#include "io/CTcpStreamer.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <condition_variable>
#include <mutex>
#include <netinet/in.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

using namespace kvu::io;

namespace {

TEST(TcpStreamer, OperationsWithoutSocketFailWithTheirCodes) {
    TraceCapture trace;
    CTcpStreamer stream;
    char byte = 0;
    EXPECT_EQ(stream.Write(&byte, 1, 0), kStreamNoSocket);
    EXPECT_NE(trace.Text().find("Invalid socket!(-5, "), std::string::npos);
    EXPECT_EQ(stream.Read(&byte, 1, 0), kStreamNoSocket);
    EXPECT_FALSE(stream.IsOpen());
    EXPECT_EQ(stream.Connect(nullptr, 1), kStreamBadArgument);
}

TEST(TcpStreamer, RefusedConnectAndBadOptionCodes) {
    TraceCapture trace;
    int port;
    {
        LoopbackListener gone;
        port = gone.port();
    }
    CTcpStreamer stream;
    EXPECT_EQ(stream.Connect("127.0.0.1", port), kStreamConnectFailed);
    EXPECT_NE(trace.Text().find("Open connection failed!(-4, "), std::string::npos);
    EXPECT_FALSE(stream.IsOpen());

    LoopbackListener listener;
    ASSERT_EQ(stream.Connect("127.0.0.1", listener.port()), kStreamOk);
    const std::string before = trace.Text();
    const int32_t bytes = 4096;
    EXPECT_EQ(stream.SetOption(99, &bytes), kStreamBadArgument);
    EXPECT_EQ(trace.Text(), before);
    EXPECT_EQ(stream.SetOption(kStreamOptionSendBuffer, &bytes), kStreamOk);
}

// A read that waits past the receive time-out says so, and the stream stays
// open for the next read.
TEST(TcpStreamer, ReceiveTimeOutEndsAReadWithoutClosing) {
    LoopbackListener listener;
    CTcpStreamer stream;
    ASSERT_EQ(stream.Connect("127.0.0.1", listener.port()), kStreamOk);
    const int32_t timeoutMs = 50;
    ASSERT_EQ(stream.SetOption(kStreamOptionReceiveTimeout, &timeoutMs), kStreamOk);
    char byte = 0;
    EXPECT_EQ(stream.Read(&byte, 1, 0), kStreamTimedOut);
    EXPECT_TRUE(stream.IsOpen());
    const int peer = listener.accept();
    ASSERT_EQ(::send(peer, "x", 1, 0), 1);
    EXPECT_EQ(stream.Read(&byte, 1, 0), 1);
    EXPECT_EQ(byte, 'x');
    ::close(peer);
}

TEST(TcpStreamer, PeerCloseMakesReadFailWithReceiveCode) {
    TraceCapture trace;
    LoopbackListener listener;
    CTcpStreamer stream;
    ASSERT_EQ(stream.Connect("127.0.0.1", listener.port()), kStreamOk);
    const int peer = listener.accept();
    ASSERT_EQ(::send(peer, "ab", 2, 0), 2);
    ::close(peer);
    char buffer[8];
    EXPECT_EQ(stream.Read(buffer, 8, 0), 2);
    EXPECT_EQ(stream.Read(buffer, 8, 0), kStreamReceiveFailed);
    EXPECT_NE(trace.Text().find("Read socket failed!(-6, "), std::string::npos);
}

TEST(TcpStreamer, CloseFromAnotherThreadEndsABlockedRead) {
    LoopbackListener listener;
    CTcpStreamer stream;
    ASSERT_EQ(stream.Connect("127.0.0.1", listener.port()), kStreamOk);
    const int peer = listener.accept();
    int32_t result = 0;
    std::thread reader([&] {
        char buffer[4];
        result = stream.Read(buffer, 4, 0);
    });
    // Whether the close lands before or during the receive, the read fails.
    stream.Close();
    reader.join();
    EXPECT_LT(result, 0);
    EXPECT_FALSE(stream.IsOpen());
    ::close(peer);
}

// Records reads until the first error.
class ReadRecorder : public CDataStreamObserver {
public:
    void DataReceived(uint8_t* buffer, int32_t length, int32_t error) override {
        std::lock_guard lock(m_mutex);
        m_reads.emplace_back(length, error);
        if (length > 0)
            m_bytes.append(reinterpret_cast<char*>(buffer), static_cast<size_t>(length));
        m_changed.notify_all();
    }
    void WaitForError() {
        std::unique_lock lock(m_mutex);
        m_changed.wait(lock, [this] { return !m_reads.empty() && m_reads.back().second != 0; });
    }

    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::vector<std::pair<int32_t, int32_t>> m_reads;
    std::string m_bytes;
};

TEST(AsyncStreamer, ReadLoopDeliversBytesThenOneErrorAndStops) {
    LoopbackListener listener;
    ReadRecorder recorder;
    auto* tcp = new CTcpStreamer;
    CAsyncStreamer stream(tcp, true);
    uint8_t buffer[4];
    EXPECT_FALSE(stream.AsyncRead(buffer)); // no observer yet
    stream.SetObserver(&recorder);
    EXPECT_FALSE(stream.AsyncRead(buffer)); // not open
    ASSERT_EQ(tcp->Connect("127.0.0.1", listener.port()), kStreamOk);
    const int peer = listener.accept();
    ASSERT_TRUE(stream.AsyncRead(buffer));
    ASSERT_EQ(::send(peer, "keywords", 8, 0), 8);
    ::close(peer);
    recorder.WaitForError();
    std::lock_guard lock(recorder.m_mutex);
    EXPECT_EQ(recorder.m_bytes, "keywords");
    EXPECT_EQ(recorder.m_reads.back(),
              std::make_pair(int32_t{kStreamReceiveFailed}, int32_t{kStreamReceiveFailed}));
    EXPECT_EQ(std::count_if(recorder.m_reads.begin(), recorder.m_reads.end(),
                            [](auto read) { return read.second != 0; }),
              1);
}

} // namespace
