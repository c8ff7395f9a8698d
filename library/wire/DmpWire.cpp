#include "DmpWire.h"

#include "LittleEndian.h"

#include <cstring>

namespace {

constexpr int32_t number(DmpCommandCode code) {
    return static_cast<int32_t>(code);
}

constexpr int32_t number(DmpMediaType type) {
    return static_cast<int32_t>(type);
}

// The protocol's one table of numbers and bytes: command codes and media
// types share it, so that 6 is both the file size reply and video.
uint8_t byteOfNumber(int32_t value) {
    switch (value) {
    case number(kCmdDisconnect):
        return 'D';
    case number(kCmdPause):
        return 'p';
    case number(kCmdFileSize):
        return 'F';
    case number(kCmdSeekAck):
        return '$';
    case number(kCmdSeek):
        return 'J';
    case number(kMediaTypeImage):
        return 'I';
    case number(kMediaTypeAudio):
        return 'A';
    case number(kCmdPlay):
        return 'L';
    case number(kCmdNext):
        return 'N';
    case number(kCmdPrev):
        return 'V';
    case number(kCmdResume):
        return 'P';
    case number(kCmdVolume):
        return 'v';
    case number(kCmdPlayListNames):
        return 'l';
    case number(kCmdRepeat):
        return 'r';
    case number(kCmdRestart):
        return 's';
    case number(kCmdUpgrade):
        return 'u';
    case number(kCmdSwitchToWiDi):
        return 'w';
    case number(kCmdMute):
        return 'm';
    case number(kCmdVersion):
        return 'n';
    case number(kCmdMacAddress):
        return 'W';
    case number(kMediaTypeMacQuery):
        return 'g';
    case number(kCmdSwitchToWfdPin):
        return 'T';
    case number(kCmdSwitchToWfdPbc):
        return 't';
    default:
        return 0;
    }
}
// Video's byte is the file size reply's.
static_assert(number(kMediaTypeVideo) == number(kCmdFileSize));

// The four characters that stand for a value on the wire.
template <typename Value> struct Spelling {
    Value value;
    const char* text;
};

// In the order the status reader compares them.
constexpr Spelling<dmpwire::StatusKeyword> kKeywords[] = {
    {dmpwire::StatusKeyword::Seek, "seek"},    {dmpwire::StatusKeyword::Time, "time"},
    {dmpwire::StatusKeyword::Volume, "vol "},  {dmpwire::StatusKeyword::State, "stat"},
    {dmpwire::StatusKeyword::Version, "ver "}, {dmpwire::StatusKeyword::MacAddress, "waid"},
};

constexpr Spelling<dmpwire::PlayState> kStates[] = {
    {dmpwire::PlayState::Stop, "stop"}, {dmpwire::PlayState::Play, "play"},
    {dmpwire::PlayState::Pend, "pend"}, {dmpwire::PlayState::Resume, "resu"},
    {dmpwire::PlayState::Done, "done"},
};
// What EncodeState writes for PlayState::Other.
constexpr char kOtherStateText[] = "    ";

template <typename Value, size_t count>
std::optional<Value> valueSpelled(const Spelling<Value> (&table)[count], const uint8_t* bytes) {
    for (const Spelling<Value>& entry : table)
        if (std::memcmp(bytes, entry.text, 4) == 0)
            return entry.value;
    return std::nullopt;
}

template <typename Value, size_t count>
const char* spellingOf(const Spelling<Value> (&table)[count], Value value) {
    for (const Spelling<Value>& entry : table)
        if (entry.value == value)
            return entry.text;
    return nullptr;
}

// The repeat status's bits in the high half of a "vol " value.
constexpr uint32_t kRepeatShift = 16;
constexpr uint32_t kRepeatMask = 0xFFu << kRepeatShift;

uint32_t low(uint64_t value) {
    return static_cast<uint32_t>(value);
}

uint32_t high(uint64_t value) {
    return static_cast<uint32_t>(value >> 32);
}

} // namespace

uint8_t WireByte(DmpCommandCode code) {
    return byteOfNumber(static_cast<int32_t>(code));
}

uint8_t WireByte(DmpMediaType type) {
    return byteOfNumber(static_cast<int32_t>(type));
}

int64_t PackValue(uint32_t low, uint32_t high) {
    return static_cast<int64_t>(kvu::PackHalves(low, high));
}

