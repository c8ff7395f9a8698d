// The record codec on any bytes, read as a status stream the way the link
// reads it: a known keyword takes the 12 bytes after it, an unknown one only
// its own 4. Every record and value must encode back to the bytes it was read
// from, and a command record built from the same bytes must hold its fields
// where the layout says.
#include "DmpWire.h"
#include "LittleEndian.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>

namespace {

void check(bool isTrue) {
    if (!isTrue)
        std::abort();
}

void checkValue(const dmpwire::StatusRecord& record) {
    switch (record.keyword) {
    case dmpwire::StatusKeyword::Time:
        check(dmpwire::EncodeTime(dmpwire::DecodeTime(record.value)) == record.value);
        break;
    case dmpwire::StatusKeyword::Volume:
        check(dmpwire::EncodeVolume(dmpwire::DecodeVolume(record.value)) == record.value);
        break;
    case dmpwire::StatusKeyword::Version:
        check(dmpwire::EncodeVersion(dmpwire::DecodeVersion(record.value)) == record.value);
        break;
    case dmpwire::StatusKeyword::State: {
        const dmpwire::StateValue state = dmpwire::DecodeState(record.value);
        if (state.state != dmpwire::PlayState::Other)
            check(dmpwire::EncodeState(state) == record.value);
        break;
    }
    default:
        break;
    }
}

void checkCommand(const uint8_t* bytes) {
    const int32_t sequence = static_cast<int32_t>(kvu::ReadLe32(bytes + 4));
    const int64_t value = static_cast<int64_t>(kvu::ReadLe64(bytes + 8));
    const DmpCommandCode code{static_cast<int32_t>(bytes[0])};
    const uint32_t extraLength = bytes[1];
    const dmpwire::CommandHead head =
        dmpwire::EncodeCommandHead(code, sequence, value, extraLength);
    check(head.bytes[dmpwire::kCommandByteField.offset] == WireByte(code));
    check(kvu::ReadLe32(head.bytes.data() + dmpwire::kSequenceField.offset) ==
          static_cast<uint32_t>(sequence));
    check(kvu::ReadLe64(head.bytes.data() + dmpwire::kValueField.offset) ==
          static_cast<uint64_t>(value));
    check(head.size ==
          (extraLength != 0 ? dmpwire::kCommandHeadWithLengthBytes : dmpwire::kCommandHeadBytes));
    if (extraLength != 0)
        check(kvu::ReadLe32(head.bytes.data() + dmpwire::kExtraLengthField.offset) == extraLength);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    size_t at = 0;
    while (at + dmpwire::kKeywordBytes <= size) {
        const uint8_t* keywordBytes = data + at;
        const auto keyword = dmpwire::DecodeKeyword(keywordBytes);
        if (keyword)
            check(std::memcmp(dmpwire::KeywordText(*keyword).data(), keywordBytes,
                              dmpwire::kKeywordBytes) == 0);
        if (!keyword || at + dmpwire::kStatusRecordBytes > size) {
            at += dmpwire::kKeywordBytes;
            continue;
        }
        const dmpwire::StatusRecord record =
            dmpwire::DecodeStatusBody(*keyword, keywordBytes + dmpwire::kKeywordBytes);
        check(std::memcmp(dmpwire::EncodeStatus(record).data(), keywordBytes,
                          dmpwire::kStatusRecordBytes) == 0);
        checkValue(record);
        checkCommand(keywordBytes);
        at += dmpwire::kStatusRecordBytes;
    }
    return 0;
}
