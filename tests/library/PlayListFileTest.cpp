#include "PlayListFile.h"
#include "PlayListWriter.h"
#include "TempDir.h"
#include "TestHttpServer.h"
#include "Unicode.h"

#include <cstdlib>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

using Route = TestHttpServer::Route;
using Entries = std::vector<std::wstring>;

// UTF-16 code units as little-endian bytes, taken literally (lone
// surrogates included).
std::string utf16le(std::u16string_view units) {
    std::string bytes;
    for (const char16_t unit : units) {
        bytes.push_back(static_cast<char>(unit & 0xFF));
        bytes.push_back(static_cast<char>(unit >> 8));
    }
    return bytes;
}

std::string ascii16(const std::string& text) {
    return utf16le(std::u16string(text.begin(), text.end()));
}

class PlayListFileTest : public ::testing::Test {
protected:
    std::wstring write(const std::string& name, const std::string& bytes) {
        return kvu::FromUtf8(m_folder.write(name, bytes));
    }
    MediaLists parse(const std::string& bytes, bool expected = true) {
        MediaLists lists;
        EXPECT_EQ(ParsePlayList(write("list.m3u", bytes), lists), expected);
        return lists;
    }

    TestHttpServer m_server;
    TempDir m_folder;
    const std::string m_dir = m_folder.path();
};

// Written lines are UTF-16LE with CR LF and no byte-order mark; read back
// they sort by type in file order, characters beyond the BMP intact.
TEST_F(PlayListFileTest, WrittenListReadsBackSortedByType) {
    const Entries entries = {L"/v/a.avi",     L"/m/\U0001F3B5 b.MP3", L"/p/c.jpg",
                             L"/d/notes.txt", L"/m/d.flac",           L"/v/e.asf"};
    const std::string path = m_dir + "/out.m3u";
    ASSERT_TRUE(kvu::WritePlayList(path, entries));
    EXPECT_EQ(ReadTestFile(path).substr(0, 20), ascii16("/v/a.avi\r\n"));
    EXPECT_EQ(ReadTestFile(path).substr(20, 10), utf16le(u"/m/\U0001F3B5"));

    MediaLists lists;
    ASSERT_TRUE(ParsePlayList(kvu::FromUtf8(path), lists));
    EXPECT_EQ(lists.video, (Entries{L"/v/a.avi", L"/v/e.asf"}));
    EXPECT_EQ(lists.image, (Entries{L"/p/c.jpg"}));
    EXPECT_EQ(lists.audio, (Entries{L"/m/\U0001F3B5 b.MP3", L"/m/d.flac"}));
}

// One unit before LF is no line; with CR it is; five units are; text after
// the last LF is taken as it is, CR and all.
TEST_F(PlayListFileTest, LineRules) {
    parse(ascii16("x\n"), false);
    parse(ascii16("x\r\n"), true);
    EXPECT_EQ(parse(ascii16("a.mp3\n")).audio, (Entries{L"a.mp3"}));
    const MediaLists lists = parse(ascii16("/a/b.jpg\r\nx\n\r\n/a/c.mp3"));
    EXPECT_EQ(lists.image, (Entries{L"/a/b.jpg"}));
    EXPECT_EQ(lists.audio, (Entries{L"/a/c.mp3"}));
    EXPECT_TRUE(parse(ascii16("/a/c.mp3\r")).audio.empty());
}

TEST_F(PlayListFileTest, MalformedTextIsReadSoundly) {
    // A byte-order mark stays part of the first line.
    EXPECT_EQ(parse(utf16le(u"\uFEFF/a/b.mp3\r\n")).audio, (Entries{L"\uFEFF/a/b.mp3"}));
    // An odd last byte is ignored.
    EXPECT_EQ(parse(ascii16("/a/b.mp3\r\n") + "Z").audio, (Entries{L"/a/b.mp3"}));
    // Lone surrogates become U+FFFD; a proper pair is one character.
    const std::u16string text =
        u"/a/\xD800x.mp3\r\n/a/\xDC00.jpg\r\n/a/\xD83C\xDFB5.mp3\r\n/a/z.mp3\xD83C";
    const MediaLists lists = parse(utf16le(text));
    EXPECT_EQ(lists.audio, (Entries{L"/a/\uFFFDx.mp3", L"/a/\U0001F3B5.mp3"}));
    EXPECT_EQ(lists.image, (Entries{L"/a/\uFFFD.jpg"}));
}

