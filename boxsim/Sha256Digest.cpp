#include "Sha256Digest.h"

#include <algorithm>
#include <fstream>
#include <vector>

Sha256Digest::Sha256Digest() : m_checksum(g_checksum_new(G_CHECKSUM_SHA256)) {}

Sha256Digest::~Sha256Digest() {
    g_checksum_free(m_checksum);
}

void Sha256Digest::update(const void* data, size_t bytes) {
    // GChecksum takes a signed length: feed very large buffers in pieces.
    constexpr size_t kMaxPieceBytes = size_t{1} << 30;
    auto p = static_cast<const guchar*>(data);
    while (bytes > 0) {
        const size_t piece = std::min(bytes, kMaxPieceBytes);
        g_checksum_update(m_checksum, p, static_cast<gssize>(piece));
        p += piece;
        bytes -= piece;
    }
}

std::string Sha256Digest::finishHex() {
    std::string hex = g_checksum_get_string(m_checksum);
    reset();
    return hex;
}

void Sha256Digest::reset() {
    g_checksum_reset(m_checksum);
}

std::string Sha256Hex(std::string_view bytes) {
    Sha256Digest digest;
    digest.update(bytes.data(), bytes.size());
    return digest.finishHex();
}

std::string Sha256FileHex(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return {};
    Sha256Digest digest;
    std::vector<char> buffer(65536);
    while (in) {
        in.read(buffer.data(), static_cast<std::streamsize>(buffer.size()));
        digest.update(buffer.data(), static_cast<size_t>(in.gcount()));
    }
    if (in.bad())
        return {};
    return digest.finishHex();
}
