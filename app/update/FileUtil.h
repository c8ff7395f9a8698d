#pragma once

#include <cstddef>
#include <optional>
#include <string>

// Small file helpers of the firmware files. Paths are UTF-8.

// True when an entry of that name exists and is not a directory.
bool FileExists(const std::string& path);

// Sizes are 32-bit; one byte stays free for the terminating NUL.
inline constexpr std::size_t kMaxWholeFileBytes = 0xFFFFFFFEu;

// The whole file; the string's own terminator is the NUL byte after the data.
// Nothing when the file cannot be opened or read, is larger than
// kMaxWholeFileBytes, or turns out shorter than its size.
std::optional<std::string> ReadWholeFile(const std::string& path);
// The same for a file already open; path only names it in the trace. The
// descriptor stays open.
std::optional<std::string> ReadWholeDescriptor(int fd, const std::string& path);

// Creates the file anew with exactly these bytes. False for an empty path, no
// data or a size of 0, and whenever not every byte reached the file.
bool WriteWholeFile(const std::string& path, const char* data, std::size_t size);
// Writes every byte to the open descriptor; false when not all got there.
bool WriteAll(int fd, const char* data, std::size_t size);