// Entries are not checked: missing files and folders stay in the lists.
TEST_F(PlayListFileTest, EntriesAreNotCheckedForExistence) {
    const MediaLists lists = parse(ascii16("/no/such/file.mp3\r\n" + m_dir + "/folder.avi\r\n"));
    EXPECT_EQ(lists.audio, (Entries{L"/no/such/file.mp3"}));
    EXPECT_EQ(lists.video.size(), 1u);
}

TEST_F(PlayListFileTest, UnreadableListsFail) {
    MediaLists lists;
    EXPECT_FALSE(ParsePlayList(write("empty.m3u", ""), lists));
    EXPECT_FALSE(ParsePlayList(write("one.m3u", "A"), lists)); // one byte, no unit
    EXPECT_FALSE(ParsePlayList(kvu::FromUtf8(m_dir + "/missing.m3u"), lists));
    EXPECT_FALSE(ParsePlayList(kvu::FromUtf8(m_dir), lists));
    EXPECT_FALSE(ParsePlayList(L"", lists));
    EXPECT_TRUE(lists.video.empty() && lists.image.empty() && lists.audio.empty());
}

// Root reads files whatever their mode, so the read runs in a child that
// gave up root. Outside the fixture: no server thread while forking.
TEST(PlayListFileDeathTest, UnreadableFileFails) {
    TempDir folder;
    const std::string path = folder.write("locked.m3u", ascii16("/a/b.mp3\r\n"));
    ASSERT_EQ(chmod(folder.path().c_str(), 0755), 0);
    ASSERT_EQ(chmod(path.c_str(), 0), 0);
    EXPECT_EXIT(
        {
            constexpr uid_t kNobody = 65534;
            if (geteuid() == 0 && setuid(kNobody) != 0)
                _exit(2);
            MediaLists lists;
            _exit(ParsePlayList(kvu::FromUtf8(path), lists) ? 1 : 0);
        },
        ::testing::ExitedWithCode(0), "");
}

// A nested list adds its media to the same lists, and its failure is ignored.
TEST_F(PlayListFileTest, NestedListsFillTheSameLists) {
    const std::wstring inner = write("inner.m3u", ascii16("/v/2.avi\r\n/p/3.png\r\n"));
    const MediaLists lists =
        parse(ascii16("/m/1.mp3\r\n") + utf16le(std::u16string(inner.begin(), inner.end())) +
              ascii16("\r\n/gone/missing.m3u\r\n/m/4.ogg\r\n"));
    EXPECT_EQ(lists.audio, (Entries{L"/m/1.mp3", L"/m/4.ogg"}));
    EXPECT_EQ(lists.video, (Entries{L"/v/2.avi"}));
    EXPECT_EQ(lists.image, (Entries{L"/p/3.png"}));
}

// A names itself and B; B names A: each entry is read once and parsing ends.
TEST_F(PlayListFileTest, SelfReferenceEnds) {
    const std::string a = m_dir + "/a.m3u";
    const std::string b = m_dir + "/b.m3u";
    write("a.m3u", ascii16("/m/a.mp3\r\n" + a + "\r\n" + b + "\r\n"));
    write("b.m3u", ascii16("/m/b.mp3\r\n" + a + "\r\n"));
    MediaLists lists;
    ASSERT_TRUE(ParsePlayList(kvu::FromUtf8(a), lists));
    EXPECT_EQ(lists.audio, (Entries{L"/m/a.mp3", L"/m/b.mp3"}));
}

