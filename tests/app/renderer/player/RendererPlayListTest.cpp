// Sorting a drop's play list for a renderer: types from the MIME database,
// nested lists read in their place.
#include "player/RendererPlayList.h"
#include "PlayListWriter.h"
#include "TempDir.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

namespace {

namespace fs = std::filesystem;

class RendererPlayListTest : public ::testing::Test {
protected:
    std::wstring list(const std::string& name, const std::vector<std::wstring>& entries) {
        const fs::path path = fs::path(m_dir.path()) / name;
        EXPECT_TRUE(kvu::WritePlayList(path.string(), entries));
        return path.wstring();
    }
    std::wstring file(const std::string& name, const std::string& content = "x") {
        const fs::path path = fs::path(m_dir.path()) / name;
        std::ofstream(path, std::ios::binary) << content;
        return path.wstring();
    }

    TempDir m_dir;
};

TEST_F(RendererPlayListTest, SortsByMimeTypeAndReadsNestedListsInPlace) {
    const std::wstring song = file("song.MP3");
    const std::wstring clip = file("clip.mkv");
    const std::wstring photo = file("photo.jpeg");
    const std::wstring notes = file("notes.txt", "plain words");
    const std::wstring inner = list("inner.m3u", {file("inner.flac"), photo});
    const std::wstring outer = list("outer.m3u", {song, notes, inner, clip, file("last.ogg")});

    RendererPlayList lists;
    ASSERT_TRUE(ReadRendererPlayList(outer, lists));
    EXPECT_EQ(lists.video, std::vector<std::wstring>{clip});
    EXPECT_EQ(lists.image, std::vector<std::wstring>{photo});
    ASSERT_EQ(lists.audio.size(), 3u);
    EXPECT_EQ(lists.audio[0], song);
    EXPECT_NE(lists.audio[1].find(L"inner.flac"), std::wstring::npos);
    EXPECT_NE(lists.audio[2].find(L"last.ogg"), std::wstring::npos);
}

TEST_F(RendererPlayListTest, AListThatNamesItselfEnds) {
    const fs::path path = fs::path(m_dir.path()) / "loop.m3u";
    const std::wstring song = file("a.wav");
    ASSERT_TRUE(kvu::WritePlayList(path.string(), {song, path.wstring()}));
    RendererPlayList lists;
    ASSERT_TRUE(ReadRendererPlayList(path.wstring(), lists));
    EXPECT_EQ(lists.audio, std::vector<std::wstring>{song});
}

TEST_F(RendererPlayListTest, AnUnreadableListIsReported) {
    RendererPlayList lists;
    EXPECT_FALSE(ReadRendererPlayList((fs::path(m_dir.path()) / "missing.m3u").wstring(), lists));
    EXPECT_FALSE(ReadRendererPlayList(file("empty.m3u", ""), lists));
    EXPECT_TRUE(lists.IsEmpty());
}

TEST(RendererMediaKind, FollowsTheMimeTypesTopLevel) {
    EXPECT_EQ(KindOfMimeType("image/png"), RendererMedia::Kind::Photo);
    EXPECT_EQ(KindOfMimeType("video/x-matroska"), RendererMedia::Kind::Video);
    EXPECT_EQ(KindOfMimeType("audio/flac"), RendererMedia::Kind::Music);
    EXPECT_EQ(MimeTypeOf(L"/nowhere/a.mp3"), "audio/mpeg");
}

} // namespace
