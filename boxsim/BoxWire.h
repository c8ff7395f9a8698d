#pragma once

#include <cstddef>
#include <cstdint>

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

// Sends all bytes (looping on short sends); false when the peer has gone.
bool SendAll(int fd, const void* data, size_t bytes, int flags = 0);

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

inline uint32_t readLe32(const uint8_t* p) {
    return uint32_t{p[0]} | (uint32_t{p[1]} << 8) | (uint32_t{p[2]} << 16) | (uint32_t{p[3]} << 24);
}

inline uint64_t readLe64(const uint8_t* p) {
    return uint64_t{readLe32(p)} | (uint64_t{readLe32(p + 4)} << 32);
}

inline void writeLe32(uint8_t* p, uint32_t value) {
    for (int i = 0; i < 4; ++i)
        p[i] = static_cast<uint8_t>(value >> (8 * i));
}

inline void writeLe64(uint8_t* p, uint64_t value) {
    writeLe32(p, static_cast<uint32_t>(value));
    writeLe32(p + 4, static_cast<uint32_t>(value >> 32));
}

// The 8 value bytes as two 32-bit halves, as several records carry them.
inline uint64_t packHalves(uint32_t low, uint32_t high) {
    return uint64_t{low} | (uint64_t{high} << 32);
}

} // namespace boxwire
