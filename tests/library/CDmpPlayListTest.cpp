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

// Inserts every path, or those keep marks.
void insert(CDmpPlayList& list, int32_t position, CDmpPlayList::Paths paths,
            std::vector<bool> keep = {}) {
    if (keep.empty())
        keep.assign(paths.size(), true);
    list.Insert(position, std::make_shared<const CDmpPlayList::Paths>(std::move(paths)), keep);
}

} // namespace

// Insertion at the head, in the middle, at the end and beyond it keeps each
// batch in its own order; entries not kept are left out.
TEST(CDmpPlayList, InsertsBatchesWhereAsked) {
    CDmpPlayList list;
    insert(list, -1, {L"/m/c.mp3", L"/m/gone.mp3", L"/m/d.mp3"}, {true, false, true});
    insert(list, 0, {L"/m/a.mp3", L"/m/b.mp3"});
    insert(list, 3, {L"/m/c2.mp3"});
    insert(list, 5, {L"/m/e.mp3"});
    insert(list, 99, {L"/m/f.mp3"});
    insert(list, -7, {L"/m/g.mp3"});
    insert(list, 0, {L"/m/gone.mp3"}, {false});
    EXPECT_EQ(entriesOf(list),
              (std::vector<std::wstring>{L"/m/a.mp3", L"/m/b.mp3", L"/m/c.mp3", L"/m/c2.mp3",
                                         L"/m/d.mp3", L"/m/e.mp3", L"/m/f.mp3", L"/m/g.mp3"}));
    EXPECT_EQ(list.At(list.Count()), nullptr);
}

// A name handed out by index stays valid and unchanged while the list grows
// in front of it, and after its source was let go by everyone else.
TEST(CDmpPlayList, HandedOutNamesSurviveGrowthAndTheirSource) {
    CDmpPlayList list;
    auto source = std::make_shared<const CDmpPlayList::Paths>(
        CDmpPlayList::Paths{L"/m/first.mp3", L"/m/" + std::wstring(1000, L'x') + L".mp3"});
    list.Insert(-1, source, {true, true});
    const wchar_t* first = list.At(0);
    const wchar_t* longName = list.At(1);
    source.reset();
    CDmpPlayList::Paths added;
    for (int i = 0; i < 20000; ++i)
        added.push_back(L"/m/track " + std::to_wstring(i) + L".mp3");
    insert(list, 0, added);
    EXPECT_EQ(std::wstring(first), L"/m/first.mp3");
    EXPECT_EQ(list.At(20000), first);
    EXPECT_EQ(std::wstring(longName), L"/m/" + std::wstring(1000, L'x') + L".mp3");
    EXPECT_EQ(std::wstring(list.At(12345)), L"/m/track 12345.mp3");
}

// The Box sees the part after the last slash; an entry without one, or
// ending in one, is sent whole; the text is UTF-8.
TEST(CDmpPlayList, NamesTextFollowsEntries) {
    CDmpPlayList list;
    EXPECT_EQ(list.NamesText(), "");
    insert(list, -1, {L"/a/song1.mp3", L"bare.mp3", L"/b/dir/", L"/c/\u00e9t\u00e9.mp3"});
    insert(list, 1, {L"/d/song2.mp3"});
    EXPECT_EQ(list.NamesText(), "song1.mp3\nsong2.mp3\nbare.mp3\n/b/dir/\n\xc3\xa9t\xc3\xa9.mp3\n");
}
