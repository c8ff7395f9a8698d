#pragma once

#include <chrono>
#include <cstddef>
#include <filesystem>
#include <string>

#include <stdlib.h>

// Generous bound for waits on events that normally take milliseconds; only
// reached when something is broken.
inline constexpr auto kEventBound = std::chrono::seconds(10);

// A fresh directory under the test temp dir, removed at the end.
class TempDir {
public:
    TempDir() {
        std::string pattern =
            (std::filesystem::temp_directory_path() / "vellumo-test-XXXXXX").string();
        m_path = ::mkdtemp(pattern.data());
    }
    ~TempDir() { std::filesystem::remove_all(m_path); }
    const std::filesystem::path& Path() const { return m_path; }

    // Writes a file of size bytes with a position-dependent pattern.
    std::filesystem::path MakeFile(const std::string& name, size_t size) const;

private:
    std::filesystem::path m_path;
};

// The pattern MakeFile writes, for comparisons.
std::string PatternBytes(size_t offset, size_t count);
