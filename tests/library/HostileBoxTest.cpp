// The library against a Box (and a web server) that misbehave on purpose:
// teardown returns whatever the peer does.
#include "HostWindowRecorder.h"
#include "LoopbackListener.h"
#include "PlayListWriter.h"
#include "RawBoxPeer.h"
#include "TestFiles.h"
#include "dmp_vellumo.h"

#include <gtest/gtest.h>

#include <functional>
#include <future>
#include <sys/socket.h>
#include <unistd.h>

namespace {

// Runs call on a thread of its own and expects it to return within the
// bound. When it does not, release() must unblock it so that the test ends.
void expectReturns(const std::function<void()>& call, const std::function<void()>& release) {
    std::packaged_task<void()> task(call);
    std::future<void> done = task.get_future();
    std::thread runner(std::move(task));
    const bool hasReturned = done.wait_for(kEventBound) == std::future_status::ready;
    EXPECT_TRUE(hasReturned) << "the call waits for the peer";
    if (!hasReturned)
        release();
    runner.join();
}

class HostileBoxTest : public ::testing::Test {
protected:
    // Starts an asynchronous handle on a play list of entries and accepts its
    // links' connections.
    DmpVellumoInfo* play(const std::vector<std::wstring>& entries) {
        const std::string list = std::filesystem::path(m_dir.file("list.m3u")).string();
        EXPECT_TRUE(kvu::WritePlayList(list, entries));
        DmpVellumoInfo* handle = CreateWithAsyncIoA("127.0.0.1", m_box.Port(), m_window.Window());
        EXPECT_TRUE(PlayFileA(handle, list.c_str()));
        m_box.AcceptPair();
        return handle;
    }

    TempDir m_dir;
    RawBoxPeer m_box;
    HostWindowRecorder m_window;
};

// The names of a long play list fill the socket buffers of a Box that never
// reads its command connection; the worker blocks in send.
TEST_F(HostileBoxTest, DestroyReturnsWhileTheBoxDoesNotReadTheNames) {
    const std::wstring track = MakePatternFile(m_dir, std::string(240, 'n') + ".mp3", 10).wstring();
    DmpVellumoInfo* handle = play(std::vector<std::wstring>(30000, track));
    ASSERT_TRUE(m_window.Next(DMP_WM_CONNECTED));
    expectReturns([handle] { Destroy(handle); }, [this] { m_box.CloseAll(); });
}

// The Box asks for a web-address entry whose server accepts and never
// answers; the worker is inside the download.
TEST_F(HostileBoxTest, DestroyStopsADownloadThatNeverAnswers) {
    LoopbackListener silentServer;
    const std::string url = "http://127.0.0.1:" + std::to_string(silentServer.port()) + "/a.mp3";
    DmpVellumoInfo* handle = play({std::wstring(url.begin(), url.end())});
    ASSERT_TRUE(m_window.Next(DMP_WM_CONNECTED));
    m_box.WriteStatus("stat", 1, "play", 0);
    const int request = silentServer.accept();
    ASSERT_GE(request, 0);
    expectReturns([handle] { Destroy(handle); }, [request] { ::shutdown(request, SHUT_RDWR); });
    ::close(request);
}

// Entries that link to files of the process file system: one announces size
// 0 and streams without end, the other holds the process's own status. The
// Box gets neither, only the link's "cannot be opened".
TEST_F(HostileBoxTest, PseudoFilesAreRefusedAsUnopenable) {
    std::vector<std::wstring> entries;
    for (const char* target : {"/proc/self/pagemap", "/proc/self/status"}) {
        const std::string link = m_dir.file(std::string(target + 11) + ".mp3");
        ASSERT_EQ(::symlink(target, link.c_str()), 0);
        entries.push_back(std::filesystem::path(link).wstring());
    }
    DmpVellumoInfo* handle = play(entries);
    ASSERT_TRUE(m_window.Next(DMP_WM_CONNECTED));
    for (int32_t index : {0, 1}) {
        m_box.WriteStatus("stat", 1, "play", index);
        const auto error = m_window.Next(DMP_WM_ERROR);
        ASSERT_TRUE(error) << "entry " << index << " was opened";
        EXPECT_EQ(error->lparam, DMP_ERROR_FILE_OPEN);
        m_box.WriteStatus("stat", 2, "stop", 0);
    }
    Destroy(handle);
    EXPECT_EQ(m_box.ReadAllData(), "");
}

// Eight small lists, each naming the next ten times, would expand to 10^8
// entries; one parse keeps a million and the call returns.
TEST(HostileFile, NestedPlayListsAreBoundedToAMillionEntries) {
    TempDir dir;
    const auto listPath = [&dir](int level) {
        return std::filesystem::path(dir.file("l" + std::to_string(level) + ".m3u")).wstring();
    };
    for (int level = 1; level <= 8; ++level) {
        const std::wstring entry = level < 8 ? listPath(level + 1) : L"/m/track.mp3";
        ASSERT_TRUE(kvu::WritePlayList(std::filesystem::path(listPath(level)).string(),
                                       std::vector<std::wstring>(10, entry)));
    }
    DmpVellumoInfo* handle = CreateA("127.0.0.1", 7171);
    EXPECT_EQ(GetFilesType(handle, listPath(1).c_str()), DMP_TYPE_AUDIO);
    Destroy(handle);
}

} // namespace
