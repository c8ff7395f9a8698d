#include "ExecutablePath.h"

#include <cerrno>
#include <climits>
#include <unistd.h>

namespace kvu {

std::string ExecutablePath() {
    char buffer[PATH_MAX];
    const ssize_t length = ::readlink("/proc/self/exe", buffer, sizeof buffer);
    if (length <= 0)
        return {};
    if (static_cast<size_t>(length) >= sizeof buffer) {
        errno = ENAMETOOLONG;
        return {};
    }
    return std::string(buffer, static_cast<size_t>(length));
}

} // namespace kvu
