#include "CDmpPlayList.h"

#include "Unicode.h"

#include <iterator>

namespace {

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

void CDmpPlayList::Insert(int32_t position, std::shared_ptr<const Paths> source,
                          const std::vector<bool>& keep) {
    if (!source)
        return;
    std::vector<std::wstring_view> kept;
    for (size_t i = 0; i < source->size() && i < keep.size(); ++i)
        if (keep[i])
            kept.emplace_back((*source)[i]);
    if (kept.empty())
        return;
    const auto at = position >= 0 && static_cast<size_t>(position) < m_entries.size()
                        ? std::next(m_entries.begin(), position)
                        : m_entries.end();
    m_entries.insert(at, kept.begin(), kept.end());
    m_sources.push_back(std::move(source));
}

std::string CDmpPlayList::NamesText() const {
    std::string text;
    for (std::wstring_view path : m_entries) {
        kvu::AppendUtf8(text, boxName(path));
        text += '\n';
    }
    return text;
}
