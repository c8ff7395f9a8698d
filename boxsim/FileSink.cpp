#include "FileSink.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>

std::string FileSink::safeBaseName(const std::string& name) {
    const size_t slash = name.find_last_of('/');
    std::string base = slash == std::string::npos ? name : name.substr(slash + 1);
    if (base.empty() || base == "." || base == ".." || base.find('\0') != std::string::npos)
        return {};
    return base;
}

bool FileSink::open(const std::string& dir, const std::string& name, int tag) {
    abandon();
    const std::string base = safeBaseName(name);
    if (base.empty())
        return false;
    m_finalPath = dir + "/" + base;
    m_partPath = dir + "/." + base + ".part" + std::to_string(tag);
    m_fd = ::open(m_partPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOFOLLOW, 0644);
    m_contiguousEnd = 0;
    return m_fd >= 0;
}

bool FileSink::write(int64_t offset, const void* data, size_t bytes) {
    if (m_fd < 0)
        return false;
    auto p = static_cast<const char*>(data);
    int64_t at = offset;
    size_t left = bytes;
    while (left > 0) {
        const ssize_t written = ::pwrite(m_fd, p, left, at);
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0) {
            abandon();
            return false;
        }
        p += written;
        at += written;
        left -= static_cast<size_t>(written);
    }
    if (offset <= m_contiguousEnd)
        m_contiguousEnd = std::max(m_contiguousEnd, offset + static_cast<int64_t>(bytes));
    return true;
}

bool FileSink::finish(int64_t size) {
    if (m_fd < 0)
        return false;
    const bool isComplete = isWhole(size) && ::ftruncate(m_fd, size) == 0;
    const bool isClosed = ::close(m_fd) == 0;
    m_fd = -1;
    if (isComplete && isClosed && std::rename(m_partPath.c_str(), m_finalPath.c_str()) == 0)
        return true;
    ::unlink(m_partPath.c_str());
    return false;
}

void FileSink::abandon() {
    if (m_fd < 0)
        return;
    ::close(m_fd);
    m_fd = -1;
    ::unlink(m_partPath.c_str());
}
