#include "PlayListWriter.h"

#include "DebugPrint.h"
#include "Unicode.h"

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <unistd.h>

namespace kvu {

namespace {

void appendLe(std::string& bytes, std::u16string_view units) {
    for (char16_t unit : units) {
        bytes.push_back(static_cast<char>(unit & 0xFF));
        bytes.push_back(static_cast<char>(unit >> 8));
    }
}

bool writeAll(int fd, const std::string& bytes) {
    for (size_t written = 0; written < bytes.size();) {
        const ssize_t count = ::write(fd, bytes.data() + written, bytes.size() - written);
        if (count < 0 && errno == EINTR)
            continue;
        if (count <= 0)
            return false;
        written += static_cast<size_t>(count);
    }
    return true;
}

// Encodes and writes the entries a block at a time, so that a long list is
// never held twice in memory.
bool writeEntries(int fd, const std::vector<std::wstring>& entries) {
    constexpr size_t kBlockBytes = size_t{256} * 1024;
    std::string bytes;
    bytes.reserve(kBlockBytes);
    for (const std::wstring& entry : entries) {
        if (entry.find_first_of(L"\r\n") != std::wstring::npos) {
            DebugPrintW(L"WritePlayList(): entry with a line break left out: %ls\n", entry.c_str());
            continue;
        }
        appendLe(bytes, ToUtf16(entry));
        appendLe(bytes, u"\r\n");
        if (bytes.size() >= kBlockBytes) {
            if (!writeAll(fd, bytes))
                return false;
            bytes.clear();
        }
    }
    return writeAll(fd, bytes);
}

// Writes and closes fd; on failure the file is removed.
bool finishFile(int fd, const std::string& path, const std::vector<std::wstring>& entries) {
    const bool isWritten = writeEntries(fd, entries);
    const bool isClosed = ::close(fd) == 0;
    if (isWritten && isClosed)
        return true;
    DebugPrint("WritePlayList(): write(%s) failed: 0x%08lx\n", path.c_str(),
               static_cast<unsigned long>(errno));
    ::unlink(path.c_str());
    return false;
}

} // namespace

bool WritePlayList(const std::string& path, const std::vector<std::wstring>& entries) {
    // Non-blocking only so that a FIFO without a reader fails instead of hanging.
    const int fd =
        ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NONBLOCK, 0644);
    if (fd < 0) {
        DebugPrint("WritePlayList(): open(%s) failed: 0x%08lx\n", path.c_str(),
                   static_cast<unsigned long>(errno));
        return false;
    }
    return finishFile(fd, path, entries);
}

std::string TemporaryPlayListFolder() {
    const char* folder = std::getenv("TMPDIR");
    return (folder != nullptr && *folder != '\0') ? folder : "/tmp";
}

std::optional<std::string> WriteTemporaryPlayList(const std::vector<std::wstring>& entries) {
    std::string path = TemporaryPlayListFolder() + "/KvuXXXXXX.m3u";
    // The suffix is part of the exclusive creation: no other process's list
    // with the same name can be replaced, as a rename after creation could.
    const int fd = ::mkostemps(path.data(), 4, O_CLOEXEC);
    if (fd < 0) {
        DebugPrint("WriteTemporaryPlayList(): mkostemps(%s) failed: 0x%08lx\n", path.c_str(),
                   static_cast<unsigned long>(errno));
        return std::nullopt;
    }
    if (!finishFile(fd, path, entries))
        return std::nullopt;
    // A folder name that is no UTF-8 could not be opened again by its wide name.
    if (ToUtf8(FromUtf8(path)) != path) {
        DebugPrint("WriteTemporaryPlayList(): %s is no UTF-8 path\n", path.c_str());
        ::unlink(path.c_str());
        return std::nullopt;
    }
    return path;
}

} // namespace kvu