namespace dmpwire {

CommandHead EncodeCommandHead(DmpCommandCode code, int32_t sequence, int64_t value,
                              uint32_t extraLength) {
    CommandHead head;
    head.bytes[kCommandByteField.offset] = WireByte(code);
    kvu::WriteLe32(head.bytes.data() + kSequenceField.offset, static_cast<uint32_t>(sequence));
    kvu::WriteLe64(head.bytes.data() + kValueField.offset, static_cast<uint64_t>(value));
    head.size = kCommandHeadBytes;
    if (extraLength != 0) {
        kvu::WriteLe32(head.bytes.data() + kExtraLengthField.offset, extraLength);
        head.size = kCommandHeadWithLengthBytes;
    }
    return head;
}

std::string EncodeCommand(DmpCommandCode code, int32_t sequence, int64_t value,
                          std::string_view extra) {
    const CommandHead head =
        EncodeCommandHead(code, sequence, value, static_cast<uint32_t>(extra.size()));
    std::string record(reinterpret_cast<const char*>(head.bytes.data()), head.size);
    record += extra;
    return record;
}

std::optional<StatusKeyword> DecodeKeyword(const uint8_t* bytes) {
    return valueSpelled(kKeywords, bytes);
}

std::string_view KeywordText(StatusKeyword keyword) {
    return {spellingOf(kKeywords, keyword), kKeywordBytes};
}

StatusRecord DecodeStatusBody(StatusKeyword keyword, const uint8_t* body) {
    return StatusRecord{keyword, static_cast<int32_t>(kvu::ReadLe32(body)),
                        kvu::ReadLe64(body + 4)};
}

std::array<uint8_t, kStatusRecordBytes> EncodeStatus(const StatusRecord& record) {
    std::array<uint8_t, kStatusRecordBytes> bytes{};
    std::memcpy(bytes.data(), KeywordText(record.keyword).data(), kKeywordBytes);
    kvu::WriteLe32(bytes.data() + kKeywordBytes, static_cast<uint32_t>(record.sequence));
    kvu::WriteLe64(bytes.data() + kKeywordBytes + 4, record.value);
    return bytes;
}

TimeValue DecodeTime(uint64_t value) {
    return TimeValue{static_cast<int32_t>(low(value)), static_cast<int32_t>(high(value))};
}

uint64_t EncodeTime(const TimeValue& time) {
    return kvu::PackHalves(static_cast<uint32_t>(time.totalDuration),
                           static_cast<uint32_t>(time.currentPosition));
}

VolumeValue DecodeVolume(uint64_t value) {
    const uint32_t word = high(value);
    return VolumeValue{static_cast<int32_t>(low(value)), static_cast<int32_t>(word & ~kRepeatMask),
                       static_cast<int32_t>((word & kRepeatMask) >> kRepeatShift)};
}

uint64_t EncodeVolume(const VolumeValue& volume) {
    const uint32_t word =
        (static_cast<uint32_t>(volume.volume) & ~kRepeatMask) |
        ((static_cast<uint32_t>(volume.repeatStatus) << kRepeatShift) & kRepeatMask);
    return kvu::PackHalves(static_cast<uint32_t>(volume.maxVolume), word);
}

StateValue DecodeState(uint64_t value) {
    uint8_t text[4];
    kvu::WriteLe32(text, low(value));
    return StateValue{valueSpelled(kStates, text).value_or(PlayState::Other),
                      static_cast<int32_t>(high(value))};
}

uint64_t EncodeState(const StateValue& state) {
    const char* text = spellingOf(kStates, state.state);
    return kvu::PackHalves(
        kvu::ReadLe32(reinterpret_cast<const uint8_t*>(text ? text : kOtherStateText)),
        static_cast<uint32_t>(state.argument));
}

BoxVersion DecodeVersion(uint64_t value) {
    return BoxVersion{static_cast<int32_t>(low(value) >> 16),
                      static_cast<int32_t>(low(value) & 0xFFFF), static_cast<int32_t>(high(value))};
}

uint64_t EncodeVersion(const BoxVersion& version) {
    const uint32_t word = (static_cast<uint32_t>(version.major & 0xFFFF) << 16) |
                          static_cast<uint32_t>(version.minor & 0xFFFF);
    return kvu::PackHalves(word, static_cast<uint32_t>(version.build));
}

} // namespace dmpwire
