#include "PlayListLines.h"

#include "DebugPrint.h"
#include "Unicode.h"

#include <bit>
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace kvu {

namespace {

constexpr char16_t kLineFeed = 0x000A;
constexpr char16_t kCarriageReturn = 0x000D;

bool readAll(int fd, char* bytes, size_t count) {
    for (size_t got = 0; got < count;) {
        const ssize_t read = ::read(fd, bytes + got, count - got);
        if (read < 0 && errno == EINTR)
            continue;
        if (read <= 0)
            return false;
        got += static_cast<size_t>(read);
    }
    return true;
}

} // namespace

bool ForEachPlayListLine(std::u16string_view units,
                         const std::function<bool(std::u16string_view line)>& take) {
    bool hasLine = false;
    size_t start = 0;
    for (size_t i = 0; i < units.size(); ++i) {
        if (units[i] != kLineFeed)
            continue;
        if (i - start >= 2) {
            const size_t end = units[i - 1] == kCarriageReturn ? i - 1 : i;
            hasLine = true;
            if (!take(units.substr(start, end - start)))
                return true;
        }
        start = i + 1;
    }
    if (start < units.size()) {
        take(units.substr(start));
        hasLine = true;
    }
    return hasLine;
}

std::optional<std::vector<std::wstring>> ReadLocalPlayList(const std::string& path,
                                                           std::int64_t maxBytes) {
    // Non-blocking so that a FIFO without a writer fails instead of hanging.
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
        DebugPrint("ReadLocalPlayList(): open(%s) failed: 0x%08lx\n", path.c_str(),
                   static_cast<unsigned long>(errno));
        return std::nullopt;
    }
    struct stat status {};
    const bool isRegular = ::fstat(fd, &status) == 0 && S_ISREG(status.st_mode);
    if (!isRegular || status.st_size <= 0 || status.st_size > maxBytes) {
        DebugPrint("ReadLocalPlayList(): %s is no file, empty or too large\n", path.c_str());
        ::close(fd);
        return std::nullopt;
    }
    const auto byteCount = static_cast<size_t>(status.st_size);
    std::u16string units(byteCount / 2, u'\0');
    const bool isRead = readAll(fd, reinterpret_cast<char*>(units.data()), units.size() * 2);
    ::close(fd);
    if (!isRead) {
        DebugPrint("ReadLocalPlayList(): %s ended early\n", path.c_str());
        return std::nullopt;
    }
    // The file is little-endian.
    if constexpr (std::endian::native == std::endian::big)
        for (char16_t& unit : units)
            unit = static_cast<char16_t>((unit >> 8) | (unit << 8));
    std::vector<std::wstring> lines;
    ForEachPlayListLine(units, [&lines](std::u16string_view line) {
        lines.push_back(FromUtf16(line));
        return true;
    });
    return lines;
}

} // namespace kvu
