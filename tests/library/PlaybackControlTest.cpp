// Every control of the C interface reaches the simulated Box and comes back
// as state; play lists grow while playing; web addresses play; a Box that
// misbehaves ends the playback without a crash or a hang.
#include "BoxSimProcess.h"
#include "HostWindowRecorder.h"
#include "PlayListWriter.h"
#include "Sha256Digest.h"
#include "TestFiles.h"
#include "TestHttpServer.h"
#include "Unicode.h"
#include "dmp_vellumo.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

namespace {

constexpr size_t kTrackBytes = 8 << 20;

// The Box reads 2 MB a second, so a track plays about four seconds: long
// enough for the controls even in a sanitizer build. Three million bytes
// make one time unit.
const std::vector<std::string> kRealTime = {"--read-rate", "2000000", "--rate", "3000000"};

BoxSimProcess::Predicate commandIs(char byte, int64_t pair = 0) {
    return [=](const JsonEvent& event) {
        return event.str("event") == "command" && event.str("byte") == std::string(1, byte) &&
               (pair == 0 || event.num("pair") == pair);
    };
}

// The n-th (1-based) event matching predicate. The log has no wake-up of
// its own, so it is read again in short waits.
std::optional<JsonEvent> nthEvent(BoxSimProcess& box, const BoxSimProcess::Predicate& predicate,
                                  int n) {
    const auto deadline = std::chrono::steady_clock::now() + kEventBound;
    while (std::chrono::steady_clock::now() < deadline) {
        int seen = 0;
        for (const JsonEvent& event : box.events())
            if (predicate(event) && ++seen == n)
                return event;
        box.waitForEvent([](const JsonEvent&) { return false; }, std::chrono::milliseconds(20));
    }
    return std::nullopt;
}

std::string readFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream content;
    content << in.rdbuf();
    return content.str();
}

// Waits on the window's status messages until the condition holds.
bool waitForState(HostWindowRecorder& window, uint32_t statusMessage,
                  const std::function<bool()>& condition) {
    while (!condition())
        if (!window.Next(statusMessage))
            return condition();
    return true;
}

class PlaybackControlTest : public ::testing::Test {
protected:
    DmpVellumoInfo* playAsync(BoxSimProcess& box, const std::vector<std::wstring>& paths) {
        const std::string list = std::filesystem::path(m_dir.file("list.m3u")).string();
        EXPECT_TRUE(kvu::WritePlayList(list, paths));
        DmpVellumoInfo* handle =
            CreateWithAsyncIoA(box.address().c_str(), box.port(), m_window.Window());
        EXPECT_TRUE(PlayFileA(handle, list.c_str()));
        EXPECT_TRUE(m_window.Next(DMP_WM_CONNECTED));
        return handle;
    }
    std::wstring track(const std::string& name, size_t bytes = kTrackBytes) {
        return MakePatternFile(m_dir, name, bytes).wstring();
    }

    TempDir m_dir;
    HostWindowRecorder m_window;
};

