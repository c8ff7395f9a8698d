#pragma once

#include "LittleEndian.h"

#include <cstdint>

// Command codes. Inside the library every command has a 32-bit code; the byte
// on the wire is derived from it by WireByte. Video, image and audio codes
// double as media type codes.
enum DmpCommandCode : int32_t {
    kCmdDisconnect = 3,
    kCmdPause = 5,
    kCmdFileSize = 6,
    kMediaTypeVideo = 6,
    kCmdSeekAck = 7,
    kCmdSeek = 9,
    kMediaTypeImage = 10,
    kMediaTypeAudio = 11,
    kCmdPlay = 12,
    kCmdNext = 13,
    kCmdPrev = 14,
    kCmdResume = 15,
    kCmdVolume = 16,
    kCmdPlayListNames = 17,
    kCmdRepeat = 18,
    kCmdRestart = 19,
    kCmdUpgrade = 20,
    kCmdSwitchToWiDi = 21,
    kCmdMute = 22,
    kCmdVersion = 23,
    kCmdMacAddress = 24,
    kMediaTypeMacQuery = 25,
    kCmdSwitchToWfdPin = 26,
    kCmdSwitchToWfdPbc = 27,
};

// The wire byte of a command code; 0 for codes outside the table.
uint8_t WireByte(int32_t code);

// Kinds of the items of a link's command queue.
enum DmpCommandKind : int32_t {
    kKindSeekRequest = 1,
    kKindRead = 2,
    kKindAsyncConnect = 8,
};

// Actions of a kKindRead item, in its value low half.
enum DmpReadAction : int32_t {
    kReadIdle = 0,
    kReadFile = 1,
    kReadClose = 2,
};

// One item of a link's command queue.
struct DMP_COMMAND {
    int32_t kind;
    int32_t sequence;
    int32_t valueLow;  // seek: offset bits 0-31; read: the action
    int32_t valueHigh; // seek: offset bits 32-63; read: the file index

    int64_t Value() const {
        return static_cast<int64_t>(
            kvu::PackHalves(static_cast<uint32_t>(valueLow), static_cast<uint32_t>(valueHigh)));
    }
};

// The 64-bit value of a command record from its two halves.
inline int64_t PackValue(uint32_t low, uint32_t high) {
    return static_cast<int64_t>(kvu::PackHalves(low, high));
}
