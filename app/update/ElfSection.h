#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

// The bytes of the first section of that name in a little-endian ELF file
// (32- or 64-bit), at most kMaxElfSectionBytes; nothing when the file is no
// such ELF file, is cut short, or has no such section.
inline constexpr std::size_t kMaxElfSectionBytes = 1 << 20;
std::optional<std::vector<unsigned char>> ReadElfSection(const std::string& path,
                                                         std::string_view name);