TEST_F(PlaybackControlTest, EveryControlReachesTheBoxAndComesBackAsState) {
    BoxSimProcess box(kRealTime);
    const auto first = track("one.mp3");
    DmpVellumoInfo* handle = playAsync(box, {first, track("two.mp3"), track("three.mp3")});
    // The size record comes once the file is open: the name is known then.
    ASSERT_TRUE(box.waitForEvent([](const JsonEvent& e) { return e.str("event") == "urgent"; }));
    EXPECT_EQ(GetAudioCounts(handle), 3);
    const wchar_t* name = GetCurPlayingAudioName(handle);
    ASSERT_NE(name, nullptr);
    EXPECT_EQ(std::wstring(name), first);

    // While the Box holds the file, the state follows the commands.
    ASSERT_TRUE(Pause(handle, DMP_TYPE_AUDIO));
    ASSERT_TRUE(box.waitForEvent(StatIs("pend", 0)));
    EXPECT_TRUE(waitForState(m_window, DMP_WM_AUDIO_STATUS, [&] { return IsAudioPaused(handle); }));
    ASSERT_TRUE(SetVolume(handle, 30));
    const auto volume = box.waitForEvent(commandIs('v'));
    ASSERT_TRUE(volume);
    EXPECT_EQ(volume->num("value"), 30);
    EXPECT_TRUE(waitForState(m_window, DMP_WM_AUDIO_STATUS, [&] {
        return GetVolume(handle) == 30 && GetMaxVolume(handle) == 100;
    }));
    ASSERT_TRUE(SetVolume(handle, -1));
    EXPECT_TRUE(box.waitForEvent(commandIs('m')));
    ASSERT_TRUE(SetRepeat(handle, DMP_TYPE_AUDIO, 1));
    const auto repeat = box.waitForEvent(commandIs('r'));
    ASSERT_TRUE(repeat);
    EXPECT_EQ(repeat->num("low"), 'A');
    EXPECT_EQ(repeat->num("high"), 1);
    EXPECT_TRUE(waitForState(m_window, DMP_WM_AUDIO_STATUS,
                             [&] { return GetAudioRepeatStatus(handle) == 1; }));
    ASSERT_TRUE(Resume(handle, DMP_TYPE_AUDIO));
    EXPECT_TRUE(box.waitForEvent(commandIs('P')));
    EXPECT_TRUE(
        waitForState(m_window, DMP_WM_AUDIO_STATUS, [&] { return !IsAudioPaused(handle); }));

    // Time 2 is byte 6,000,000: the rest of the file comes from there.
    ASSERT_TRUE(SeekFileByTime(handle, 2));
    const auto seeked = box.waitForEvent(
        [](const JsonEvent& e) { return e.str("event") == "file" && e.num("index") == 0; });
    ASSERT_TRUE(seeked);
    EXPECT_EQ(seeked->num("offset"), 6000000);
    EXPECT_EQ(seeked->str("sha256"), Sha256Hex(readFile(first).substr(6000000)));

    ASSERT_TRUE(box.waitForEvent(StatIs("play", 1)));
    ASSERT_TRUE(PlayNext(handle, DMP_TYPE_VIDEO | DMP_TYPE_AUDIO));
    ASSERT_TRUE(box.waitForEvent(StatIs("play", 2)));
    ASSERT_TRUE(PlayPrev(handle, DMP_TYPE_AUDIO));
    EXPECT_TRUE(nthEvent(box, StatIs("play", 1), 2));
    // Audio plays: the image and video links do not exist.
    EXPECT_FALSE(Pause(handle, DMP_TYPE_IMAGE));
    Destroy(handle);
    EXPECT_TRUE(box.waitForEvent(commandIs('D')));
}

TEST_F(PlaybackControlTest, ClosingTheImagesKeepsTheMusicPlaying) {
    BoxSimProcess box(kRealTime);
    DmpVellumoInfo* handle = playAsync(
        box, {track("a.jpg", 1 << 20), track("b.jpg", 1 << 20), track("song.mp3", 1 << 20)});
    ASSERT_TRUE(box.waitForEvent(commandIs('L', 2)));
    EXPECT_EQ(GetPlayingType(handle), DMP_TYPE_IMAGE | DMP_TYPE_AUDIO);
    // Closing video only changes nothing.
    Close(handle, DMP_TYPE_VIDEO);
    EXPECT_EQ(GetPlayingType(handle), DMP_TYPE_IMAGE | DMP_TYPE_AUDIO);
    Close(handle, DMP_TYPE_IMAGE);
    EXPECT_EQ(GetPlayingType(handle), DMP_TYPE_AUDIO);
    EXPECT_TRUE(box.waitForEvent(commandIs('D', 1)));
    const auto song = box.waitForEvent(
        [](const JsonEvent& e) { return e.str("event") == "file" && e.num("pair") == 2; });
    ASSERT_TRUE(song);
    EXPECT_TRUE(song->flag("complete"));
    Destroy(handle);
}

