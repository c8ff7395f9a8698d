#pragma once

#include <string>
#include <string_view>

namespace kvu {

// Wide strings are UTF-32 here. Values that are no Unicode scalar (surrogates,
// beyond U+10FFFF) and malformed UTF-8 become U+FFFD: text from files and the
// network is never trusted to be well formed.
std::string ToUtf8(std::wstring_view text);
// ToUtf8 appended to out, for texts built from many pieces.
void AppendUtf8(std::string& out, std::wstring_view text);
std::wstring FromUtf8(std::string_view text);
// UTF-16 code units (play-list files); a surrogate without its partner
// becomes U+FFFD.
std::u16string ToUtf16(std::wstring_view text);
std::wstring FromUtf16(std::u16string_view units);

} // namespace kvu
