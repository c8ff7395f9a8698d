#pragma once

#include <optional>
#include <string>
#include <vector>

// Whether the Intel WiDi application runs: it is found among the installed
// programs (the XDG desktop entries) and compared with the executables of the
// running processes. Every failure on the way means "not running".

// Two parallel lists, one item per installed program.
struct UninstallEntries {
    std::vector<std::wstring> displayNames;
    std::vector<std::wstring> installLocations; // empty when the entry has none
};

// The desktop entries under the "applications" folder of each XDG data
// directory ($XDG_DATA_HOME, then $XDG_DATA_DIRS), by file name within each;
// an entry shadows those of the same id in later directories. Entries without
// a Name, hidden ones and unreadable files add nothing.
UninstallEntries FindUninstallEntries();

// The executable paths of the running processes that could be inspected.
// procRoot is the proc file system's mount point.
std::vector<std::wstring> ListProcessImagePaths(const std::string& procRoot = "/proc");

// The WiDi executable: the install location of the first entry named with
// "Intel" and "WiDi" or "Wireless Display" that has one, plus "WiDiApp.exe".
std::optional<std::wstring> FindWiDiApplication();

// True when a running process's executable is the WiDi executable, letter
// case ignored.
bool IsWiDiApplicationRunning();
