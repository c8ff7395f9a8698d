#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

// SHA-256 (FIPS 180-4), fed incrementally so that file bytes can be hashed as
// they arrive from the network.
class Sha256 {
public:
    Sha256() { reset(); }

    void reset();
    void update(const void* data, size_t bytes);
    // Finishes the digest and returns it as 64 lower-case hex digits; the
    // object is reset afterwards.
    std::string finishHex();

private:
    void compress(const uint8_t* block);

    std::array<uint32_t, 8> m_state{};
    std::array<uint8_t, 64> m_block{};
    size_t m_blockBytes = 0;
    uint64_t m_totalBytes = 0;
};

std::string Sha256Hex(std::string_view bytes);
// Digest of a whole file; empty when it cannot be read.
std::string Sha256FileHex(const std::string& path);
