// Desktop entry files from the XDG data folders, written by anyone: any bytes
// must give an entry or nothing, never a crash.
#include "remote/DesktopEntry.h"

#include <cstddef>
#include <cstdint>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    ParseDesktopEntry(std::string_view(reinterpret_cast<const char*>(data), size));
    return 0;
}
