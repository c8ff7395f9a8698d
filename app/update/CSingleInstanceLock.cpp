#include "CSingleInstanceLock.h"

#include "DebugPrint.h"
#include "OwnFiles.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

CSingleInstanceLock::CSingleInstanceLock(std::string name, std::string directory) {
    if (directory.empty())
        directory = OwnDirectory().value_or(std::string());
    if (!directory.empty())
        m_path = directory + "/" + name + ".lock";
}

CSingleInstanceLock::~CSingleInstanceLock() {
    if (m_fd >= 0)
        ::close(m_fd);
}

bool CSingleInstanceLock::TryAcquire() {
    if (m_isHeld)
        return true;
    if (m_fd < 0 && !m_path.empty())
        m_fd = OpenOwnFile(m_path, O_RDWR | O_CREAT);
    if (m_fd < 0) {
        DebugPrint("CSingleInstanceLock::TryAcquire(): no lock file at \"%s\": 0x%08lx\n",
                   m_path.c_str(), static_cast<unsigned long>(errno));
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
