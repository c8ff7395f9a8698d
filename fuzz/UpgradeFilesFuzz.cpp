// The firmware files in the temporary folder, put there by others: any bytes
// in "device_info.xml" and "appliance.xml" must give a firmware address or
// nothing, and a rewrite or an untouched file, never a crash.
#include "update/UpgradeFiles.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <string>

namespace {

const std::string& folder() {
    static const std::string path = [] {
        char dir[] = "/tmp/UpgradeFilesFuzz.XXXXXX";
        return std::string(mkdtemp(dir) != nullptr ? dir : "/tmp");
    }();
    return path;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    UpgradeFiles files(folder());
    std::ofstream(files.deviceInfoPath(), std::ios::binary) << text;
    std::ofstream(files.appliancePath(), std::ios::binary) << text;
    files.ReadFirmwareUrl();
    files.SetFirmwareUrl("http://127.0.0.1:7272/image.bin");
    return 0;
}
