#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

// A link's play list: full paths addressed by 0-based index. Finding an
// entry by its index costs the same at any length, and an entry's text never
// moves once added: a pointer to it stays valid as long as the list does.
// Not thread-safe: the link guards it with its lock.
class CDmpPlayList {
public:
    size_t Count() const { return m_entries.size(); }
    bool IsEmpty() const { return m_entries.empty(); }
    // The entry's path, null-terminated, or null beyond the end.
    const wchar_t* At(size_t index) const;

    // Inserts the paths, in their order, before the entry with index
    // position; at the end when position is negative or the list has
    // position entries or fewer.
    void Insert(int32_t position, const std::vector<std::wstring_view>& paths);

    // What the Box shows of every entry, in order, each followed by a line
    // feed, in UTF-8: the part after the last "/", or the whole entry when
    // it has none or ends in one.
    std::string NamesText() const;

private:
    std::wstring_view store(std::wstring_view path);

    // The texts live in blocks that are never reallocated; each text is
    // followed by its terminating NUL.
    std::vector<std::unique_ptr<wchar_t[]>> m_blocks;
    size_t m_blockFree = 0;
    wchar_t* m_blockEnd = nullptr;
    std::vector<std::wstring_view> m_entries;
};
