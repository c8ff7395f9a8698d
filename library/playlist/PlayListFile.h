#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// The three media lists a play list is sorted into, entries in file order.
struct MediaLists {
    std::vector<std::wstring> video, image, audio;
};

// Lists nested deeper than this are not read: a list that names itself,
// directly or through others, ends.
inline constexpr int kMaxPlayListDepth = 8;
// One parse keeps at most this many entries, nested lists included: a few
// lists naming each other many times would otherwise expand beyond memory.
inline constexpr size_t kMaxPlayListEntries = 1000000;
// A larger play-list file is refused rather than read into memory.
inline constexpr int64_t kMaxPlayListBytes = int64_t{256} * 1024 * 1024;

// Play-list files (".m3u"): UTF-16 little-endian text without a byte-order
// mark (one, if present, stays part of the first line), one path per line,
// lines ended by CR LF when written.
//
// Appends the entries of the list at path (a local file or a web address),
// and of the lists it names, to the lists by their media type. Entries are
// not checked for existence. False when the file cannot be read, is empty or
// holds no line. Entries beyond kMaxPlayListEntries are dropped and the
// lists they were in are read no further.
bool ParsePlayList(const std::wstring& path, MediaLists& lists);
