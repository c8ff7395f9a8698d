// Executables (ours or anyone's) and their version records: any bytes must
// give a section and a record, or nothing, without a crash or a read past
// the file. The input is read as a file and, separately, as a bare record.
#include "update/ElfSection.h"
#include "update/VersionRecord.h"

#include <sys/mman.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    ParseVersionRecord(std::span<const unsigned char>(data, size));
    const int fd = memfd_create("executable", MFD_CLOEXEC);
    if (fd < 0)
        return 0;
    if (size == 0 || write(fd, data, size) == static_cast<ssize_t>(size)) {
        const auto section =
            ReadElfSection("/proc/self/fd/" + std::to_string(fd), kVersionRecordSection);
        if (section)
            ParseVersionRecord(*section);
    }
    close(fd);
    return 0;
}
