#pragma once

#include <cstdint>

// Little-endian integers of the Box's records (and of anything else that
// packs them): every component that reads or writes a record uses these.
namespace kvu {

inline uint32_t ReadLe32(const uint8_t* bytes) {
    return uint32_t{bytes[0]} | (uint32_t{bytes[1]} << 8) | (uint32_t{bytes[2]} << 16) |
           (uint32_t{bytes[3]} << 24);
}

inline uint64_t ReadLe64(const uint8_t* bytes) {
    return uint64_t{ReadLe32(bytes)} | (uint64_t{ReadLe32(bytes + 4)} << 32);
}

inline void WriteLe32(uint8_t* bytes, uint32_t value) {
    for (int i = 0; i < 4; ++i)
        bytes[i] = static_cast<uint8_t>(value >> (8 * i));
}

inline void WriteLe64(uint8_t* bytes, uint64_t value) {
    WriteLe32(bytes, static_cast<uint32_t>(value));
    WriteLe32(bytes + 4, static_cast<uint32_t>(value >> 32));
}

// The 8 value bytes of a record as two 32-bit halves, as many records carry
// them.
inline uint64_t PackHalves(uint32_t low, uint32_t high) {
    return uint64_t{low} | (uint64_t{high} << 32);
}

} // namespace kvu
