// Files the link streams to the Box when it asks: sizes, chunks, seeks,
// switching files and closing.
#include "CDmpFileSource.h"
#include "CDmpVellumo.h"
#include "LinkTestSupport.h"
#include "RawBoxPeer.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <poll.h>
#include <sys/socket.h>

namespace {

constexpr size_t kBigBytes = 3 * kChunkBytes + 1234;

// Takes the link's sequence number when a status notification arrives: the
// close that "stop" posts resets it to 0.
class SequenceAtStatus : public CDmpVellumoObserver {
public:
    void Connected(CDmpVellumo*) override {}
    void StatusChanged(CDmpVellumo* link) override {
        m_sequence = link->Sequence();
        m_isSeen = true;
    }
    void Closed(CDmpVellumo*) override {}
    void ErrorOccurred(CDmpVellumo*, int32_t) override {}

    std::atomic<int32_t> m_sequence{-1};
    std::atomic<bool> m_isSeen{false};
};

class LinkFileReadTest : public ::testing::Test {
protected:
    void SetUp() override {
        m_link.AddObserver(&m_observer);
        ASSERT_TRUE(m_link.OpenConnection("127.0.0.1", m_peer.Port(), false));
        m_peer.AcceptPair();
        ASSERT_TRUE(m_link.AddFiles({MakePatternFile(m_dir, "big", kBigBytes).wstring(),
                                     MakePatternFile(m_dir, "empty", 0).wstring(),
                                     MakePatternFile(m_dir, "huge", 8 << 20).wstring()},
                                    -1));
        ASSERT_TRUE(m_link.Play(kMediaTypeVideo));
        m_peer.ReadCommand(13 + 4 + 15 + 13);
    }

