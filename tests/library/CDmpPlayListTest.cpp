#include "CDmpPlayList.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

std::vector<std::wstring> entriesOf(const CDmpPlayList& list) {
    std::vector<std::wstring> entries;
    for (size_t i = 0; i < list.Count(); ++i)
        entries.emplace_back(list.At(i));
    return entries;
}

} // namespace

// Insertion at the head, in the middle, at the end and beyond it keeps each
// batch in its own order.
TEST(CDmpPlayList, InsertsBatchesWhereAsked) {
    CDmpPlayList list;
    list.Insert(-1, {L"/m/c.mp3", L"/m/d.mp3"});
    list.Insert(0, {L"/m/a.mp3", L"/m/b.mp3"});
    list.Insert(3, {L"/m/c2.mp3"});
    list.Insert(5, {L"/m/e.mp3"});
    list.Insert(99, {L"/m/f.mp3"});
    list.Insert(-7, {L"/m/g.mp3"});
    EXPECT_EQ(entriesOf(list),
              (std::vector<std::wstring>{L"/m/a.mp3", L"/m/b.mp3", L"/m/c.mp3", L"/m/c2.mp3",
                                         L"/m/d.mp3", L"/m/e.mp3", L"/m/f.mp3", L"/m/g.mp3"}));
    EXPECT_EQ(list.At(list.Count()), nullptr);
}

// A name handed out by index stays valid and unchanged while the list grows
// by many entries in front of it, long entries included.
TEST(CDmpPlayList, HandedOutNamesSurviveGrowth) {
    CDmpPlayList list;
    list.Insert(-1, {L"/m/first.mp3"});
    const wchar_t* first = list.At(0);
    const std::wstring longPath = L"/m/" + std::wstring(100000, L'x') + L".mp3";
    std::vector<std::wstring> added;
    for (int i = 0; i < 20000; ++i)
        added.push_back(L"/m/track " + std::to_wstring(i) + L".mp3");
    added.push_back(longPath);
    list.Insert(0, std::vector<std::wstring_view>(added.begin(), added.end()));
    EXPECT_EQ(std::wstring(first), L"/m/first.mp3");
    EXPECT_EQ(list.At(20001), first);
    EXPECT_EQ(std::wstring(list.At(20000)), longPath);
    EXPECT_EQ(std::wstring(list.At(12345)), L"/m/track 12345.mp3");
}

// The Box sees the part after the last slash; an entry without one, or
// ending in one, is sent whole; the text is UTF-8.
TEST(CDmpPlayList, NamesTextFollowsEntries) {
    CDmpPlayList list;
    EXPECT_EQ(list.NamesText(), "");
    list.Insert(-1, {L"/a/song1.mp3", L"bare.mp3", L"/b/dir/", L"/c/\u00e9t\u00e9.mp3"});
    list.Insert(1, {L"/d/song2.mp3"});
    EXPECT_EQ(list.NamesText(), "song1.mp3\nsong2.mp3\nbare.mp3\n/b/dir/\n\xc3\xa9t\xc3\xa9.mp3\n");
}
