// A drop's play request against the real library and a simulated Box.
#include "PlaybackFixture.h"
#include "ScopedEnvironment.h"

#include <filesystem>

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
