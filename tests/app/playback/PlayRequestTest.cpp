// A drop's play request against the real library and a simulated Box.
#include "OtherUser.h"
#include "PlaybackFixture.h"
#include "ScopedEnvironment.h"
#include "playback/StalePlayLists.h"

#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>

namespace {

class PlayRequestTest : public PlaybackFixture {};

// The play lists the request leaves in $TMPDIR (it points at a folder of the
// test's own).
size_t leftPlayLists(const TempDir& temporary) {
    size_t count = 0;
    for (const auto& entry : std::filesystem::directory_iterator(temporary.path()))
        count += entry.path().extension() == ".m3u";
    return count;
}

} // namespace

TEST_F(PlayRequestTest, PhotosAndMusicOnTheirPoolReachTheBoxWhole) {
    // The Box reads at 2 MB/s: the long track still plays when the instances
    // are destroyed, so that its link has a disconnect to send (a list played
    // to its end is closed by the Box's "done" instead).
    BoxSimProcess box({"--read-rate", "2000000"});
    const std::vector<std::wstring> files = {media("a.jpg", 150000), media("b.png", 3000),
                                             media("song.mp3", 250000)};
    std::vector<std::wstring> dropped = files;
    dropped.push_back(media("long.mp3", 16 << 20));
    ASSERT_EQ(play(box, dropped, kPhotoMusicPoolMask), PlayRequestOutcome::Started);
    EXPECT_TRUE(messages.isEmpty());
    ASSERT_EQ(instances.All().size(), 1u);
    ASSERT_TRUE(window.Next(DMP_WM_CONNECTED));
    for (const std::wstring& file : files) {
        const std::string name = std::filesystem::path(file).filename().string();
        const auto received = box.waitForEvent(ReceivedWhole(name));
        ASSERT_TRUE(received) << name;
        EXPECT_EQ(received->str("sha256"), Sha256Of(file)) << name;
    }
    instances.DestroyAll();
    EXPECT_TRUE(box.waitForEvent(CommandIs('D')));
}

// Wrong pool: the words of the ignored types, and nothing left playing. A
// video with a photo on the photo pool: the photo plays, the video goes
// silently.
TEST_F(PlayRequestTest, TypesOfTheOtherPoolAreIgnored) {
    // A Box that takes the names but reads no file: the photo stays playing.
    BoxSimProcess box({"--fault", "read-nothing"});
    EXPECT_EQ(play(box, {media("one.mp3"), media("two.jpg")}, kVideoPoolMask),
              PlayRequestOutcome::Ignored);
    EXPECT_EQ(messages, QStringList{QStringLiteral(
                            "Photo/Music files dropped to this media pool will be ignored!")});
    EXPECT_TRUE(instances.IsEmpty());
    messages.clear();
    EXPECT_EQ(play(box, {media("clip.mkv")}, kPhotoMusicPoolMask), PlayRequestOutcome::Ignored);
    EXPECT_EQ(messages, QStringList{QStringLiteral(
                            "Video files dropped to this media pool will be ignored!")});
    messages.clear();

    ASSERT_EQ(play(box, {media("clip.mkv"), media("photo.jpg")}, kPhotoMusicPoolMask),
              PlayRequestOutcome::Started);
    EXPECT_TRUE(messages.isEmpty());
    const auto names = box.waitForEvent(CommandIs('l'));
    ASSERT_TRUE(names);
    EXPECT_EQ(names->strings("names"), std::vector<std::string>{"photo.jpg"});
    EXPECT_EQ(instances.UnionOfPlayingTypes(), DMP_TYPE_IMAGE);
}

// Music dropped on "Play Now" while music plays: no new instance; the Box's
// list restarts with the new entries first. "Queue It" appends.
TEST_F(PlayRequestTest, MusicJoinsTheMusicThatPlays) {
    BoxSimProcess box({"--read-rate", "2000000"});
    ASSERT_EQ(play(box, {media("a.mp3", 4 << 20), media("b.mp3")}, kPhotoMusicPoolMask),
              PlayRequestOutcome::Started);
    ASSERT_TRUE(box.waitForEvent(StatIs("play", 0)));

    EXPECT_EQ(play(box, {media("new1.mp3"), media("new2.mp3")}, kVideoPoolMask, Placement::PlayNow),
              PlayRequestOutcome::Merged);
    EXPECT_EQ(instances.All().size(), 1u);
    EXPECT_TRUE(messages.isEmpty());
    const auto restarted = box.waitForEvent([](const JsonEvent& e) {
        return e.str("event") == "command" && e.str("byte") == "l" &&
               e.strings("names").size() == 4;
    });
    ASSERT_TRUE(restarted);
    EXPECT_EQ(restarted->strings("names"),
              (std::vector<std::string>{"new1.mp3", "new2.mp3", "a.mp3", "b.mp3"}));
    EXPECT_TRUE(box.waitForEvent(CommandIs('s')));

    EXPECT_EQ(play(box, {media("last.mp3")}, kPhotoMusicPoolMask, Placement::Queue),
              PlayRequestOutcome::Merged);
    const auto appended = box.waitForEvent([](const JsonEvent& e) {
        return e.str("event") == "command" && e.str("byte") == "l" &&
               e.strings("names").size() == 5;
    });
    ASSERT_TRUE(appended);
    EXPECT_EQ(appended->strings("names").back(), "last.mp3");
}

