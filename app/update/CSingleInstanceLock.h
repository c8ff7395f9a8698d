#pragma once

#include <string>

// Tells whether another instance of the application runs, as the lookup of
// the main window's class does on other systems. The running instance holds
// an exclusive flock() on the file "<name>.lock" in the user's own folder
// (OwnFiles.h), which no other user can create, hold or replace. The kernel
// releases the lock when the process ends, however it ends, so a crashed
// instance never blocks the next start; the file itself stays.
class CSingleInstanceLock {
public:
    static constexpr const char* kWindowClassName = "ZentharTavoli";

    // directory: where the lock file lies; empty picks the user's own folder.
    explicit CSingleInstanceLock(std::string name = kWindowClassName, std::string directory = {});
    ~CSingleInstanceLock();
    CSingleInstanceLock(const CSingleInstanceLock&) = delete;
    CSingleInstanceLock& operator=(const CSingleInstanceLock&) = delete;

    // Takes the lock without waiting. False when another holder has it. A
    // file that cannot be opened, or is refused (a link, no plain file, or
    // not the user's own), is traced and counts as no other instance, so that
    // a broken folder never keeps the application from starting.
    bool TryAcquire();
    bool IsHeld() const { return m_isHeld; }
    // Empty when the user has no folder of their own.
    const std::string& Path() const { return m_path; }

private:
    std::string m_path;
    int m_fd = -1;
    bool m_isHeld = false;
};
