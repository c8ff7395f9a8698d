#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

// The Box protocol's records as bytes, and back: no connection, no thread.
// There is no alignment and no terminator; LE: little-endian.
//
// Command record, library to Box, on the command connection ("F" and "$" on
// the data connection):
//   0  1  command byte (WireByte); TCP urgent data when sent out of band
//   1  4  sequence number, int32 LE
//   5  8  value, int64 LE
//   13 4  extra length n, uint32 LE; only with extra data
//   17 n  extra data
// Status record, Box to library, on the data connection:
//   0  4  keyword, four ASCII characters
//   4  4  sequence number, int32 LE
//   8  8  value, read by the keyword:
//         "time"  8 4 total duration, int32 LE
//                 12 4 current position, int32 LE
//         "vol "  8 4 maximum volume, int32 LE
//                 12 4 volume, int32 LE, whose bits 16-23 hold the repeat
//                      status instead
//         "stat"  8 4 play state, four ASCII characters
//                 12 4 argument, int32 LE
//         "seek"  8 8 file offset, int64 LE
//         "ver "  8 8 version, uint64 LE: bits 0-15 minor, 16-31 major,
//                     32-63 build
//         "waid"  8 8 the adapter's MAC address, uint64 LE

// The library's codes of the commands it sends; its trace shows them. The
// byte on the wire is WireByte(code).
enum class DmpCommandCode : int32_t {};
inline constexpr DmpCommandCode kCmdDisconnect{3};
inline constexpr DmpCommandCode kCmdPause{5};
inline constexpr DmpCommandCode kCmdFileSize{6};
inline constexpr DmpCommandCode kCmdSeekAck{7};
inline constexpr DmpCommandCode kCmdSeek{9};
inline constexpr DmpCommandCode kCmdPlay{12};
inline constexpr DmpCommandCode kCmdNext{13};
inline constexpr DmpCommandCode kCmdPrev{14};
inline constexpr DmpCommandCode kCmdResume{15};
inline constexpr DmpCommandCode kCmdVolume{16};
inline constexpr DmpCommandCode kCmdPlayListNames{17};
inline constexpr DmpCommandCode kCmdRepeat{18};
inline constexpr DmpCommandCode kCmdRestart{19};
inline constexpr DmpCommandCode kCmdUpgrade{20};
inline constexpr DmpCommandCode kCmdSwitchToWiDi{21};
inline constexpr DmpCommandCode kCmdMute{22};
inline constexpr DmpCommandCode kCmdVersion{23};
inline constexpr DmpCommandCode kCmdMacAddress{24};
inline constexpr DmpCommandCode kCmdSwitchToWfdPin{26};
inline constexpr DmpCommandCode kCmdSwitchToWfdPbc{27};

// What a link plays; its wire byte travels in the value of the playback
// commands and of "D". The numbers come from the same table as the command
// codes (video's byte is "F"). A link that runs a device operation plays
// nothing: the operation's command stands as its type (TypeOfDevice).
enum class DmpMediaType : int32_t {};
inline constexpr DmpMediaType kMediaTypeNone{0};
inline constexpr DmpMediaType kMediaTypeVideo{6};
inline constexpr DmpMediaType kMediaTypeImage{10};
inline constexpr DmpMediaType kMediaTypeAudio{11};
inline constexpr DmpMediaType kMediaTypeMacQuery{25};

constexpr DmpMediaType TypeOfDevice(DmpCommandCode command) {
    return static_cast<DmpMediaType>(command);
}

// The byte on the wire; 0 for a number outside the table.
uint8_t WireByte(DmpCommandCode code);
uint8_t WireByte(DmpMediaType type);

// The 64-bit value of a record from its two 32-bit halves.
int64_t PackValue(uint32_t low, uint32_t high);

namespace dmpwire {

// Where the fields of a command record's head lie.
struct Field {
    size_t offset;
    size_t size;
};
inline constexpr Field kCommandByteField{0, 1};
inline constexpr Field kSequenceField{1, 4};
inline constexpr Field kValueField{5, 8};
inline constexpr Field kExtraLengthField{13, 4};
inline constexpr size_t kCommandHeadBytes = 13;
inline constexpr size_t kCommandHeadWithLengthBytes = 17;

inline constexpr size_t kKeywordBytes = 4;
// The sequence number and the value, which follow a keyword.
inline constexpr size_t kStatusBodyBytes = 12;
inline constexpr size_t kStatusRecordBytes = kKeywordBytes + kStatusBodyBytes;

// A command record's head, with the length field when extraLength is not 0;
// the extra data follows it.
struct CommandHead {
    std::array<uint8_t, kCommandHeadWithLengthBytes> bytes{};
    size_t size = 0;
};
CommandHead EncodeCommandHead(DmpCommandCode code, int32_t sequence, int64_t value,
                              uint32_t extraLength);
// The whole record: head, then the length and extra unless extra is empty.
std::string EncodeCommand(DmpCommandCode code, int32_t sequence, int64_t value,
                          std::string_view extra = {});

enum class StatusKeyword { Seek, Time, Volume, State, Version, MacAddress };

// Nothing for four bytes outside the keyword table.
std::optional<StatusKeyword> DecodeKeyword(const uint8_t* bytes);
// The four characters of the keyword.
std::string_view KeywordText(StatusKeyword keyword);

struct StatusRecord {
    StatusKeyword keyword = StatusKeyword::Time;
    int32_t sequence = 0;
    // The 8 value bytes as one number; the readings below take it apart.
    uint64_t value = 0;
    bool operator==(const StatusRecord&) const = default;
};
// body: the kStatusBodyBytes after the keyword.
StatusRecord DecodeStatusBody(StatusKeyword keyword, const uint8_t* body);
std::array<uint8_t, kStatusRecordBytes> EncodeStatus(const StatusRecord& record);

struct TimeValue {
    int32_t totalDuration = 0;
    int32_t currentPosition = 0;
    bool operator==(const TimeValue&) const = default;
};
TimeValue DecodeTime(uint64_t value);
uint64_t EncodeTime(const TimeValue& time);

struct VolumeValue {
    int32_t maxVolume = 0;
    // Bit 31 is set while muted; bits 16-23 are always clear.
    int32_t volume = 0;
    int32_t repeatStatus = 0; // 0 to 255
    bool operator==(const VolumeValue&) const = default;
};
VolumeValue DecodeVolume(uint64_t value);
uint64_t EncodeVolume(const VolumeValue& volume);

enum class PlayState { Stop, Play, Pend, Resume, Done, Other };
struct StateValue {
    PlayState state = PlayState::Other;
    int32_t argument = 0;
    bool operator==(const StateValue&) const = default;
};
StateValue DecodeState(uint64_t value);
// A state other than Other; four spaces stand for Other.
uint64_t EncodeState(const StateValue& state);

struct BoxVersion {
    int32_t major = 0; // 0 to 0xFFFF
    int32_t minor = 0; // 0 to 0xFFFF
    int32_t build = 0;
    bool operator==(const BoxVersion&) const = default;
};
BoxVersion DecodeVersion(uint64_t value);
uint64_t EncodeVersion(const BoxVersion& version);

} // namespace dmpwire
