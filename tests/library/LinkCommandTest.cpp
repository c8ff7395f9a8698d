// Commands a box link sends, byte for byte, against a scripted Box.
#include "CDmpVellumo.h"
#include "LinkTestSupport.h"
#include "RawBoxPeer.h"

#include <gtest/gtest.h>

#include <sys/socket.h>
#include <unistd.h>

namespace {

class LinkCommandTest : public ::testing::Test {
protected:
    void SetUp() override {
        m_link.AddObserver(&m_observer);
        ASSERT_TRUE(m_link.OpenConnection("127.0.0.1", m_peer.Port(), false));
        m_peer.AcceptPair();
    }

    void expectCommand(const std::string& record) {
        EXPECT_EQ(m_peer.ReadCommand(record.size()), record);
    }

    std::vector<std::wstring> files(std::initializer_list<const char*> names) {
        std::vector<std::wstring> paths;
        for (const char* name : names) {
            const auto path = MakePatternFile(m_dir, name, 10);
            paths.push_back(path.wstring());
        }
        return paths;
    }

    TempDir m_dir;
    RawBoxPeer m_peer;
    RecordingObserver m_observer;
    CDmpVellumo m_link;
};

TEST_F(LinkCommandTest, PlaySendsNamesThenPlayWithTypeAndCount) {
    ASSERT_TRUE(m_link.AddFiles(files({"a", "b", "c"}), -1));
    ASSERT_TRUE(m_link.Play(kMediaTypeAudio));
    // "l" keeps the sequence number; "L" increments it.
    expectCommand(Record('l', 0, 0, "a\nb\nc\n"));
    expectCommand(Record('L', 1, (3ull << 32) | 'A'));
}

TEST_F(LinkCommandTest, PlayWithEmptyListSendsNothingAndReportsNotConnected) {
    EXPECT_FALSE(m_link.Play(kMediaTypeVideo));
    EXPECT_EQ(m_peer.DrainCommand(), "");
    EXPECT_EQ(m_observer.Events(), std::vector<std::string>{"error -1"});
}

TEST_F(LinkCommandTest, PlaybackCommandsCarryTypeAndCountOrTheirValue) {
    // Before any play there is no media type: the low value is 0.
    ASSERT_TRUE(m_link.Pause());
    expectCommand(Record('p', 1, 0));

    ASSERT_TRUE(m_link.AddFiles(files({"x", "y"}), -1));
    ASSERT_TRUE(m_link.Play(kMediaTypeAudio));
    m_peer.ReadCommand(13 + 4 + 4 + 13);
    ASSERT_TRUE(m_link.SetRepeat(1));
    expectCommand(Record('r', 3, (1ull << 32) | 0x41));
    ASSERT_TRUE(m_link.Next());
    expectCommand(Record('N', 4, (2ull << 32) | 'A'));
    ASSERT_TRUE(m_link.Prev());
    expectCommand(Record('V', 5, (2ull << 32) | 'A'));
    ASSERT_TRUE(m_link.Resume());
    expectCommand(Record('P', 6, (2ull << 32) | 'A'));
    ASSERT_TRUE(m_link.Restart());
    expectCommand(Record('s', 7, 'A'));
}

TEST_F(LinkCommandTest, SeekVolumeAndMuteKeepTheSequenceAndStoreTheirValue) {
    ASSERT_TRUE(m_link.Pause());
    m_peer.ReadCommand(13);
    ASSERT_TRUE(m_link.Seek(77));
    expectCommand(Record('J', 1, 77));
    EXPECT_EQ(m_link.CurrentPosition(), 77);
    ASSERT_TRUE(m_link.SetVolume(-5));
    expectCommand(Record('v', 1, static_cast<uint64_t>(int64_t{-5})));
    EXPECT_EQ(m_link.Volume(), -5);
    ASSERT_TRUE(m_link.Mute());
    expectCommand(Record('m', 1, 0));
    EXPECT_EQ(m_link.Volume(), 0);
}

TEST_F(LinkCommandTest, DeviceCommandsAndUpgradeUrl) {
    ASSERT_TRUE(m_link.SwitchToWiDi());
    expectCommand(Record('w', 1, 0));
    ASSERT_TRUE(m_link.SwitchToWfdPIN());
    expectCommand(Record('T', 2, 0));
    ASSERT_TRUE(m_link.SwitchToWfdPBC());
    expectCommand(Record('t', 3, 0));
    EXPECT_FALSE(m_link.Upgrade(""));
    EXPECT_FALSE(m_link.Upgrade(nullptr));
    ASSERT_TRUE(m_link.Upgrade("http://127.0.0.1:7272/appliance.xml"));
    expectCommand(Record('u', 4, 0, "http://127.0.0.1:7272/appliance.xml"));
}

TEST_F(LinkCommandTest, VersionAnswerDecodesIntoItsParts) {
    std::thread box([this] {
        expectCommand(Record('n', 1, 0));
        m_peer.WriteStatus("ver ", 1, (2u << 16) | 3u, 7u);
    });
    dmpwire::BoxVersion version{-1, -1, -1};
    EXPECT_TRUE(m_link.GetBoxVersion(version));
    box.join();
    EXPECT_EQ(version, (dmpwire::BoxVersion{2, 3, 7}));
}

TEST_F(LinkCommandTest, MacQueryCarriesTheByteGAndReturnsTheAnswer) {
    std::thread box([this] {
        expectCommand(Record('W', 1, 0x67));
        m_peer.WriteStatus("waid", 1, 0xC3D4E5F6u, 0xA1B2u);
    });
    EXPECT_EQ(m_link.GetCurAdapterMacAddr(), 0x0000A1B2C3D4E5F6ull);
    box.join();
}

TEST_F(LinkCommandTest, FailedPauseOnOpenLinkReportsSendFailureTwice) {
    // The Box resets the command connection.
    const linger reset{1, 0};
    ::setsockopt(m_peer.CommandSocket(), SOL_SOCKET, SO_LINGER, &reset, sizeof reset);
    ::shutdown(m_peer.CommandSocket(), SHUT_RDWR);
    m_peer.CloseAll();
    TraceCapture trace;
    EXPECT_FALSE(m_link.Pause());
    EXPECT_EQ(m_observer.Count("error -7"), 2u);
    EXPECT_TRUE(trace.Contains("CDmpVellumo::Pause(): Fail to send command!"));
}

TEST_F(LinkCommandTest, CloseSendsDisconnectWithTheCurrentType) {
    ASSERT_TRUE(m_link.AddFiles(files({"v"}), -1));
    ASSERT_TRUE(m_link.Play(kMediaTypeVideo));
    m_peer.ReadCommand(13 + 4 + 2 + 13);
    m_link.CloseConnection();
    expectCommand(Record('D', 2, 'F'));
    EXPECT_EQ(m_observer.Events().back(), "closed");
    EXPECT_EQ(m_link.Sequence(), 0);
}

TEST_F(LinkCommandTest, AddFilesKeepsOnlyRegularFilesAndInsertsAtPosition) {
    ASSERT_TRUE(m_link.AddFiles(files({"one", "two"}), -1));
    std::vector<std::wstring> more = files({"first", "second"});
    more.push_back(std::filesystem::path(m_dir.file("missing")).wstring());
    more.push_back(std::filesystem::path(m_dir.path()).wstring()); // a directory
    ASSERT_TRUE(m_link.AddFiles(more, 0));
    // The list was already non-empty: names are resent and position 0 restarts.
    expectCommand(Record('l', 0, 0, "first\nsecond\none\ntwo\n"));
    expectCommand(Record('s', 1, 0));
    EXPECT_EQ(m_link.PlayListCount(), 4);
    EXPECT_FALSE(m_link.AddFiles({}, -1));
}

} // namespace
