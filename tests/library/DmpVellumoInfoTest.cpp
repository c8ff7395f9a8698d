// The handle's notifications against a scripted Box: the update throttle and
// the mask of what still plays.
#include "DmpVellumoInfo.h"
#include "HostWindowRecorder.h"
#include "PlayListWriter.h"
#include "RawBoxPeer.h"
#include "TestFiles.h"

#include <gtest/gtest.h>

#include <sys/socket.h>

namespace {

class DmpVellumoInfoTest : public ::testing::Test {
protected:
    void SetUp() override {
        const auto song = MakePatternFile(m_dir, "song.mp3", 100);
        ASSERT_TRUE(m_handle.PlayFile(song.wstring()));
        m_peer.AcceptPair();
        ASSERT_TRUE(m_window.Next(DMP_WM_CONNECTED));
        // "l" with "song.mp3\n", then "L": playback and the status reader run.
        m_peer.ReadCommand(13 + 4 + 9 + 13);
        m_window.Take();
    }

    void volume(int32_t value) { m_peer.WriteStatus("vol ", 1, 100, static_cast<uint32_t>(value)); }

    TempDir m_dir;
    RawBoxPeer m_peer;
    HostWindowRecorder m_window;
    DmpVellumoInfo m_handle{"127.0.0.1", m_peer.Port(), m_window.Window()};
};

TEST_F(DmpVellumoInfoTest, RestartedUpdatesDropTheNextTwoChanges) {
    m_handle.StartUpdates();
    volume(1);
    volume(2);
    volume(3);
    const auto status = m_window.Next(DMP_WM_AUDIO_STATUS);
    ASSERT_TRUE(status);
    EXPECT_EQ(status->wparam, reinterpret_cast<uintptr_t>(&m_handle));
    // The reader handles records in order: the two before were dropped.
    EXPECT_EQ(m_handle.Volume(), 3);
    EXPECT_EQ(m_window.CountOf(DMP_WM_AUDIO_STATUS), 0u);
}

TEST_F(DmpVellumoInfoTest, StoppedUpdatesPostNothingButClosingStillDoes) {
    m_handle.StopUpdates();
    volume(4);
    m_peer.WriteStatus("stat", 2, "done", 1);
    const auto closed = m_window.Next(DMP_WM_CLOSED);
    ASSERT_TRUE(closed);
    EXPECT_EQ(closed->lparam, 0);
    EXPECT_EQ(m_window.CountOf(DMP_WM_AUDIO_STATUS), 0u);
    EXPECT_EQ(m_handle.ActiveMask(), 0u);
}

TEST_F(DmpVellumoInfoTest, FailedSendOfAPlaybackCommandIsPostedTwice) {
    // Only the command connection is reset: the status reader, which would
    // close both on a reset of the data connection, sees nothing.
    const linger reset{1, 0};
    ::setsockopt(m_peer.CommandSocket(), SOL_SOCKET, SO_LINGER, &reset, sizeof reset);
    m_peer.CloseCommand();
    EXPECT_FALSE(m_handle.Pause(DMP_TYPE_AUDIO));
    for (int i = 0; i < 2; ++i) {
        const auto error = m_window.Next(DMP_WM_ERROR);
        ASSERT_TRUE(error);
        EXPECT_EQ(error->lparam, DMP_ERROR_SEND);
    }
}

} // namespace
