#pragma once

#include <filesystem>
#include <string>

// A fresh directory under $TMPDIR (or /tmp), removed with everything in it.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::string& path() const { return m_path; }
    // path() + "/" + name.
    std::string file(const std::string& name) const { return m_path + "/" + name; }
    // Creates or replaces the named file with the bytes; its path.
    std::string write(const std::string& name, const std::string& bytes) const;

private:
    std::string m_path;
};

// Writes bytes to a file, replacing it; fails the calling test on error.
void WriteTestFile(const std::string& path, const std::string& bytes);
// The file's bytes, or "<missing>" when it cannot be read.
std::string ReadTestFile(const std::string& path);
