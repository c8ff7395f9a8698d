#include "VersionRecord.h"

#include "DebugPrint.h"

namespace {

// Reads little-endian fields from a record and fails, rather than reading past
// it, when the record is shorter than it claims.
class RecordReader {
public:
    explicit RecordReader(std::span<const unsigned char> bytes) : m_bytes(bytes) {}

    std::optional<std::uint32_t> number(int width) {
        if (m_bytes.size() - m_at < static_cast<std::size_t>(width))
            return std::nullopt;
        std::uint32_t value = 0;
        for (int i = 0; i < width; ++i)
            value |= static_cast<std::uint32_t>(m_bytes[m_at++]) << (8 * i);
        return value;
    }
    std::optional<std::string> text(std::size_t length) {
        if (m_bytes.size() - m_at < length)
            return std::nullopt;
        std::string value(reinterpret_cast<const char*>(m_bytes.data() + m_at), length);
        m_at += length;
        return value;
    }

private:
    std::span<const unsigned char> m_bytes;
    std::size_t m_at = 0;
};

} // namespace

FixedFileInfo DecodeFixedFileInfo(std::string_view bytes) {
    std::uint32_t fields[kFixedFileInfoBytes / 4] = {};
    for (std::size_t i = 0; i < kFixedFileInfoBytes && i < bytes.size(); ++i)
        fields[i / 4] |= static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[i]))
                         << (8 * (i % 4));
    return FixedFileInfo{fields[0],  fields[1],  fields[2], fields[3], fields[4],
                         fields[5],  fields[6],  fields[7], fields[8], fields[9],
                         fields[10], fields[11], fields[12]};
}

std::optional<std::map<std::string, std::string, std::less<>>>
ParseVersionRecord(std::span<const unsigned char> record) {
    RecordReader reader(record);
    if (reader.text(kVersionRecordMagic.size()) != kVersionRecordMagic) {
        DebugPrint("ParseVersionRecord(): not a version record\n");
        return std::nullopt;
    }
    const auto count = reader.number(4);
    if (!count)
        return std::nullopt;
    std::map<std::string, std::string, std::less<>> entries;
    for (std::uint32_t i = 0; i < *count; ++i) {
        const auto keyLength = reader.number(2);
        auto key = keyLength ? reader.text(*keyLength) : std::nullopt;
        const auto valueLength = key ? reader.number(4) : std::nullopt;
        auto value = valueLength ? reader.text(*valueLength) : std::nullopt;
        if (!value) {
            DebugPrint("ParseVersionRecord(): entry %u of %u runs past the record\n", i, *count);
            return std::nullopt;
        }
        entries.emplace(std::move(*key), std::move(*value));
    }
    return entries;
}
