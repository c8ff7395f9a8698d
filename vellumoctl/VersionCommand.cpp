// vellumoctl version: asks a Box for its firmware version and MAC address.
#include "BoxAddress.h"
#include "Commands.h"
#include "dmp_vellumo.h"

#include <cinttypes>
#include <cstdio>
#include <cstring>

int RunVersion(int argc, char** argv) {
    BoxAddress box;
    if (argc != 2 || std::strcmp(argv[0], "--box") != 0 || !ParseBoxAddress(argv[1], box)) {
        std::fprintf(stderr, "usage: vellumoctl version --box ADDR[:PORT]\n");
        return kExitUsage;
    }
    DmpVellumoInfo* handle = CreateA(box.host.c_str(), box.port);
    int32_t major = 0, minor = 0, reserved = 0, build = 0;
    const bool isAsked = GetBoxVersion(handle, &major, &minor, &reserved, &build);
    const uint64_t mac = isAsked ? GetCurAdapterMacAddr(handle) : 0;
    Destroy(handle);
    if (!isAsked) {
        std::fprintf(stderr, "vellumoctl: cannot reach the Box at %s:%d\n", box.host.c_str(),
                     box.port);
        return kExitFailure;
    }
    if (major == 0 && minor == 0 && build == 0 && mac == 0) {
        std::fprintf(stderr, "vellumoctl: the Box did not answer\n");
        return kExitFailure;
    }
    std::printf("version %d.%d.%d.%d\n", major, minor, reserved, build);
    std::printf("mac %02x:%02x:%02x:%02x:%02x:%02x\n", static_cast<unsigned>((mac >> 40) & 0xFF),
                static_cast<unsigned>((mac >> 32) & 0xFF),
                static_cast<unsigned>((mac >> 24) & 0xFF),
                static_cast<unsigned>((mac >> 16) & 0xFF), static_cast<unsigned>((mac >> 8) & 0xFF),
                static_cast<unsigned>(mac & 0xFF));
    return kExitOk;
}