    TempDir m_dir;
    RawBoxPeer m_peer;
    RecordingObserver m_observer;
    CDmpVellumo m_link;
};

TEST_F(LinkFileReadTest, WholeFileFollowsItsSizeRecord) {
    m_peer.WriteStatus("stat", 1, "play", 0);
    EXPECT_EQ(m_peer.ReadData(13), Record('F', 1, kBigBytes));
    EXPECT_EQ(m_peer.ReadData(kBigBytes), PatternBytes(0, kBigBytes));
    // A second request for the same index goes on without a new size record;
    // at the end of the file nothing more is sent.
    m_peer.WriteStatus("stat", 2, "resu", 0);
    m_peer.WriteStatus("stat", 3, "stop", 0);
    m_peer.WriteStatus("stat", 4, "play", 1);
    // Closing reset the sequence number to 0.
    EXPECT_EQ(m_peer.ReadData(13), Record('F', 0, 0));
}

// More requests for the file being read than the queue holds must not crowd
// out the close that follows, or the link would serve no later file.
TEST_F(LinkFileReadTest, FloodOfRequestsForOneFileKeepsTheClose) {
    m_peer.WriteStatus("stat", 1, "play", 1);
    EXPECT_EQ(m_peer.ReadData(13), Record('F', 1, 0));
    std::string flood;
    for (int i = 0; i < 300; ++i)
        flood += std::string("stat") + Le32(2) + (i % 2 ? "play" : "resu") + Le32(1);
    m_peer.WriteData(flood);
    m_peer.WriteStatus("stat", 3, "stop", 0);
    m_peer.WriteStatus("stat", 4, "play", 0);
    EXPECT_EQ(m_peer.ReadData(13), Record('F', 0, kBigBytes));
}

TEST_F(LinkFileReadTest, SeekAcknowledgesAndContinuesFromTheOffset) {
    m_peer.WriteStatus("stat", 1, "play", 2);
    EXPECT_EQ(m_peer.ReadData(13), Record('F', 1, 8 << 20));
    m_peer.ReadData(1000);
    m_peer.WriteData(std::string("seek") + Le32(41) + Le64(500));
    m_peer.SkipToUrgentMark();
    EXPECT_EQ(m_peer.ReadData(13), Record('$', 41, 500));
    EXPECT_EQ(m_peer.ReadData(2 * kChunkBytes), PatternBytes(500, 2 * kChunkBytes));
    // The seek request's sequence number became the link's.
    ASSERT_TRUE(m_link.Pause());
    EXPECT_EQ(m_peer.ReadCommand(13), Record('p', 42, (3ull << 32) | 'F'));
}

TEST_F(LinkFileReadTest, AnotherIndexClosesTheFirstAndSendsItsSize) {
    m_peer.WriteStatus("stat", 1, "play", 2);
    EXPECT_EQ(m_peer.ReadData(13), Record('F', 1, 8 << 20));
    m_peer.WriteStatus("stat", 2, "play", 0);
    m_peer.SkipToUrgentMark();
    EXPECT_EQ(m_peer.ReadData(13), Record('F', 1, kBigBytes));
    EXPECT_EQ(m_peer.ReadData(kChunkBytes), PatternBytes(0, kChunkBytes));
    EXPECT_EQ(m_link.CurrentIndex(), 0);
}

TEST_F(LinkFileReadTest, IndexBeyondThePlayListReportsFileOpenError) {
    TraceCapture trace;
    m_peer.WriteStatus("stat", 1, "play", 7);
    ASSERT_TRUE(m_observer.WaitFor("error -2"));
    EXPECT_TRUE(trace.Contains("CDmpCmdProcessor::DoCmdRead(): ?????? Fail to open file."));
    EXPECT_EQ(m_link.CurrentName(), nullptr);
}

TEST_F(LinkFileReadTest, SeekBeyondTheEndAcknowledgesAndSendsNothingMore) {
    m_peer.WriteStatus("stat", 1, "play", 0);
    EXPECT_EQ(m_peer.ReadData(13), Record('F', 1, kBigBytes));
    EXPECT_EQ(m_peer.ReadData(kBigBytes), PatternBytes(0, kBigBytes));
    m_peer.WriteData(std::string("seek") + Le32(7) + Le64(1ull << 62));
    EXPECT_EQ(m_peer.ReadData(13), Record('$', 7, 1ull << 62));
    // The link goes on: the next file comes when asked.
    m_peer.WriteStatus("stat", 2, "stop", 0);
    m_peer.WriteStatus("stat", 3, "play", 1);
    EXPECT_EQ(m_peer.ReadData(13), Record('F', 0, 0));
}

// Seeks are never dropped: while the worker waits for the Box, a flood of
// them collapses into the last one, which is acknowledged once the Box reads.
TEST_F(LinkFileReadTest, FloodOfSeeksWhileTheWriterIsBlockedEndsAtTheLastOne) {
    m_peer.ShrinkDataReceiveBuffer();
    m_peer.WriteStatus("stat", 1, "play", 2);
    EXPECT_EQ(m_peer.ReadData(13), Record('F', 1, 8 << 20));
    std::string flood;
    for (int i = 0; i < 2000; ++i)
        flood += std::string("seek") + Le32(static_cast<uint32_t>(i)) + Le64(100 + i);
    m_peer.WriteData(flood);
    std::string ack;
    do {
        m_peer.SkipToUrgentMark();
        ack = m_peer.ReadData(13);
    } while (!HasFailure() && ack != Record('$', 1999, 2099));
    EXPECT_EQ(m_peer.ReadData(kChunkBytes), PatternBytes(2099, kChunkBytes));
}

// At its end a file waits without cycling; a seek brings its bytes back.
TEST_F(LinkFileReadTest, FileReadToItsEndResumesOnSeek) {
    m_peer.WriteStatus("stat", 1, "play", 0);
    EXPECT_EQ(m_peer.ReadData(13), Record('F', 1, kBigBytes));
    EXPECT_EQ(m_peer.ReadData(kBigBytes), PatternBytes(0, kBigBytes));
    m_peer.WriteData(std::string("seek") + Le32(9) + Le64(500));
    EXPECT_EQ(m_peer.ReadData(13), Record('$', 9, 500));
    EXPECT_EQ(m_peer.ReadData(kBigBytes - 500), PatternBytes(500, kBigBytes - 500));
    m_peer.WriteData(std::string("seek") + Le32(10) + Le64(kBigBytes - 10));
    EXPECT_EQ(m_peer.ReadData(13), Record('$', 10, kBigBytes - 10));
    EXPECT_EQ(m_peer.ReadData(10), PatternBytes(kBigBytes - 10, 10));
}

// "pend" and "resu" in the middle of a file: the rest follows once, in order.
TEST_F(LinkFileReadTest, PauseAndResumeMidFileGoOnInOrder) {
    constexpr size_t kHugeBytes = 8 << 20;
    m_peer.WriteStatus("stat", 1, "play", 2);
    EXPECT_EQ(m_peer.ReadData(13), Record('F', 1, kHugeBytes));
    EXPECT_EQ(m_peer.ReadData(1000), PatternBytes(0, 1000));
    m_peer.WriteStatus("stat", 2, "pend", 2);
    m_peer.WriteStatus("stat", 3, "resu", 2);
    EXPECT_EQ(m_peer.ReadData(kHugeBytes - 1000), PatternBytes(1000, kHugeBytes - 1000));
    m_peer.WriteStatus("stat", 4, "stop", 2);
    m_peer.WriteStatus("stat", 5, "play", 0);
    EXPECT_EQ(m_peer.ReadData(13), Record('F', 0, kBigBytes));
}

// "stop" holds the status stream until the worker, busy writing a file larger
// than the connection buffers to a Box that does not read yet, has run the
// close: the record after it sees its effect.
TEST_F(LinkFileReadTest, StopWaitsForTheCloseBeforeTheNextRecord) {
    SequenceAtStatus probe;
    m_link.AddObserver(&probe);
    m_peer.WriteStatus("stat", 1, "play", 2);
    EXPECT_EQ(m_peer.ReadData(13), Record('F', 1, 8 << 20));
    m_peer.WriteStatus("stat", 2, "stop", 2);
    m_peer.WriteStatus("time", 3, 77, 5);
    const auto deadline = std::chrono::steady_clock::now() + kEventBound;
    char buffer[65536];
    while (!probe.m_isSeen && std::chrono::steady_clock::now() < deadline) {
        pollfd data{m_peer.DataSocket(), POLLIN, 0};
        ::poll(&data, 1, 10);
        ::recv(m_peer.DataSocket(), buffer, sizeof buffer, MSG_DONTWAIT);
    }
    ASSERT_TRUE(probe.m_isSeen);
    EXPECT_EQ(probe.m_sequence, 0);
    EXPECT_EQ(m_link.TotalDuration(), 77);
    m_link.RemoveObserver(&probe);
}

} // namespace