// Files opened with the application: the photos and music start on their
// pool, the videos on theirs, and neither is told it was ignored.
TEST_F(PlayRequestTest, OpenedFilesPlayOnBothPools) {
    BoxSimProcess box;
    CPlayRequest request(instances, *this);
    ASSERT_EQ(request.PlayOpened({media("song.mp3"), media("my film.mp4"), media("b.jpg"),
                                  media("clip.MKV"), media("notes.txt")},
                                 target(box)),
              PlayRequestOutcome::Started);
    EXPECT_TRUE(messages.isEmpty());
    ASSERT_EQ(instances.All().size(), 2u);
    DmpVellumoInfo* photoMusic = instances.All()[0];
    DmpVellumoInfo* video = instances.All()[1];
    EXPECT_EQ(instances.PlayingType(photoMusic), DMP_TYPE_IMAGE | DMP_TYPE_AUDIO);
    EXPECT_EQ(instances.PlayingType(video), DMP_TYPE_VIDEO);
    const auto videos = box.waitForEvent(
        [](const JsonEvent& e) { return CommandIs('l')(e) && e.strings("names").size() == 2; });
    ASSERT_TRUE(videos);
    EXPECT_EQ(videos->strings("names"), (std::vector<std::string>{"my film.mp4", "clip.MKV"}));

    // Only videos: the photo-and-music side stays silent.
    instances.DestroyAll();
    EXPECT_EQ(request.PlayOpened({media("only.mp4")}, target(box)), PlayRequestOutcome::Started);
    EXPECT_EQ(instances.UnionOfPlayingTypes(), DMP_TYPE_VIDEO);
    EXPECT_TRUE(messages.isEmpty());
}

TEST_F(PlayRequestTest, NothingPlayableIsInvalidFiles) {
    BoxSimProcess box;
    EXPECT_EQ(play(box, {media("notes.txt")}, kPhotoMusicPoolMask),
              PlayRequestOutcome::InvalidFiles);
    EXPECT_EQ(messages, QStringList{QStringLiteral("Invalid files.")});
    EXPECT_TRUE(instances.IsEmpty());
    // Nothing collected, or a drop beside the pools: nothing at all.
    EXPECT_EQ(play(box, {}, kPhotoMusicPoolMask), PlayRequestOutcome::NothingToPlay);
    EXPECT_EQ(play(box, {media("a.mp3")}, 0), PlayRequestOutcome::NothingToPlay);
    EXPECT_EQ(messages.size(), 1);
}

TEST_F(PlayRequestTest, TenThousandFilesInOneDrop) {
    BoxSimProcess box;
    std::vector<std::wstring> files;
    for (int i = 0; i < 10000; ++i)
        files.push_back(media("photo" + std::to_string(i) + ".jpg", 16));
    ASSERT_EQ(play(box, files, kPhotoMusicPoolMask), PlayRequestOutcome::Started);
    const auto names = box.waitForEvent(CommandIs('l'));
    ASSERT_TRUE(names);
    EXPECT_EQ(names->strings("names").size(), 10000u);
    EXPECT_EQ(names->strings("names").back(), "photo9999.jpg");
    EXPECT_TRUE(box.waitForEvent(ReceivedWhole("photo0.jpg")));
}

// Without the library: no instance, no message, and the play list is gone.
TEST_F(PlayRequestTest, WithoutTheLibraryNothingHappensAndNoPlayListStays) {
    TempDir temporary;
    const ScopedEnvironment temporaryDirectory("TMPDIR", temporary.path().c_str());
    const DmpVellumoApi empty;
    CDmpInstances none(empty);
    CPlayRequest request(none, *this);
    EXPECT_EQ(request.Play({media("a.mp3")}, kPhotoMusicPoolMask, Placement::Queue,
                           {L"127.0.0.1", 7171, window.Window()}),
              PlayRequestOutcome::NoInstance);
    EXPECT_TRUE(messages.isEmpty());
    EXPECT_EQ(leftPlayLists(temporary), 0u);
    // With the library the list is deleted as well once the request ends.
    BoxSimProcess box;
    EXPECT_EQ(play(box, {media("b.mp3")}, kPhotoMusicPoolMask), PlayRequestOutcome::Started);
    EXPECT_EQ(leftPlayLists(temporary), 0u);
}

