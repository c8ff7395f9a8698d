#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <map>
#include <optional>
#include <span>
#include <string>
#include <string_view>

// The version record that an executable carries in its ELF section
// kVersionRecordSection. Layout, integers little-endian:
//   0   8  magic "VLMVREC1"
//   8   4  entry count
//   12  .  entries: key length (2), key (UTF-8), value length (4), value bytes
// The keys are query paths:
//   "\"                          the 52-byte fixed record (FixedFileInfo)
//   "\VarFileInfo\Translation"   4-byte entries: language in the low 16 bits,
//                                code page in the high 16 bits
//   "\StringFileInfo\LLLLCCCC\<name>"  a UTF-8 string of that translation
// (LLLL language, CCCC code page, upper-case hexadecimal).

inline constexpr std::string_view kVersionRecordSection = ".vellumo_version";
inline constexpr std::string_view kVersionRecordMagic = "VLMVREC1";
inline constexpr std::string_view kRootKey = "\\";
inline constexpr std::string_view kTranslationKey = "\\VarFileInfo\\Translation";
inline constexpr std::size_t kFixedFileInfoBytes = 52;

// The fixed record: thirteen 32-bit little-endian fields in this order.
struct FixedFileInfo {
    std::uint32_t signature = 0; // 0xFEEF04BD when present
    std::uint32_t structVersion = 0;
    std::uint32_t fileVersionMS = 0; // major << 16 | minor
    std::uint32_t fileVersionLS = 0; // patch << 16 | tweak
    std::uint32_t productVersionMS = 0;
    std::uint32_t productVersionLS = 0;
    std::uint32_t fileFlagsMask = 0;
    std::uint32_t fileFlags = 0;
    std::uint32_t fileOS = 0;
    std::uint32_t fileType = 0;
    std::uint32_t fileSubtype = 0;
    std::uint32_t fileDateMS = 0;
    std::uint32_t fileDateLS = 0;

    bool operator==(const FixedFileInfo&) const = default;
};

inline constexpr std::uint32_t kFixedFileInfoSignature = 0xFEEF04BD;

constexpr std::array<char, kFixedFileInfoBytes> EncodeFixedFileInfo(const FixedFileInfo& info) {
    const std::uint32_t fields[] = {
        info.signature,        info.structVersion,    info.fileVersionMS, info.fileVersionLS,
        info.productVersionMS, info.productVersionLS, info.fileFlagsMask, info.fileFlags,
        info.fileOS,           info.fileType,         info.fileSubtype,   info.fileDateMS,
        info.fileDateLS};
    std::array<char, kFixedFileInfoBytes> bytes{};
    std::size_t at = 0;
    for (std::uint32_t field : fields)
        for (int shift = 0; shift < 32; shift += 8)
            bytes[at++] = static_cast<char>((field >> shift) & 0xFF);
    return bytes;
}

FixedFileInfo DecodeFixedFileInfo(std::string_view bytes);

// One translation entry of "\VarFileInfo\Translation".
constexpr std::array<char, 4> EncodeTranslation(std::uint16_t language, std::uint16_t codePage) {
    return {static_cast<char>(language & 0xFF), static_cast<char>(language >> 8),
            static_cast<char>(codePage & 0xFF), static_cast<char>(codePage >> 8)};
}

struct VersionRecordEntry {
    std::string_view key;
    std::string_view value;
};

// Writes the record of these entries byte by byte through put; usable at
// compile time, so the build embeds a record with no generator program.
template <class Put>
constexpr void EmitVersionRecord(std::span<const VersionRecordEntry> entries, Put&& put) {
    const auto putLittleEndian = [&](std::uint32_t value, int bytes) {
        for (int i = 0; i < bytes; ++i)
            put(static_cast<unsigned char>((value >> (8 * i)) & 0xFF));
    };
    for (char c : kVersionRecordMagic)
        put(static_cast<unsigned char>(c));
    putLittleEndian(static_cast<std::uint32_t>(entries.size()), 4);
    for (const VersionRecordEntry& entry : entries) {
        putLittleEndian(static_cast<std::uint32_t>(entry.key.size()), 2);
        for (char c : entry.key)
            put(static_cast<unsigned char>(c));
        putLittleEndian(static_cast<std::uint32_t>(entry.value.size()), 4);
        for (char c : entry.value)
            put(static_cast<unsigned char>(c));
    }
}

constexpr std::size_t VersionRecordBytes(std::span<const VersionRecordEntry> entries) {
    std::size_t count = 0;
    EmitVersionRecord(entries, [&](unsigned char) { ++count; });
    return count;
}

template <std::size_t Bytes>
constexpr std::array<unsigned char, Bytes>
MakeVersionRecord(std::span<const VersionRecordEntry> entries) {
    std::array<unsigned char, Bytes> record{};
    std::size_t at = 0;
    EmitVersionRecord(entries, [&](unsigned char byte) { record[at++] = byte; });
    return record;
}

// The entries of a record by key (the first of duplicate keys wins); nothing
// when the magic is wrong or an entry claims more bytes than the record holds.
std::optional<std::map<std::string, std::string, std::less<>>>
ParseVersionRecord(std::span<const unsigned char> record);
