// The library against a Box (and a web server) that misbehave on purpose:
// teardown returns whatever the peer does.
#include "HostWindowRecorder.h"
#include "LoopbackListener.h"
#include "PlayListWriter.h"
#include "RawBoxPeer.h"
#include "TestFiles.h"
#include "WireBytes.h"
#include "dmp_vellumo.h"

#include <gtest/gtest.h>

#include <functional>
#include <future>
#include <poll.h>
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

// How a Box that goes away is told from one that ends its list: a status
// connection closed without "done", and a Box silent while it plays, are
// DMP_ERROR_BOX_LOST before the link's close; "done" with a negative
// argument is the Box's failure report; "done" with the count is neither.
TEST_F(HostileBoxTest, ALostBoxIsToldFromAnEndedList) {
    const std::wstring track = MakePatternFile(m_dir, "a.mp3", 1000).wstring();
    // What the Box does after the link connected, and the errors the link
    // reports before it closes.
    const auto errorsOf = [&](const std::function<void()>& box) {
        DmpVellumoInfo* handle = play({track});
        EXPECT_TRUE(m_window.Next(DMP_WM_CONNECTED));
        // Once the link reads the status connection.
        m_box.WriteStatus("time", 1, 100, 0);
        EXPECT_TRUE(m_window.Next(DMP_WM_AUDIO_STATUS));
        box();
        EXPECT_TRUE(m_window.Next(DMP_WM_CLOSED));
        Destroy(handle);
        std::vector<intptr_t> errors;
        for (const HostWindowRecorder::Message& message : m_window.Take())
            if (message.number == DMP_WM_ERROR)
                errors.push_back(message.lparam);
        return errors;
    };
    EXPECT_EQ(errorsOf([&] { m_box.WriteStatus("stat", 1, "done", 1); }), std::vector<intptr_t>{})
        << "a list played to its end";
    EXPECT_EQ(errorsOf([&] { m_box.WriteStatus("stat", 1, "done", -1); }),
              std::vector<intptr_t>{DMP_ERROR_BOX_FAILED});
    EXPECT_EQ(errorsOf([&] { m_box.CloseAll(); }), std::vector<intptr_t>{DMP_ERROR_BOX_LOST});
}

// A Box that answers once and then never again, without closing anything.
TEST_F(HostileBoxTest, ABoxSilentWhileItPlaysIsLost) {
    DmpVellumoInfo* handle = play({MakePatternFile(m_dir, "a.mp3", 1000).wstring()});
    ASSERT_TRUE(m_window.Next(DMP_WM_CONNECTED));
    m_box.WriteStatus("time", 1, 100, 0);
    const auto lost =
        m_window.Next(DMP_WM_ERROR, std::chrono::milliseconds(3 * DMP_SILENCE_LIMIT_MS));
    ASSERT_TRUE(lost);
    EXPECT_EQ(lost->lparam, DMP_ERROR_BOX_LOST);
    EXPECT_TRUE(m_window.Next(DMP_WM_CLOSED));
    Destroy(handle);
}

// The Box pairs connections by their order alone: sixteen links of eight
// handles that connect to it at once arrive as sixteen pairs, each a command
// connection (the one that gets the names) before its data connection.
TEST(LinkPairs, LinksToOneBoxConnectInPairs) {
    TempDir dir;
    const std::string list = std::filesystem::path(dir.file("list.m3u")).string();
    ASSERT_TRUE(kvu::WritePlayList(list, {MakePatternFile(dir, "a.mp3", 10).wstring(),
                                          MakePatternFile(dir, "b.jpg", 10).wstring()}));
    LoopbackListener box(64);
    HostWindowRecorder window;
    std::vector<DmpVellumoInfo*> handles;
    for (int i = 0; i < 8; ++i) {
        handles.push_back(CreateWithAsyncIoA("127.0.0.1", box.port(), window.Window()));
        ASSERT_TRUE(PlayFileA(handles.back(), list.c_str()));
    }
    std::vector<int> connections;
    for (int i = 0; i < 32; ++i)
        connections.push_back(box.accept());
    for (size_t i = 0; i < connections.size(); ++i) {
        pollfd entry{connections[i], POLLIN, 0};
        const bool isCommand = i % 2 == 0;
        // A command connection gets its names at once; a data connection
        // nothing until the Box writes status.
        EXPECT_EQ(::poll(&entry, 1, isCommand ? 5000 : 200) == 1, isCommand) << "connection " << i;
    }
    for (DmpVellumoInfo* handle : handles)
        Destroy(handle);
    for (const int fd : connections)
        ::close(fd);
}

// Entries that link to files of the process file system: one announces size
// 0 and streams without end, the other holds the process's own status. The
// Box gets neither, each as an empty file so that it moves on; the link
// tells "cannot be opened".
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
    EXPECT_EQ(m_box.ReadAllData(), Record('F', 1, 0) + Record('F', 0, 0));
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
