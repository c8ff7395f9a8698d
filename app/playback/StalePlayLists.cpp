#include "StalePlayLists.h"

#include "DebugPrint.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string_view>

namespace {

// "Kvu" + six letters or digits (as mkostemps makes them) + ".m3u".
bool isTemporaryPlayListName(std::string_view name) {
    constexpr std::string_view kPrefix = "Kvu";
    constexpr std::string_view kSuffix = ".m3u";
    constexpr size_t kUniqueCharacters = 6;
    if (name.size() != kPrefix.size() + kUniqueCharacters + kSuffix.size() ||
        !name.starts_with(kPrefix) || !name.ends_with(kSuffix))
        return false;
    for (const char c : name.substr(kPrefix.size(), kUniqueCharacters))
        if (!std::isalnum(static_cast<unsigned char>(c)))
            return false;
    return true;
}

} // namespace

std::time_t ProcessStartTime() {
    // The boot time (/proc/stat "btime") plus the clock ticks from boot to
    // the start (field 22 of /proc/self/stat, counted after the command's
    // closing parenthesis, which may hold anything).
    std::ifstream stat("/proc/self/stat");
    const std::string line((std::istreambuf_iterator<char>(stat)),
                           std::istreambuf_iterator<char>());
    const size_t afterCommand = line.rfind(')');
    std::istringstream fields(afterCommand == std::string::npos ? ""
                                                                : line.substr(afterCommand + 1));
    std::string field;
    unsigned long long ticks = 0;
    for (int index = 3; fields >> field; ++index)
        if (index == 22) {
            ticks = std::strtoull(field.c_str(), nullptr, 10);
            break;
        }
    std::ifstream system("/proc/stat");
    std::string key;
    long long bootTime = 0;
    while (system >> key)
        if (key == "btime" && system >> bootTime)
            break;
    const long ticksPerSecond = ::sysconf(_SC_CLK_TCK);
    if (bootTime <= 0 || ticks == 0 || ticksPerSecond <= 0)
        return std::time(nullptr);
    return static_cast<std::time_t>(bootTime + static_cast<long long>(ticks / ticksPerSecond));
}

int RemoveStalePlayLists(const std::string& folder, std::time_t startedAt) {
    DIR* directory = ::opendir(folder.c_str());
    if (directory == nullptr)
        return 0;
    int removed = 0;
    while (const dirent* entry = ::readdir(directory)) {
        if (!isTemporaryPlayListName(entry->d_name))
            continue;
        struct stat status {};
        if (::fstatat(::dirfd(directory), entry->d_name, &status, AT_SYMLINK_NOFOLLOW) != 0 ||
            !S_ISREG(status.st_mode) || status.st_uid != ::geteuid() ||
            status.st_mtime >= startedAt)
            continue;
        if (::unlinkat(::dirfd(directory), entry->d_name, 0) == 0) {
            DebugPrint("RemoveStalePlayLists(): %s/%s left by an earlier run, deleted\n",
                       folder.c_str(), entry->d_name);
            ++removed;
        }
    }
    ::closedir(directory);
    return removed;
}
