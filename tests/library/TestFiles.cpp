#include "TestFiles.h"

#include <fstream>

std::string PatternBytes(size_t offset, size_t count) {
    std::string bytes(count, '\0');
    for (size_t i = 0; i < count; ++i) {
        const size_t at = offset + i;
        // Not periodic in the chunk size, so a misplaced chunk shows.
        bytes[i] = static_cast<char>((at * 7 + at / 251) & 0xFF);
    }
    return bytes;
}

std::filesystem::path MakePatternFile(const TempDir& dir, const std::string& name, size_t size) {
    const std::filesystem::path path = dir.file(name);
    std::ofstream out(path, std::ios::binary);
    constexpr size_t kBlock = 1 << 20;
    for (size_t offset = 0; offset < size; offset += kBlock) {
        const std::string block = PatternBytes(offset, std::min(kBlock, size - offset));
        out.write(block.data(), static_cast<std::streamsize>(block.size()));
    }
    return path;
}
