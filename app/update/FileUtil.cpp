#include "FileUtil.h"

#include "DebugPrint.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr std::size_t kReadChunkBytes = 32768;

// Closes the descriptor when the scope ends.
class FdCloser {
public:
    explicit FdCloser(int fd) : m_fd(fd) {}
    ~FdCloser() {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    FdCloser(const FdCloser&) = delete;
    FdCloser& operator=(const FdCloser&) = delete;

private:
    int m_fd;
};

} // namespace

bool FileExists(const std::string& path) {
    struct stat info {};
    return !path.empty() && ::stat(path.c_str(), &info) == 0 && !S_ISDIR(info.st_mode);
}

std::optional<std::string> ReadWholeFile(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return std::nullopt;
    FdCloser closer(fd);
    return ReadWholeDescriptor(fd, path);
}

std::optional<std::string> ReadWholeDescriptor(int fd, const std::string& path) {
    struct stat info {};
    if (::fstat(fd, &info) != 0 || S_ISDIR(info.st_mode))
        return std::nullopt;
    const auto size = static_cast<std::size_t>(info.st_size);
    if (info.st_size < 0 || size > kMaxWholeFileBytes) {
        DebugPrint("ReadWholeFile(): %s is too large (%lld bytes)\n", path.c_str(),
                   static_cast<long long>(info.st_size));
        return std::nullopt;
    }
    std::string data(size, '\0');
    std::size_t total = 0;
    while (total < size) {
        const std::size_t want = std::min(kReadChunkBytes, size - total);
        const ssize_t got = ::read(fd, data.data() + total, want);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0) {
            // A file that shrank since fstat ends the read here instead of looping.
            DebugPrint("ReadWholeFile(): %s ended after %zu of %zu bytes\n", path.c_str(), total,
                       size);
            return std::nullopt;
        }
        total += static_cast<std::size_t>(got);
    }
    return data;
}

bool WriteWholeFile(const std::string& path, const char* data, std::size_t size) {
    if (path.empty() || data == nullptr || size == 0)
        return false;
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0)
        return false;
    const bool isWritten = WriteAll(fd, data, size);
    const bool isClosed = ::close(fd) == 0;
    if (!isWritten || !isClosed) {
        DebugPrint("WriteWholeFile(): %s: not every one of %zu bytes written\n", path.c_str(),
                   size);
        return false;
    }
    return true;
}

bool WriteAll(int fd, const char* data, std::size_t size) {
    std::size_t written = 0;
    while (written < size) {
        const ssize_t put = ::write(fd, data + written, size - written);
        if (put < 0 && errno == EINTR)
            continue;
        if (put <= 0)
            return false;
        written += static_cast<std::size_t>(put);
    }
    return true;
}
