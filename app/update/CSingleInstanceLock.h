#pragma once

#include <string>

// Tells whether another instance of the application runs, as the lookup of
// the main window's class does on other systems. The running instance holds
// an exclusive flock() on the file "<name>.lock" in $XDG_RUNTIME_DIR (a
// per-user directory), else "<name>-<uid>.lock" in $TMPDIR or /tmp. The
// kernel releases the lock when the process ends, however it ends, so a
// crashed instance never blocks the next start; the file itself stays.
class CSingleInstanceLock {
public:
    static constexpr const char* kWindowClassName = "ZentharTavoli";

    // directory: where the lock file lies, named like one in the shared
    // temporary directory; empty picks the default above.
    explicit CSingleInstanceLock(std::string name = kWindowClassName, std::string directory = {});
    ~CSingleInstanceLock();
    CSingleInstanceLock(const CSingleInstanceLock&) = delete;
    CSingleInstanceLock& operator=(const CSingleInstanceLock&) = delete;

    // Takes the lock without waiting. False when another holder has it; a
    // file that cannot be opened is traced and counts as no other instance,
    // so that a broken runtime directory never keeps the application from
    // starting.
    bool TryAcquire();
    bool IsHeld() const { return m_isHeld; }
    const std::string& Path() const { return m_path; }

    // The directory used when none is given.
    static std::string DefaultDirectory();

private:
    std::string m_path;
    int m_fd = -1;
    bool m_isHeld = false;
};
