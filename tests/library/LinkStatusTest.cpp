// The Box's status stream as the link parses it: whole, split, coalesced,
// truncated and unknown records.
#include "CDmpVellumo.h"
#include "LinkTestSupport.h"
#include "RawBoxPeer.h"

#include <gtest/gtest.h>

namespace {

class LinkStatusTest : public ::testing::Test {
protected:
    void SetUp() override {
        m_link.AddObserver(&m_observer);
        ASSERT_TRUE(m_link.OpenConnection("127.0.0.1", m_peer.Port(), false));
        m_peer.AcceptPair();
        std::vector<std::wstring> paths;
        for (const char* name : {"f0", "f1", "f2", "f3"})
            paths.push_back(MakePatternFile(m_dir, name, 1000 + std::string(name)[1]).wstring());
        ASSERT_TRUE(m_link.AddFiles(paths, -1));
        // Starts the status reader.
        ASSERT_TRUE(m_link.Play(kMediaTypeAudio));
    }

    TempDir m_dir;
    RawBoxPeer m_peer;
    RecordingObserver m_observer;
    TraceCapture m_trace;
    CDmpVellumo m_link;
};

TEST_F(LinkStatusTest, TimeAndVolumeAreStoredAndNotified) {
    m_peer.WriteStatus("time", 1, 300, 120);
    ASSERT_TRUE(m_observer.WaitFor("status"));
    EXPECT_EQ(m_link.TotalDuration(), 300);
    EXPECT_EQ(m_link.CurrentPosition(), 120);

    // Volume 50 with repeat 1 in bits 16 to 23; the maximum in bytes 0 to 3.
    m_peer.WriteStatus("vol ", 2, 100, (1u << 16) | 50u);
    ASSERT_TRUE(m_observer.WaitFor("status", 2));
    EXPECT_EQ(m_link.MaxVolume(), 100);
    EXPECT_EQ(m_link.Volume(), 50);
    EXPECT_EQ(m_link.RepeatStatus(), 1);
}

TEST_F(LinkStatusTest, CoalescedAndSplitRecordsAreAllParsed) {
    std::string records;
    records += std::string("time") + Le32(1) + Le32(10) + Le32(1);
    records += std::string("time") + Le32(2) + Le32(10) + Le32(2);
    records += std::string("time") + Le32(3) + Le32(10) + Le32(3);
    m_peer.WriteData(records);
    ASSERT_TRUE(m_observer.WaitFor("status", 3));
    EXPECT_EQ(m_link.CurrentPosition(), 3);

    // Split after the keyword: the rest arrives in a later segment.
    m_peer.WriteData("time");
    m_peer.WriteData(Le32(4) + Le32(20) + Le32(9));
    ASSERT_TRUE(m_observer.WaitFor("status", 4));
    EXPECT_EQ(m_link.TotalDuration(), 20);
    EXPECT_EQ(m_link.CurrentPosition(), 9);
}

TEST_F(LinkStatusTest, UnknownKeywordSkipsOnlyFourBytes) {
    // "vol" with another letter is unknown; the 12 bytes after it are read as
    // three more keywords, the third of which is a real "time" record here.
    m_peer.WriteData(std::string("volx") + "abcd" + "efgh" + "time" + Le32(1) + Le32(5) + Le32(4));
    ASSERT_TRUE(m_observer.WaitFor("status"));
    EXPECT_EQ(m_link.TotalDuration(), 5);
    EXPECT_EQ(m_link.CurrentPosition(), 4);
}

TEST_F(LinkStatusTest, ShortKeywordReadIsLoggedAndDropped) {
    m_peer.WriteData("ti");
    ASSERT_TRUE(m_trace.WaitFor("CDmpDataStreamObserver::DataReceived(): Invalid command string!"));
    m_peer.WriteStatus("time", 1, 8, 6);
    ASSERT_TRUE(m_observer.WaitFor("status"));
    EXPECT_EQ(m_link.CurrentPosition(), 6);
}

TEST_F(LinkStatusTest, TruncatedRecordReportsReadErrorAndStreamGoesOn) {
    m_peer.WriteData(std::string("time") + Le32(1) + std::string(6, '\x01'));
    ASSERT_TRUE(m_observer.WaitFor("error -6"));
    EXPECT_TRUE(m_trace.Contains("CDmpVellumo::RecvCmd(): Read error!"));
    EXPECT_EQ(m_observer.Count("status"), 0u);
    m_peer.WriteStatus("time", 2, 40, 30);
    ASSERT_TRUE(m_observer.WaitFor("status"));
    EXPECT_EQ(m_link.TotalDuration(), 40);
}

TEST_F(LinkStatusTest, PauseAndResumeFollowTheBox) {
    m_peer.WriteStatus("stat", 1, "pend", 0);
    ASSERT_TRUE(m_observer.WaitFor("status"));
    EXPECT_TRUE(m_link.IsPaused());
    // No file is open: "resu" only clears the flag and notifies.
    m_peer.WriteStatus("stat", 2, "resu", 0);
    ASSERT_TRUE(m_observer.WaitFor("status", 2));
    EXPECT_FALSE(m_link.IsPaused());
}

TEST_F(LinkStatusTest, PlayStateOpensTheNamedIndexWithoutNotifying) {
    m_peer.ReadCommand(13 + 4 + 12 + 13);
    m_peer.WriteStatus("stat", 1, "play", 3);
    const std::string header = m_peer.ReadData(13);
    // The fourth entry, "f3", is 1000 + '3' bytes long.
    EXPECT_EQ(header, Record('F', 1, 1000 + '3'));
    EXPECT_EQ(m_link.CurrentIndex(), 3);
    EXPECT_EQ(std::wstring(m_link.CurrentName()),
              std::filesystem::path(m_dir.file("f3")).wstring());
    EXPECT_EQ(m_observer.Count("status"), 0u);
}

// Entries inserted at the head and in the middle shift the indexes after
// them; a name handed out before stays valid and unchanged.
TEST_F(LinkStatusTest, NamesByIndexFollowInsertions) {
    m_peer.ReadCommand(13 + 4 + 12 + 13);
    m_peer.WriteStatus("stat", 1, "play", 3);
    ASSERT_EQ(m_peer.ReadData(13), Record('F', 1, 1000 + '3'));
    const wchar_t* handedOut = m_link.CurrentName();
    ASSERT_NE(handedOut, nullptr);
    const auto pathOf = [this](const char* name) {
        return std::filesystem::path(m_dir.file(name)).wstring();
    };
    const std::wstring f3 = pathOf("f3");
    ASSERT_EQ(std::wstring(handedOut), f3);
    ASSERT_TRUE(m_link.AddFiles(
        {MakePatternFile(m_dir, "h0", 1).wstring(), MakePatternFile(m_dir, "h1", 1).wstring()}, 0));
    ASSERT_TRUE(m_link.AddFiles({MakePatternFile(m_dir, "mid", 1).wstring()}, 3));
    // h0 h1 f0 mid f1 f2 f3: the file being read keeps index 3, which now
    // names "mid".
    EXPECT_EQ(m_link.PlayListCount(), 7);
    EXPECT_EQ(std::wstring(handedOut), f3);
    EXPECT_EQ(std::wstring(m_link.CurrentName()), pathOf("mid"));
    EXPECT_EQ(m_link.PlayListEntry(6), f3);
    EXPECT_EQ(m_link.PlayListEntry(7), L"");
}

TEST_F(LinkStatusTest, DoneClosesBothConnectionsAndNotifiesClosed) {
    m_peer.WriteStatus("stat", 1, "done", 4);
    ASSERT_TRUE(m_observer.WaitFor("closed"));
    EXPECT_FALSE(m_link.AreConnectionsOpen());
    EXPECT_FALSE(m_link.Pause());
    EXPECT_EQ(m_observer.Count("error -1"), 1u);
}

TEST_F(LinkStatusTest, BoxClosingTheDataConnectionEndsTheStream) {
    m_peer.CloseData();
    ASSERT_TRUE(m_observer.WaitFor("closed"));
    EXPECT_TRUE(m_trace.WaitFor("CDmpStreamObserver:52, Err(-6), Type(12,11)"));
    EXPECT_FALSE(m_link.AreConnectionsOpen());
}

} // namespace
