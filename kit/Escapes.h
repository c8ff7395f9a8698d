#pragma once

#include <string>
#include <string_view>

namespace kvu {

// Backslash escapes of one-line text files (desktop entries, the string
// table): \s \n \t \r \\. An unknown escape, or a backslash at the end, is
// kept as it stands.
std::string Unescape(std::string_view text);

// Text from the network made safe for a terminal: every control character
// (and DEL) becomes a visible "\xNN".
std::string MaskControlCharacters(std::string_view text);
// The same for output that scripts read line by line: every control
// character (and DEL) becomes replacement, so the text keeps its length.
std::string MaskControlCharacters(std::string_view text, char replacement);

// Text that leaves the process for other programs to show (the desktop's
// media widgets): every control character (C0, DEL, C1), line and paragraph
// separator, and bidirectional mark, embedding, override or isolate becomes
// replacement, so that a file name can neither drive a terminal nor reorder
// what is shown around it.
std::wstring MaskDisplayControls(std::wstring_view text, wchar_t replacement = L'\uFFFD');

} // namespace kvu
