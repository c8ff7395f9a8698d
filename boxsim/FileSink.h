#pragma once

#include <cstdint>
#include <string>

// Writes one received file into the output directory under the base name of
// its play-list entry. Bytes go to a hidden part file first; only a file whose
// every byte arrived is renamed into place, anything else is removed.
class FileSink {
public:
    FileSink() = default;
    ~FileSink() { abandon(); }
    FileSink(const FileSink&) = delete;
    FileSink& operator=(const FileSink&) = delete;

    // The last path component of name, or empty when nothing safe remains
    // ("", ".", "..").
    static std::string safeBaseName(const std::string& name);

    // tag keeps part files of concurrent pairs apart. False when the name has
    // no safe base name or the part file cannot be created.
    bool open(const std::string& dir, const std::string& name, int tag);
    // Bytes at an absolute offset of the file (seeks may move backwards).
    bool write(int64_t offset, const void* data, size_t bytes);
    bool isWhole(int64_t size) const { return m_fd >= 0 && m_contiguousEnd >= size; }
    // Puts a whole file in place (truncated to size); false when it was not
    // whole or could not be written. The part file is gone either way.
    bool finish(int64_t size);
    void abandon();
    bool isOpen() const { return m_fd >= 0; }

private:
    int m_fd = -1;
    std::string m_partPath;
    std::string m_finalPath;
    int64_t m_contiguousEnd = 0; // bytes 0..m_contiguousEnd have been written
};
