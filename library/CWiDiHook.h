#pragma once

#include <mutex>
#include <string>

// Holds back the windows of the WiDi application while nobody holds the
// "GlobalWiDiAppLock". Linux has no system-wide window hook: this keeps the
// hook's state and its decision, and has no effect on other processes.
class CWiDiHook {
public:
    static CWiDiHook& Instance();

    // Replaces any installed hook; fails without a module.
    bool Install(void* module);
    void Uninstall();
    bool IsInstalled();

    // The decision for a window about to be created by the process whose
    // executable is at executablePath: true refuses it.
    static bool ShouldRefuseWindow(const std::string& executablePath);

    // The lock another party keeps while the WiDi application may show
    // windows: a lock file in $XDG_RUNTIME_DIR (else the temp directory)
    // that someone holds with flock.
    static std::string LockPath();
    static bool IsLockHeld();

private:
    std::mutex m_mutex; // guards m_module
    void* m_module = nullptr;
};
