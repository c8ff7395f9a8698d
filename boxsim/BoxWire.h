#pragma once

#include <cstddef>
#include <cstdint>

// The integers go through the kit's LittleEndian.h, whole records through its
// io/SendAll.h.

// Record layouts of the Box protocol. All integers are little-endian.
//
// Command record, peer to Box, on the command connection:
//   0  1  command byte
//   1  4  sequence number, int32
//   5  8  value, int64
//   13 4  extra length n, uint32 (only after "l" and "u")
//   17 n  extra data
// Status record, Box to peer, on the data connection:
//   0  4  keyword
//   4  4  sequence number, int32
//   8  8  value
// Urgent record, peer to Box, on the data connection: the command layout
// without extra data, its first byte sent as TCP urgent data.
namespace boxwire {

inline constexpr size_t kCommandHeadBytes = 13;
inline constexpr size_t kExtraLengthBytes = 4;
inline constexpr size_t kStatusRecordBytes = 16;
inline constexpr size_t kUrgentRecordBytes = 13;
// Anything longer is not a play list or a URL but a desynchronised stream.
inline constexpr uint32_t kMaxExtraBytes = 16u * 1024 * 1024;

inline constexpr char kCommandBytes[] = "DpLNVPvlrsuwmnWTtJ";

inline bool isCommandByte(char byte) {
    for (const char* c = kCommandBytes; *c != '\0'; ++c) {
        if (*c == byte)
            return true;
    }
    return false;
}

inline bool hasExtraData(char byte) {
    return byte == 'l' || byte == 'u';
}

} // namespace boxwire
