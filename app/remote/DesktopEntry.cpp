#include "DesktopEntry.h"

#include "Escapes.h"
#include "Unicode.h"

namespace {

constexpr std::string_view kMainGroup = "[Desktop Entry]";

std::string_view trimmed(std::string_view text) {
    const std::size_t first = text.find_first_not_of(" \t\r");
    if (first == std::string_view::npos)
        return {};
    return text.substr(first, text.find_last_not_of(" \t\r") - first + 1);
}

std::wstring unescaped(std::string_view value) {
    return kvu::FromUtf8(kvu::Unescape(value));
}

} // namespace

std::optional<DesktopEntry> ParseDesktopEntry(std::string_view text) {
    DesktopEntry entry;
    bool isInMainGroup = false;
    bool hasName = false, hasPath = false, hasHidden = false;
    while (!text.empty()) {
        const std::size_t end = text.find('\n');
        const std::string_view line = trimmed(text.substr(0, end));
        text = end == std::string_view::npos ? std::string_view{} : text.substr(end + 1);
        if (line.empty() || line.front() == '#')
            continue;
        if (line.front() == '[') {
            isInMainGroup = line == kMainGroup;
            continue;
        }
        const std::size_t equals = line.find('=');
        if (!isInMainGroup || equals == std::string_view::npos)
            continue;
        const std::string_view key = trimmed(line.substr(0, equals));
        const std::string_view value = trimmed(line.substr(equals + 1));
        if (key == "Name" && !hasName) {
            entry.name = unescaped(value);
            hasName = true;
        } else if (key == "Path" && !hasPath) {
            entry.path = unescaped(value);
            hasPath = true;
        } else if (key == "Hidden" && !hasHidden) {
            entry.isHidden = value == "true";
            hasHidden = true;
        }
    }
    if (!hasName)
        return std::nullopt;
    return entry;
}