// Forty hand-overs of one folder while it plays: each entry is queued once,
// and the names record goes to the Box again only when a merge adds to it.
TEST_F(PlayRequestTest, TheSameFolderHandedOverFortyTimesIsQueuedOnce) {
    BoxSimProcess box({"--read-rate", "2000000"});
    std::vector<std::wstring> folder;
    for (int i = 0; i < 300; ++i)
        folder.push_back(media("song" + std::to_string(i) + ".mp3", i == 0 ? 4 << 20 : 16));
    CPlayRequest request(instances, *this);
    ASSERT_EQ(request.PlayOpened(folder, target(box)), PlayRequestOutcome::Started);
    ASSERT_TRUE(box.waitForEvent(StatIs("play", 0)));
    for (int i = 1; i < 40; ++i)
        request.PlayOpened(folder, target(box));
    DmpVellumoInfo* playing = instances.All().front();
    EXPECT_EQ(s_api.GetAudioCounts(playing), 300);

    folder.push_back(media("new.mp3"));
    request.PlayOpened(folder, target(box));
    const auto grown = box.waitForEvent(
        [](const JsonEvent& e) { return CommandIs('l')(e) && e.strings("names").size() == 301; });
    ASSERT_TRUE(grown);
    EXPECT_EQ(grown->strings("names").back(), "new.mp3");
    size_t records = 0;
    for (const JsonEvent& event : box.events())
        records += CommandIs('l')(event);
    EXPECT_EQ(records, 2u);
    EXPECT_EQ(instances.All().size(), 1u);
    EXPECT_TRUE(messages.isEmpty());
}

// A message waits for the user: the play list is gone before it shows.
TEST_F(PlayRequestTest, MessagesShowOnceThePlayListIsGone) {
    TempDir temporary;
    const ScopedEnvironment temporaryDirectory("TMPDIR", temporary.path().c_str());
    BoxSimProcess box;
    class Reporter : public CPlayRequestReporter {
    public:
        explicit Reporter(const TempDir& folder) : m_folder(folder) {}
        void ShowMessage(const QString&) override {
            listsOnScreen.push_back(leftPlayLists(m_folder));
        }
        std::vector<size_t> listsOnScreen;

    private:
        const TempDir& m_folder;
    } reporter(temporary);
    CPlayRequest request(instances, reporter);
    EXPECT_EQ(
        request.Play({media("notes.txt")}, kPhotoMusicPoolMask, Placement::Queue, target(box)),
        PlayRequestOutcome::InvalidFiles);
    EXPECT_EQ(request.Play({media("clip.mkv")}, kPhotoMusicPoolMask, Placement::Queue, target(box)),
              PlayRequestOutcome::Ignored);
    EXPECT_EQ(reporter.listsOnScreen, (std::vector<size_t>{0, 0}));
}

// Lists an earlier run was killed before it could delete: the user's own,
// older than this process, go; others' and younger ones stay.
TEST(StalePlayLists, OnlyTheUsersOwnListsOlderThanTheProcessGo) {
    TempDir folder;
    const std::time_t startedAt = ProcessStartTime();
    ASSERT_LE(startedAt, std::time(nullptr));
    const auto write = [&](const std::string& name, std::time_t written) {
        const std::string path = folder.write(name, "x");
        const timespec times[2] = {{written, 0}, {written, 0}};
        EXPECT_EQ(::utimensat(AT_FDCWD, path.c_str(), times, 0), 0);
        return path;
    };
    const std::string stale = write("KvuAb12Cd.m3u", startedAt - 60);
    const std::string young = write("KvuXy34Zw.m3u", startedAt + 60);
    const std::string theirs = write("KvuQq55Rr.m3u", startedAt - 60);
    ASSERT_EQ(::chown(theirs.c_str(), kOtherUser, kOtherUser), 0);
    const std::string other = write("Kvu12.m3u", startedAt - 60);
    const std::string notes = write("KvuAb12Cd.txt", startedAt - 60);

    EXPECT_EQ(RemoveStalePlayLists(folder.path(), startedAt), 1);
    EXPECT_FALSE(std::filesystem::exists(stale));
    for (const std::string& kept : {young, theirs, other, notes})
        EXPECT_TRUE(std::filesystem::exists(kept)) << kept;
}
