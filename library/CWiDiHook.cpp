#include "CWiDiHook.h"

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

CWiDiHook& CWiDiHook::Instance() {
    static CWiDiHook hook;
    return hook;
}

bool CWiDiHook::Install(void* module) {
    std::lock_guard lock(m_mutex);
    m_module = module;
    return m_module != nullptr;
}

void CWiDiHook::Uninstall() {
    std::lock_guard lock(m_mutex);
    m_module = nullptr;
}

bool CWiDiHook::IsInstalled() {
    std::lock_guard lock(m_mutex);
    return m_module != nullptr;
}

bool CWiDiHook::ShouldRefuseWindow(const std::string& executablePath) {
    return executablePath.find("WiDiApp.exe") != std::string::npos && !IsLockHeld();
}

std::string CWiDiHook::LockPath() {
    const char* directory = std::getenv("XDG_RUNTIME_DIR");
    if (directory == nullptr || *directory == '\0')
        directory = std::getenv("TMPDIR");
    if (directory == nullptr || *directory == '\0')
        directory = "/tmp";
    return std::string(directory) + "/GlobalWiDiAppLock";
}

bool CWiDiHook::IsLockHeld() {
    const int fd = ::open(LockPath().c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return false;
    // Someone holds it exactly when we cannot take it.
    const bool isHeld = ::flock(fd, LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK;
    ::close(fd);
    return isHeld;
}
