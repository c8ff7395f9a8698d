#include "CDmpPlayList.h"

#include "Unicode.h"

#include <algorithm>
#include <iterator>

namespace {

// Texts are packed into blocks of this many characters; a longer one gets a
// block of its own.
constexpr size_t kBlockCharacters = 64 * 1024;

std::wstring_view boxName(std::wstring_view path) {
    const size_t slash = path.rfind(L'/');
    if (slash == std::wstring_view::npos || slash + 1 == path.size())
        return path;
    return path.substr(slash + 1);
}

} // namespace

const wchar_t* CDmpPlayList::At(size_t index) const {
    return index < m_entries.size() ? m_entries[index].data() : nullptr;
}

std::wstring_view CDmpPlayList::store(std::wstring_view path) {
    const size_t needed = path.size() + 1;
    if (needed > m_blockFree) {
        const size_t size = std::max(needed, kBlockCharacters);
        m_blocks.push_back(std::make_unique_for_overwrite<wchar_t[]>(size));
        m_blockEnd = m_blocks.back().get();
        m_blockFree = size;
    }
    wchar_t* text = m_blockEnd;
    std::copy(path.begin(), path.end(), text);
    text[path.size()] = L'\0';
    m_blockEnd += needed;
    m_blockFree -= needed;
    return {text, path.size()};
}

void CDmpPlayList::Insert(int32_t position, const std::vector<std::wstring_view>& paths) {
    const auto at = position >= 0 && static_cast<size_t>(position) < m_entries.size()
                        ? std::next(m_entries.begin(), position)
                        : m_entries.end();
    std::vector<std::wstring_view> stored;
    stored.reserve(paths.size());
    for (std::wstring_view path : paths)
        stored.push_back(store(path));
    m_entries.insert(at, stored.begin(), stored.end());
}

std::string CDmpPlayList::NamesText() const {
    std::string text;
    for (std::wstring_view path : m_entries) {
        kvu::AppendUtf8(text, boxName(path));
        text += '\n';
    }
    return text;
}
