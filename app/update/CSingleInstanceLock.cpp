#include "CSingleInstanceLock.h"

#include "DebugPrint.h"

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace {

std::string environmentDirectory(const char* variable) {
    const char* value = std::getenv(variable);
    return value != nullptr && *value != '\0' ? value : "";
}

} // namespace

std::string CSingleInstanceLock::DefaultDirectory() {
    std::string directory = environmentDirectory("XDG_RUNTIME_DIR");
    if (!directory.empty())
        return directory;
    directory = environmentDirectory("TMPDIR");
    return directory.empty() ? "/tmp" : directory;
}

CSingleInstanceLock::CSingleInstanceLock(std::string name, std::string directory) {
    // A shared temporary directory holds every user's files: the user id keeps
    // one user's instance from blocking another's.
    const bool isPerUserDirectory =
        directory.empty() && !environmentDirectory("XDG_RUNTIME_DIR").empty();
    if (directory.empty())
        directory = DefaultDirectory();
    m_path = directory + "/" + name;
    if (!isPerUserDirectory)
        m_path += "-" + std::to_string(::getuid());
    m_path += ".lock";
}

CSingleInstanceLock::~CSingleInstanceLock() {
    if (m_fd >= 0)
        ::close(m_fd);
}

bool CSingleInstanceLock::TryAcquire() {
    if (m_isHeld)
        return true;
    if (m_fd < 0)
        m_fd = ::open(m_path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (m_fd < 0) {
        DebugPrint("CSingleInstanceLock::TryAcquire(): open(%s) failed: 0x%08lx\n", m_path.c_str(),
                   static_cast<unsigned long>(errno));
        return true;
    }
    int result;
    do
        result = ::flock(m_fd, LOCK_EX | LOCK_NB);
    while (result != 0 && errno == EINTR);
    if (result == 0) {
        m_isHeld = true;
        return true;
    }
    if (errno != EWOULDBLOCK)
        DebugPrint("CSingleInstanceLock::TryAcquire(): flock(%s) failed: 0x%08lx\n", m_path.c_str(),
                   static_cast<unsigned long>(errno));
    return errno != EWOULDBLOCK;
}
