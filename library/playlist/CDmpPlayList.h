#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

// A link's play list: full paths addressed by 0-based index. Finding an
// entry by its index costs the same at any length. The paths are not
// copied: the list shares the media lists they come from, which are never
// changed, so an entry's text stays valid, unmoved, as long as the list does.
// Not thread-safe: the link guards it with its lock.
class CDmpPlayList {
public:
    using Paths = std::vector<std::wstring>;

    size_t Count() const { return m_entries.size(); }
    bool IsEmpty() const { return m_entries.empty(); }
    // The entry's path, null-terminated, or null beyond the end.
    const wchar_t* At(size_t index) const;

    // Inserts the paths of source that keep says to keep, in their order,
    // before the entry with index position; at the end when position is
    // negative or the list has position entries or fewer.
    void Insert(int32_t position, std::shared_ptr<const Paths> source,
                const std::vector<bool>& keep);

    // What the Box shows of every entry, in order, each followed by a line
    // feed, in UTF-8: the part after the last "/", or the whole entry when
    // it has none or ends in one.
    std::string NamesText() const;

private:
    std::vector<std::shared_ptr<const Paths>> m_sources;
    std::vector<std::wstring_view> m_entries; // into m_sources
};
