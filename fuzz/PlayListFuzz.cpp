// Play-list files from anywhere: any bytes must parse or fail, never crash,
// hang or read past what they hold.
#include "PlayListFile.h"

#include <sys/mman.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const int fd = memfd_create("playlist.m3u", MFD_CLOEXEC);
    if (fd < 0)
        return 0;
    if (size == 0 || write(fd, data, size) == static_cast<ssize_t>(size)) {
        // Read by name, as every play list is.
        const std::wstring path = L"/proc/self/fd/" + std::to_wstring(fd);
        MediaLists lists;
        ParsePlayList(path, lists);
    }
    close(fd);
    return 0;
}