// A chain of distinct lists longer than the bound is read to the bound.
TEST_F(PlayListFileTest, NestingIsBounded) {
    const int chain = kMaxPlayListDepth + 4;
    for (int i = 0; i < chain; ++i)
        write("l" + std::to_string(i) + ".m3u",
              ascii16("/m/" + std::to_string(i) + ".mp3\r\n" + m_dir + "/l" +
                      std::to_string(i + 1) + ".m3u\r\n"));
    MediaLists lists;
    ASSERT_TRUE(ParsePlayList(kvu::FromUtf8(m_dir + "/l0.m3u"), lists));
    ASSERT_EQ(lists.audio.size(), static_cast<size_t>(kMaxPlayListDepth));
    EXPECT_EQ(lists.audio.back(), L"/m/" + std::to_wstring(kMaxPlayListDepth - 1) + L".mp3");
}

TEST_F(PlayListFileTest, MillionLinesAreAllRead) {
    std::string text;
    for (int i = 0; i < 1000000; ++i)
        text += "/m/" + std::to_string(i) + ".mp3\r\n";
    const MediaLists lists = parse(ascii16(text));
    ASSERT_EQ(lists.audio.size(), 1000000u);
    EXPECT_EQ(lists.audio[999999], L"/m/999999.mp3");
}

// A list at a web address, naming another one there; a web list the server
// gives without Content-Length fails.
TEST_F(PlayListFileTest, WebAddressListsAreRead) {
    m_server.SetRoute("/inner.m3u", Route::Of(ascii16("/p/web.jpg\r\n")));
    m_server.SetRoute("/outer.m3u",
                      Route::Of(ascii16("/m/web.mp3\r\n" + m_server.Url("/inner.m3u") + "\r\n")));
    m_server.SetRoute(
        "/bare.m3u", Route::Of(ascii16("/m/x.mp3\r\n")).WithLength(TestHttpServer::Length::Absent));
    MediaLists lists;
    ASSERT_TRUE(ParsePlayList(kvu::FromUtf8(m_server.Url("/outer.m3u")), lists));
    EXPECT_EQ(lists.audio, (Entries{L"/m/web.mp3"}));
    EXPECT_EQ(lists.image, (Entries{L"/p/web.jpg"}));

    MediaLists none;
    EXPECT_FALSE(ParsePlayList(kvu::FromUtf8(m_server.Url("/bare.m3u")), none));
}

// Entries with line breaks would split into other entries: left out.
TEST_F(PlayListFileTest, WriteLeavesOutUnstorableEntriesAndReportsFailure) {
    const std::string path = m_dir + "/out.m3u";
    ASSERT_TRUE(kvu::WritePlayList(path, {L"/m/a\nb.mp3", L"/m/ok.mp3", L"/m/c\r.mp3"}));
    EXPECT_EQ(ReadTestFile(path), ascii16("/m/ok.mp3\r\n"));
    EXPECT_FALSE(kvu::WritePlayList(m_dir + "/no/such/dir/out.m3u", {L"/m/ok.mp3"}));
}

TEST_F(PlayListFileTest, TemporaryListIsUniqueAndHoldsTheEntry) {
    const char* previous = std::getenv("TMPDIR");
    const std::string saved = previous != nullptr ? previous : "";
    setenv("TMPDIR", m_dir.c_str(), 1);
    const auto first = kvu::WriteTemporaryPlayList({L"/p/Ünïcode.jpg"});
    const auto second = kvu::WriteTemporaryPlayList({L"/p/Ünïcode.jpg"});
    if (previous != nullptr)
        setenv("TMPDIR", saved.c_str(), 1);
    else
        unsetenv("TMPDIR");

    ASSERT_TRUE(first && second);
    EXPECT_NE(*first, *second);
    const std::string& path = *first;
    const std::string name = path.substr(path.rfind('/') + 1);
    EXPECT_EQ(path.substr(0, path.rfind('/')), m_dir);
    EXPECT_EQ(name.size(), 13u) << name;
    EXPECT_EQ(name.substr(0, 3), "Kvu");
    EXPECT_EQ(name.substr(9), ".m3u");
    EXPECT_EQ(ReadTestFile(path), utf16le(u"/p/Ünïcode.jpg\r\n"));
    MediaLists lists;
    ASSERT_TRUE(ParsePlayList(kvu::FromUtf8(*first), lists));
    EXPECT_EQ(lists.image, (Entries{L"/p/Ünïcode.jpg"}));
}

} // namespace
