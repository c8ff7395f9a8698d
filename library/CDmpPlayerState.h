#pragma once

#include <atomic>
#include <cstdint>

// A link's player state: what the Box last reported on the status stream,
// and what the link's own seek, volume and queries set. Written by the
// status reader and the link's callers, read from any thread.
struct CDmpPlayerState {
    std::atomic<int32_t> totalDuration{0};
    std::atomic<int32_t> currentPosition{0};
    std::atomic<int32_t> volume{0};
    std::atomic<int32_t> maxVolume{0};
    std::atomic<int32_t> repeatStatus{0};
    // Cleared with each new pair of connections.
    std::atomic<bool> isPaused{false};
    // Cleared by their queries before they wait for the answer.
    std::atomic<uint64_t> boxVersion{0};
    std::atomic<uint64_t> macAddress{0};
};
