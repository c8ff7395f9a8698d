#include "OwnFiles.h"

#include "DebugPrint.h"
#include "FileUtil.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

constexpr mode_t kWritableByOthers = S_IWGRP | S_IWOTH;
constexpr const char* kCacheFolderName = "vellumo";

std::string absoluteEnvironmentPath(const char* variable) {
    const char* value = std::getenv(variable);
    // Relative paths are invalid there and would depend on the working folder.
    return value != nullptr && value[0] == '/' ? value : "";
}

std::string homeDirectory() {
    std::string home = absoluteEnvironmentPath("HOME");
    if (!home.empty())
        return home;
    std::vector<char> buffer(16384);
    passwd entry{};
    passwd* found = nullptr;
    if (::getpwuid_r(::geteuid(), &entry, buffer.data(), buffer.size(), &found) == 0 &&
        found != nullptr && found->pw_dir != nullptr && found->pw_dir[0] == '/')
        home = found->pw_dir;
    return home;
}

bool isOwnEntry(const struct stat& status) {
    return status.st_uid == ::geteuid() && (status.st_mode & kWritableByOthers) == 0;
}

bool isOwnRegularFile(const struct stat& status) {
    return S_ISREG(status.st_mode) && status.st_nlink == 1 && isOwnEntry(status);
}

bool makeDirectory(const std::string& path) {
    return ::mkdir(path.c_str(), 0700) == 0 || errno == EEXIST;
}

} // namespace

bool IsOwnDirectory(const std::string& path) {
    struct stat status {};
    return ::lstat(path.c_str(), &status) == 0 && S_ISDIR(status.st_mode) && isOwnEntry(status);
}

std::optional<std::string> OwnDirectory(std::string* refused) {
    const std::string runtime = absoluteEnvironmentPath("XDG_RUNTIME_DIR");
    if (!runtime.empty()) {
        if (IsOwnDirectory(runtime))
            return runtime;
        DebugPrint("OwnDirectory(): $XDG_RUNTIME_DIR (%s) is not the user's own, not used\n",
                   runtime.c_str());
    }
    std::string cache = absoluteEnvironmentPath("XDG_CACHE_HOME");
    if (cache.empty()) {
        const std::string home = homeDirectory();
        if (!home.empty()) {
            cache = home + "/.cache";
            makeDirectory(cache);
        }
    }
    const std::string folder = cache.empty() ? std::string() : cache + "/" + kCacheFolderName;
    if (!folder.empty() && makeDirectory(folder) && IsOwnDirectory(folder))
        return folder;
    DebugPrint("OwnDirectory(): %s is missing, not the user's own or open to others; not used\n",
               folder.empty() ? "the cache folder" : folder.c_str());
    if (refused != nullptr)
        *refused = folder;
    return std::nullopt;
}

int OpenOwnFile(const std::string& path, int flags, mode_t mode) {
    // A truncation waits for the checks: the name may be another's file.
    const bool isTruncated = (flags & O_TRUNC) != 0;
    const int fd =
        ::open(path.c_str(), (flags & ~O_TRUNC) | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, mode);
    if (fd < 0)
        return -1;
    struct stat status {};
    if (::fstat(fd, &status) != 0 || !isOwnRegularFile(status)) {
        DebugPrint("OpenOwnFile(): %s is not a plain file of the user's own, not used\n",
                   path.c_str());
        ::close(fd);
        errno = EPERM;
        return -1;
    }
    const int statusFlags = ::fcntl(fd, F_GETFL);
    if (statusFlags < 0 || ::fcntl(fd, F_SETFL, statusFlags & ~O_NONBLOCK) != 0 ||
        (isTruncated && ::ftruncate(fd, 0) != 0)) {
        DebugPrint("OpenOwnFile(): %s cannot be prepared: 0x%08lx\n", path.c_str(),
                   static_cast<unsigned long>(errno));
        ::close(fd);
        return -1;
    }
    return fd;
}

bool IsForeignFile(const std::string& path) {
    struct stat status {};
    return ::lstat(path.c_str(), &status) == 0 && !isOwnRegularFile(status);
}

std::optional<std::string> ReadOwnFile(const std::string& path) {
    const int fd = OpenOwnFile(path, O_RDONLY);
    if (fd < 0)
        return std::nullopt;
    std::optional<std::string> data = ReadWholeDescriptor(fd, path);
    ::close(fd);
    return data;
}

bool ReplaceOwnFile(const std::string& path, const char* data, std::size_t size) {
    if (path.empty() || data == nullptr || size == 0)
        return false;
    std::string part = path + ".XXXXXX";
    const int fd = ::mkostemp(part.data(), O_CLOEXEC);
    if (fd < 0) {
        DebugPrint("ReplaceOwnFile(): no file beside %s: 0x%08lx\n", path.c_str(),
                   static_cast<unsigned long>(errno));
        return false;
    }
    const bool isWritten = WriteAll(fd, data, size);
    const bool isClosed = ::close(fd) == 0;
    // rename() replaces whatever has the name, a link included, and never
    // follows it.
    if (isWritten && isClosed && std::rename(part.c_str(), path.c_str()) == 0)
        return true;
    DebugPrint("ReplaceOwnFile(): %s not replaced: 0x%08lx\n", path.c_str(),
               static_cast<unsigned long>(errno));
    ::unlink(part.c_str());
    return false;
}