TEST_F(PlaybackControlTest, MergedFilesJoinAtTheEndOrAtTheHeadWithARestart) {
    BoxSimProcess box(kRealTime);
    DmpVellumoInfo* handle = playAsync(box, {track("a.mp3"), track("b.mp3")});
    ASSERT_TRUE(box.waitForEvent(StatIs("play", 0)));

    // A second handle classifies the new drop; its list is merged into the
    // playing one.
    DmpVellumoInfo* drop = CreateA(box.address().c_str(), box.port());
    const auto added = track("c.mp3", 1000);
    ASSERT_EQ(GetFilesType(drop, added.c_str()), DMP_TYPE_AUDIO);
    DmpMediaList* list = nullptr;
    ASSERT_TRUE(GetFileList(drop, DMP_TYPE_AUDIO, &list));
    ASSERT_TRUE(MergeFileList(handle, list, DMP_TYPE_AUDIO, -1));
    const auto appended = nthEvent(box, commandIs('l'), 2);
    ASSERT_TRUE(appended);
    EXPECT_EQ(appended->strings("names"), (std::vector<std::string>{"a.mp3", "b.mp3", "c.mp3"}));
    EXPECT_EQ(GetAudioCounts(handle), 3);

    ASSERT_TRUE(MergeFileList(handle, list, DMP_TYPE_AUDIO, 0));
    const auto prepended = nthEvent(box, commandIs('l'), 3);
    ASSERT_TRUE(prepended);
    EXPECT_EQ(prepended->strings("names"),
              (std::vector<std::string>{"c.mp3", "a.mp3", "b.mp3", "c.mp3"}));
    EXPECT_TRUE(box.waitForEvent(commandIs('s')));
    // A mask whose list the handle does not have merges nothing.
    EXPECT_FALSE(MergeFileList(handle, list, DMP_TYPE_VIDEO, -1));
    Destroy(drop);
    Destroy(handle);
}

TEST_F(PlaybackControlTest, WebAddressPlayListAndMediaPlay) {
    BoxSimProcess box;
    TestHttpServer web;
    const std::string song = PatternBytes(0, 300000);
    web.SetRoute("/music/song.mp3", TestHttpServer::Route::Of(song));
    const auto local = track("local.mp3", 5000);
    const std::string listPath = std::filesystem::path(m_dir.file("remote.m3u")).string();
    ASSERT_TRUE(kvu::WritePlayList(listPath, {kvu::FromUtf8(web.Url("/music/song.mp3")), local}));
    web.SetRoute("/lists/remote.m3u", TestHttpServer::Route::Of(readFile(listPath)));

    DmpVellumoInfo* handle =
        CreateWithAsyncIoA(box.address().c_str(), box.port(), m_window.Window());
    ASSERT_TRUE(PlayFileA(handle, web.Url("/lists/remote.m3u").c_str()));
    const auto names = box.waitForEvent(commandIs('l'));
    ASSERT_TRUE(names);
    EXPECT_EQ(names->strings("names"), (std::vector<std::string>{"song.mp3", "local.mp3"}));
    const auto remote = box.waitForEvent(
        [](const JsonEvent& e) { return e.str("event") == "file" && e.num("index") == 0; });
    ASSERT_TRUE(remote);
    EXPECT_EQ(remote->num("size"), 300000);
    EXPECT_EQ(remote->str("sha256"), Sha256Hex(song));
    EXPECT_TRUE(box.waitForEvent(EventIs("done")));
    Destroy(handle);
}

struct FaultCase {
    const char* fault;
    uint32_t expectedMessage;
    intptr_t expectedParameter;
};

class PlaybackFaultTest : public PlaybackControlTest,
                          public ::testing::WithParamInterface<FaultCase> {};

// Each fault ends as the library says: a message, then a clean destroy.
TEST_P(PlaybackFaultTest, MisbehavingBoxEndsCleanly) {
    BoxSimProcess box({"--fault", GetParam().fault});
    DmpVellumoInfo* handle = playAsync(box, {track("a.mkv", 8 << 20), track("b.mkv", 1000)});
    if (GetParam().expectedMessage != 0) {
        const auto message = m_window.Next(GetParam().expectedMessage);
        ASSERT_TRUE(message);
        EXPECT_EQ(message->lparam, GetParam().expectedParameter);
    } else {
        ASSERT_TRUE(box.waitForEvent(commandIs('L')));
    }
    // Returns even while a link is blocked writing to a Box that stopped
    // reading.
    Destroy(handle);
}

INSTANTIATE_TEST_SUITE_P(
    Faults, PlaybackFaultTest,
    ::testing::Values(FaultCase{"close-mid-file", DMP_WM_CLOSED, 0},
                      FaultCase{"truncated-records", DMP_WM_ERROR, DMP_ERROR_STATUS_READ},
                      FaultCase{"unknown-keywords", DMP_WM_CLOSED, 0},
                      FaultCase{"read-nothing", 0, 0}, FaultCase{"answer-nothing", 0, 0}),
    [](const auto& info) {
        std::string name = info.param.fault;
        name.erase(std::remove(name.begin(), name.end(), '-'), name.end());
        return name;
    });

} // namespace
