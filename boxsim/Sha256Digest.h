#pragma once

#include <glib.h>

#include <cstddef>
#include <string>
#include <string_view>

// A SHA-256 digest fed piece by piece (GLib's GChecksum), so that file bytes
// can be hashed as they arrive from the network without being kept.
class Sha256Digest {
public:
    Sha256Digest();
    ~Sha256Digest();
    Sha256Digest(const Sha256Digest&) = delete;
    Sha256Digest& operator=(const Sha256Digest&) = delete;

    void update(const void* data, size_t bytes);
    // The digest as 64 lower-case hex digits; the object starts over afterwards.
    std::string finishHex();
    void reset();

private:
    GChecksum* m_checksum;
};

std::string Sha256Hex(std::string_view bytes);
// Digest of a whole file; empty when it cannot be read.
std::string Sha256FileHex(const std::string& path);
