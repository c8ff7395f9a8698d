// Playing on the simulated Box through the C interface only, in both modes:
// what the Box receives, what it is told, and what the host window hears.
#include "BoxSimProcess.h"
#include "HostWindowRecorder.h"
#include "PlayListWriter.h"
#include "Sha256Digest.h"
#include "TestFiles.h"
#include "dmp_vellumo.h"

#include <gtest/gtest.h>

namespace {

BoxSimProcess::Predicate commandIs(char byte, int64_t pair = 0) {
    return [=](const JsonEvent& event) {
        return event.str("event") == "command" && event.str("byte") == std::string(1, byte) &&
               (pair == 0 || event.num("pair") == pair);
    };
}

BoxSimProcess::Predicate fileIs(int64_t index, int64_t pair = 0) {
    return [=](const JsonEvent& event) {
        return event.str("event") == "file" && event.num("index") == index &&
               (pair == 0 || event.num("pair") == pair);
    };
}

// Files of the given names and sizes in a temporary folder, and a play list
// naming them.
class MediaSet {
public:
    MediaSet(std::initializer_list<std::pair<const char*, size_t>> files) {
        for (const auto& [name, size] : files)
            m_paths.push_back(MakePatternFile(m_dir, name, size).wstring());
        m_list = std::filesystem::path(m_dir.file("list.m3u")).string();
        EXPECT_TRUE(kvu::WritePlayList(m_list, m_paths));
    }
    const char* List() const { return m_list.c_str(); }
    std::string Sha(size_t index) const {
        return Sha256FileHex(std::filesystem::path(m_paths[index]).string());
    }
    const std::vector<std::wstring>& Paths() const { return m_paths; }

private:
    TempDir m_dir;
    std::vector<std::wstring> m_paths;
    std::string m_list;
};

void expectReceived(BoxSimProcess& box, const MediaSet& media, size_t index, int64_t pair = 0) {
    const auto file = box.waitForEvent(fileIs(static_cast<int64_t>(index), pair));
    ASSERT_TRUE(file) << "file " << index << " never arrived";
    EXPECT_TRUE(file->flag("complete"));
    EXPECT_EQ(file->num("offset"), 0);
    EXPECT_EQ(file->str("sha256"), media.Sha(index)) << "file " << index;
}

TEST(PlaybackEndToEnd, SynchronousAudioListArrivesByteExact) {
    BoxSimProcess box;
    MediaSet media({{"empty.mp3", 0}, {"big.mp3", 3 * 98304 + 777}, {"small.mp3", 1000}});
    DmpVellumoInfo* handle = CreateA(box.address().c_str(), box.port());
    ASSERT_TRUE(PlayFileA(handle, media.List()));
    EXPECT_EQ(GetPlayingType(handle), DMP_TYPE_AUDIO);
    const auto names = box.waitForEvent(commandIs('l'));
    ASSERT_TRUE(names);
    EXPECT_EQ(names->strings("names"),
              (std::vector<std::string>{"empty.mp3", "big.mp3", "small.mp3"}));
    const auto play = box.waitForEvent(commandIs('L'));
    ASSERT_TRUE(play);
    EXPECT_EQ(play->num("low"), 'A');
    EXPECT_EQ(play->num("high"), 3);
    for (size_t i = 0; i < 3; ++i)
        expectReceived(box, media, i);
    ASSERT_TRUE(box.waitForEvent(EventIs("done")));
    Destroy(handle);
}

TEST(PlaybackEndToEnd, AsynchronousVideoPostsConnectedStatusAndClosed) {
    BoxSimProcess box;
    MediaSet media({{"one.mkv", 200000}, {"two.mp4", 5}, {"song.mp3", 10}});
    HostWindowRecorder window;
    DmpVellumoInfo* handle = CreateWithAsyncIoA(box.address().c_str(), box.port(), window.Window());
    ASSERT_TRUE(PlayFileA(handle, media.List()));
    const auto connected = window.Next(DMP_WM_CONNECTED);
    ASSERT_TRUE(connected);
    EXPECT_EQ(connected->wparam, reinterpret_cast<uintptr_t>(handle));
    // Video plays alone: the audio entry is not sent.
    const auto play = box.waitForEvent(commandIs('L'));
    ASSERT_TRUE(play);
    EXPECT_EQ(play->num("low"), 'F');
    EXPECT_EQ(play->num("high"), 2);
    expectReceived(box, media, 0);
    expectReceived(box, media, 1);
    EXPECT_TRUE(window.Next(DMP_WM_VIDEO_STATUS));
    const auto closed = window.Next(DMP_WM_CLOSED);
    ASSERT_TRUE(closed);
    EXPECT_EQ(closed->lparam, 0);
    EXPECT_EQ(GetPlayingType(handle), 0u);
    Destroy(handle);
}

TEST(PlaybackEndToEnd, ImageLinkConnectsFirstThenAudioAndBothPlay) {
    BoxSimProcess box;
    MediaSet media({{"a.jpg", 3000}, {"b.png", 4000}, {"c.mp3", 5000}});
    HostWindowRecorder window;
    DmpVellumoInfo* handle = CreateWithAsyncIoA(box.address().c_str(), box.port(), window.Window());
    ASSERT_TRUE(PlayFileA(handle, media.List()));
    ASSERT_TRUE(window.Next(DMP_WM_CONNECTED));
    const auto imagePlay = box.waitForEvent(commandIs('L', 1));
    const auto audioPlay = box.waitForEvent(commandIs('L', 2));
    ASSERT_TRUE(imagePlay && audioPlay);
    EXPECT_EQ(imagePlay->num("low"), 'I');
    EXPECT_EQ(audioPlay->num("low"), 'A');
    expectReceived(box, media, 0, 1);
    expectReceived(box, media, 1, 1);
    const auto song = box.waitForEvent(fileIs(0, 2));
    ASSERT_TRUE(song);
    EXPECT_EQ(song->str("sha256"), media.Sha(2));
    Destroy(handle);
}

TEST(PlaybackEndToEnd, ConnectFailureIsPostedAsError) {
    int port;
    {
        BoxSimProcess gone;
        port = gone.port();
    }
    MediaSet media({{"a.mp3", 10}});
    HostWindowRecorder window;
    DmpVellumoInfo* handle = CreateWithAsyncIoA("127.0.0.1", port, window.Window());
    ASSERT_TRUE(PlayFileA(handle, media.List()));
    const auto error = window.Next(DMP_WM_ERROR);
    ASSERT_TRUE(error);
    EXPECT_EQ(error->lparam, DMP_ERROR_CONNECT);
    Destroy(handle);
}

TEST(PlaybackEndToEnd, VersionAndMacAnswersDecode) {
    BoxSimProcess box;
    DmpVellumoInfo* handle = Create(L"127.0.0.1", box.port());
    int32_t major = 0, minor = 0, reserved = -1, build = 0;
    ASSERT_TRUE(GetBoxVersion(handle, &major, &minor, &reserved, &build));
    EXPECT_EQ(major, 2);
    EXPECT_EQ(minor, 3);
    EXPECT_EQ(reserved, 0);
    EXPECT_EQ(build, 7);
    EXPECT_EQ(GetPlayingType(handle), DMP_TYPE_QUERY);
    EXPECT_EQ(GetCurAdapterMacAddr(handle), 0x0000A1B2C3D4E5F6ull);
    const auto query = box.waitForEvent(commandIs('W'));
    ASSERT_TRUE(query);
    EXPECT_EQ(query->num("low"), 0x67);
    Destroy(handle);
}

} // namespace
