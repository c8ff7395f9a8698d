#pragma once

#include <climits>
#include <cstdint>

// A position and total of any size as the int pair a progress bar takes:
// both halved together until the total fits, so the ratio stays.
struct ScaledProgress {
    int position;
    int total;
};

inline ScaledProgress ScaleProgress(uint64_t position, uint64_t total) {
    while (total > static_cast<uint64_t>(INT_MAX)) {
        position >>= 1;
        total >>= 1;
    }
    if (position > total)
        position = total;
    return {static_cast<int>(position), static_cast<int>(total)};
}
