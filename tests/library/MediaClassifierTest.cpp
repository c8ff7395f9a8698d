#include "MediaClassifier.h"
#include "Unicode.h"

#include <gtest/gtest.h>
#include <string>

namespace {

struct Case {
    const wchar_t* path;
    uint32_t type;
};

TEST(MediaClassifierTest, ExtensionDecidesTheTypeIgnoringCase) {
    const Case cases[] = {
        {L"/music/Song.MP3", kMediaAudio},
        {L"/video/clip.asf", kMediaVideo}, // in the video and audio tables: video wins
        {L"/video/CLIP.Asf", kMediaVideo},
        {L"/video/a.mpeg", kMediaVideo},
        {L"/video/a.ifo", kMediaVideo},
        {L"/video/a.avsts", kMediaVideo},
        {L"/photo/x.JPeG", kMediaImage},
        {L"/photo/x.alb", kMediaImage},
        {L"/music/x.ape", kMediaAudio},
        {L"/music/x.wma", kMediaAudio},
        {L"/lists/party.M3U", kMediaPlayList},
        {L"/docs/notes.txt", kMediaNone},
        {L"/video/a.mp4.part", kMediaNone},
        {L"/video/a.mpgmpgmpgmpgmpgmpg", kMediaNone},
        {L"http://host/a.jpg", kMediaImage},
    };
    for (const Case& c : cases)
        EXPECT_EQ(Classify(c.path), c.type) << kvu::ToUtf8(c.path);
}

// A dot in the first position, at the end, only in a folder, or none at all.
TEST(MediaClassifierTest, PathsWithoutAUsableExtensionAreNone) {
    const wchar_t* paths[] = {
        L"", L".mp3", L"/music/song.", L"/data/My.Files/readme", L"/music/mp3", L"/x.jpg/readme"};
    for (const wchar_t* path : paths)
        EXPECT_EQ(Classify(path), kMediaNone) << kvu::ToUtf8(path);
    EXPECT_EQ(ExtensionOf(L"/data/My.Files/readme"), L".Files/readme");
    EXPECT_EQ(ExtensionOf(L"a.b.mp3"), L".mp3");
    EXPECT_TRUE(ExtensionOf(L".mp3").empty());
}

} // namespace
