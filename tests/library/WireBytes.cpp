#include "WireBytes.h"

std::string Le32(uint32_t value) {
    std::string out(4, '\0');
    for (int i = 0; i < 4; ++i)
        out[i] = static_cast<char>(value >> (8 * i));
    return out;
}

std::string Le64(uint64_t value) {
    std::string out(8, '\0');
    for (int i = 0; i < 8; ++i)
        out[i] = static_cast<char>(value >> (8 * i));
    return out;
}

std::string Record(char command, int32_t sequence, uint64_t value, const std::string& extra) {
    std::string out(1, command);
    out += Le32(static_cast<uint32_t>(sequence));
    out += Le64(value);
    if (!extra.empty()) {
        out += Le32(static_cast<uint32_t>(extra.size()));
        out += extra;
    }
    return out;
}

std::string StatusBytes(const char* keyword, int32_t sequence, uint32_t low, uint32_t high) {
    return std::string(keyword, 4) + Le32(static_cast<uint32_t>(sequence)) + Le32(low) + Le32(high);
}

std::string StatusBytes(const char* keyword, int32_t sequence, const char* state,
                        int32_t argument) {
    return std::string(keyword, 4) + Le32(static_cast<uint32_t>(sequence)) + std::string(state, 4) +
           Le32(static_cast<uint32_t>(argument));
}
