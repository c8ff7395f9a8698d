#pragma once

#include "TempDir.h"

#include <chrono>
#include <cstddef>
#include <filesystem>
#include <string>

// Generous bound for waits on events that normally take milliseconds; only
// reached when something is broken.
inline constexpr auto kEventBound = std::chrono::seconds(10);

// Writes a file of size bytes with a position-dependent pattern; its path.
std::filesystem::path MakePatternFile(const TempDir& dir, const std::string& name, size_t size);

// The pattern MakePatternFile writes, for comparisons.
std::string PatternBytes(size_t offset, size_t count);
