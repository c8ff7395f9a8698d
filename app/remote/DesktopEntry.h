#pragma once

#include <optional>
#include <string>
#include <string_view>

// What the installed-program list needs from an XDG desktop entry file.
struct DesktopEntry {
    std::wstring name;     // the unlocalised Name
    std::wstring path;     // Path (the working directory), empty when absent
    bool isHidden = false; // Hidden=true: the entry counts as deleted
};

// Reads the "[Desktop Entry]" group of a desktop file's text with GLib's key
// file parser (escapes, comments, localised keys as it knows them). Nothing
// when the text is no valid key file or the group has no Name.
std::optional<DesktopEntry> ParseDesktopEntry(std::string_view text);
