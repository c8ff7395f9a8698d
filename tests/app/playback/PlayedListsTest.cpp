// What a lost list is taken up again with: the files from the entry that
// played on, per type, whatever drops and merges made the list.
#include "playback/CPlayedLists.h"

#include <gtest/gtest.h>

namespace {

// Instances are only keys here.
DmpVellumoInfo* fake(uintptr_t n) {
    return reinterpret_cast<DmpVellumoInfo*>(n * 16);
}

using Files = std::vector<std::wstring>;

} // namespace

TEST(PlayedLists, EachTypeGoesOnFromItsCurrentEntryAfterMergesAtTheHeadAndEnd) {
    CPlayedLists lists;
    DmpVellumoInfo* playing = fake(1);
    lists.Started(playing, {L"/m/a.mp3", L"/p/1.jpg", L"/m/b.mp3", L"/p/2.jpg"});
    lists.Merged(playing, {L"/m/new.mp3"}, Placement::PlayNow);
    lists.Merged(playing, {L"/m/last.mp3"}, Placement::Queue);
    lists.Seen(playing, DMP_TYPE_AUDIO, L"/m/b.mp3", 42);
    lists.Seen(playing, DMP_TYPE_IMAGE, L"/p/2.jpg", 7);

    const std::vector<CPlayedLists::Resume> resumes = lists.ResumesOf(playing);
    ASSERT_EQ(resumes.size(), 2u);
    EXPECT_EQ(resumes[0].type, DMP_TYPE_IMAGE);
    EXPECT_EQ(resumes[0].files, (Files{L"/p/2.jpg", L"/m/last.mp3"}));
    EXPECT_EQ(resumes[0].elapsedSeconds, 0) << "photos have no time";
    EXPECT_EQ(resumes[1].type, DMP_TYPE_AUDIO);
    EXPECT_EQ(resumes[1].files, (Files{L"/m/b.mp3", L"/p/2.jpg", L"/m/last.mp3"}));
    EXPECT_EQ(resumes[1].elapsedSeconds, 42);
}

// Taken up again, a list stays where it was lost until the Box plays its
// first entry; then its time is sought once.
TEST(PlayedLists, AResumedListSeeksOnceWhenItsFirstEntryPlays) {
    CPlayedLists lists;
    const CPlayedLists::Resume resume{DMP_TYPE_AUDIO, {L"/m/b.mp3", L"/m/c.mp3"}, 42};
    DmpVellumoInfo* again = fake(2);
    lists.Resumed(again, resume);
    EXPECT_TRUE(lists.IsResuming(again));
    lists.Seen(again, DMP_TYPE_AUDIO, L"/m/b.mp3", 0);
    EXPECT_EQ(lists.ResumesOf(again).front().elapsedSeconds, 42) << "lost again before the seek";

    EXPECT_FALSE(lists.TakeSeek(again, DMP_TYPE_AUDIO, L"/m/c.mp3"));
    EXPECT_EQ(lists.TakeSeek(again, DMP_TYPE_AUDIO, L"/m/b.mp3"), 42);
    EXPECT_FALSE(lists.TakeSeek(again, DMP_TYPE_AUDIO, L"/m/b.mp3"));
    EXPECT_FALSE(lists.IsResuming(again));
    lists.Seen(again, DMP_TYPE_AUDIO, L"/m/c.mp3", 3);
    EXPECT_EQ(lists.ResumesOf(again).front().files, (Files{L"/m/c.mp3"}));
}

TEST(PlayedLists, SkippedFilesAreToldEachOnceAndEndedInstancesForgotten) {
    CPlayedLists lists;
    DmpVellumoInfo* playing = fake(3);
    lists.Started(playing, {L"/m/a.mp3", L"/m/gone.mp3", L"/m/lost.mp3"});
    const auto isReadable = [](const std::wstring& path) { return path == L"/m/a.mp3"; };
    EXPECT_EQ(lists.Skip(playing, isReadable), (Files{L"/m/gone.mp3"}));
    EXPECT_EQ(lists.Skip(playing, isReadable), (Files{L"/m/gone.mp3", L"/m/lost.mp3"}));
    EXPECT_TRUE(lists.Skip(playing, isReadable).empty()) << "none left to tell";
    EXPECT_TRUE(lists.Skip(fake(9), isReadable).empty());

    const DmpVellumoApi noLibrary;
    CDmpInstances none(noLibrary);
    lists.Prune(none);
    EXPECT_FALSE(lists.Contains(playing));
}
