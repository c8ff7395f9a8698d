#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kvu {

// The lines of a play list's text (see PlayListWriter.h): split at LF, a CR
// before it dropped; a line needs two units before its line feed, CR
// counted, and a last line without one counts whatever its length. take
// returns false to stop. Whether any line was taken.
bool ForEachPlayListLine(std::u16string_view units,
                         const std::function<bool(std::u16string_view line)>& take);

// The lines of the local play list at path, decoded; nothing when it cannot
// be read, is empty or larger than maxBytes.
std::optional<std::vector<std::wstring>> ReadLocalPlayList(const std::string& path,
                                                           std::int64_t maxBytes);

} // namespace kvu
