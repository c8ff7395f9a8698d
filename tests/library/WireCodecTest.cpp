// The codec alone, without a link: its records against the bytes the link's
// conformance tests pin (WireBytes.h spells them out independently).
#include "DmpWire.h"
#include "WireBytes.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

const uint8_t* bytesOf(const std::string& text) {
    return reinterpret_cast<const uint8_t*>(text.data());
}

std::string textOf(const std::array<uint8_t, dmpwire::kStatusRecordBytes>& bytes) {
    return std::string(reinterpret_cast<const char*>(bytes.data()), bytes.size());
}

// Every code with the byte the Box reads for it; a value whose eight bytes
// all differ shows each field in its place.
TEST(WireCodec, CommandRecordsCarryTheTableByteSequenceAndValueInPlace) {
    const std::vector<std::pair<DmpCommandCode, char>> commands = {
        {kCmdDisconnect, 'D'},     {kCmdPause, 'p'},          {kCmdFileSize, 'F'},
        {kCmdSeekAck, '$'},        {kCmdSeek, 'J'},           {kCmdPlay, 'L'},
        {kCmdNext, 'N'},           {kCmdPrev, 'V'},           {kCmdResume, 'P'},
        {kCmdVolume, 'v'},         {kCmdPlayListNames, 'l'},  {kCmdRepeat, 'r'},
        {kCmdRestart, 's'},        {kCmdUpgrade, 'u'},        {kCmdSwitchToWiDi, 'w'},
        {kCmdMute, 'm'},           {kCmdVersion, 'n'},        {kCmdMacAddress, 'W'},
        {kCmdSwitchToWfdPin, 'T'}, {kCmdSwitchToWfdPbc, 't'},
    };
    const uint64_t value = 0x8877665544332211ull;
    for (const auto& [code, byte] : commands)
        EXPECT_EQ(dmpwire::EncodeCommand(code, -2, static_cast<int64_t>(value)),
                  Record(byte, -2, value))
            << byte;
    // A number outside the table goes out as byte 0.
    EXPECT_EQ(dmpwire::EncodeCommand(DmpCommandCode{99}, 1, 0), Record('\0', 1, 0));
}

TEST(WireCodec, MediaTypesTravelAsTheirBytes) {
    EXPECT_EQ(WireByte(kMediaTypeNone), 0);
    EXPECT_EQ(WireByte(kMediaTypeVideo), 'F');
    EXPECT_EQ(WireByte(kMediaTypeImage), 'I');
    EXPECT_EQ(WireByte(kMediaTypeAudio), 'A');
    EXPECT_EQ(WireByte(kMediaTypeMacQuery), 'g');
    // A device operation's link carries its command's byte as its type.
    EXPECT_EQ(WireByte(TypeOfDevice(kCmdUpgrade)), 'u');
    // "L" for audio with three entries, as the link sends it.
    EXPECT_EQ(dmpwire::EncodeCommand(kCmdPlay, 1, PackValue(WireByte(kMediaTypeAudio), 3)),
              Record('L', 1, (3ull << 32) | 'A'));
}

TEST(WireCodec, ExtraDataFollowsItsLengthOnlyWhenThereIsSome) {
    EXPECT_EQ(dmpwire::EncodeCommand(kCmdPlayListNames, 0, 0, "a\nb\nc\n"),
              Record('l', 0, 0, "a\nb\nc\n"));
    EXPECT_EQ(dmpwire::EncodeCommand(kCmdPlayListNames, 0, 0, "a\nb\nc\n").size(), 13u + 4 + 6);
    // The link writes the head and the extra data apart: the head holds the
    // length field only when a length is given.
    const dmpwire::CommandHead withLength = dmpwire::EncodeCommandHead(kCmdUpgrade, 4, 0, 35);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(withLength.bytes.data()), withLength.size),
              Record('u', 4, 0) + Le32(35));
    EXPECT_EQ(dmpwire::EncodeCommandHead(kCmdPlayListNames, 9, 0, 0).size, 13u);
}

TEST(WireCodec, StatusRecordsDecodeAndEncodeBackToTheSameBytes) {
    const std::vector<std::pair<const char*, dmpwire::StatusKeyword>> keywords = {
        {"seek", dmpwire::StatusKeyword::Seek},    {"time", dmpwire::StatusKeyword::Time},
        {"vol ", dmpwire::StatusKeyword::Volume},  {"stat", dmpwire::StatusKeyword::State},
        {"ver ", dmpwire::StatusKeyword::Version}, {"waid", dmpwire::StatusKeyword::MacAddress},
    };
    for (const auto& [text, keyword] : keywords) {
        const std::string bytes = StatusBytes(text, -41, 0xC3D4E5F6u, 0x8000A1B2u);
        ASSERT_EQ(dmpwire::DecodeKeyword(bytesOf(bytes)), keyword) << text;
        EXPECT_EQ(dmpwire::KeywordText(keyword), text);
        const dmpwire::StatusRecord record =
            dmpwire::DecodeStatusBody(keyword, bytesOf(bytes) + dmpwire::kKeywordBytes);
        EXPECT_EQ(record, (dmpwire::StatusRecord{keyword, -41, 0x8000A1B2C3D4E5F6ull})) << text;
        EXPECT_EQ(textOf(dmpwire::EncodeStatus(record)), bytes) << text;
    }
    // Near misses are not keywords: the reader skips them unread.
    for (const char* text : {"volx", "vol\0", "TIME", "Stat", "zzzz"})
        EXPECT_FALSE(dmpwire::DecodeKeyword(reinterpret_cast<const uint8_t*>(text))) << text;
}

// The readings the link's status tests pin, and back.
TEST(WireCodec, ValuesAreReadByTheirKeyword) {
    const auto valueOf = [](const std::string& record) {
        return dmpwire::DecodeStatusBody(dmpwire::StatusKeyword::Time,
                                         bytesOf(record) + dmpwire::kKeywordBytes)
            .value;
    };
    const uint64_t time = valueOf(StatusBytes("time", 1, 300, 120));
    EXPECT_EQ(dmpwire::DecodeTime(time), (dmpwire::TimeValue{300, 120}));
    EXPECT_EQ(dmpwire::EncodeTime(dmpwire::DecodeTime(time)), time);

    // Volume 50 with repeat 1 in bits 16 to 23; muted, bit 31 stays with the
    // volume.
    const uint64_t volume = valueOf(StatusBytes("vol ", 2, 100, (1u << 16) | 50u));
    EXPECT_EQ(dmpwire::DecodeVolume(volume), (dmpwire::VolumeValue{100, 50, 1}));
    EXPECT_EQ(dmpwire::EncodeVolume(dmpwire::DecodeVolume(volume)), volume);
    const uint64_t muted = valueOf(StatusBytes("vol ", 3, 100, 0x80FF0007u));
    EXPECT_EQ(dmpwire::DecodeVolume(muted),
              (dmpwire::VolumeValue{100, static_cast<int32_t>(0x80000007u), 255}));
    EXPECT_EQ(dmpwire::EncodeVolume(dmpwire::DecodeVolume(muted)), muted);

    const uint64_t play = valueOf(StatusBytes("stat", 1, "play", 3));
    EXPECT_EQ(dmpwire::DecodeState(play), (dmpwire::StateValue{dmpwire::PlayState::Play, 3}));
    EXPECT_EQ(dmpwire::EncodeState(dmpwire::DecodeState(play)), play);
    for (const auto& [text, state] : std::vector<std::pair<const char*, dmpwire::PlayState>>{
             {"stop", dmpwire::PlayState::Stop},
             {"pend", dmpwire::PlayState::Pend},
             {"resu", dmpwire::PlayState::Resume},
             {"done", dmpwire::PlayState::Done},
             {"paus", dmpwire::PlayState::Other}})
        EXPECT_EQ(dmpwire::DecodeState(valueOf(StatusBytes("stat", 1, text, -1))).state, state)
            << text;

    const uint64_t version = valueOf(StatusBytes("ver ", 1, (2u << 16) | 3u, 7u));
    EXPECT_EQ(dmpwire::DecodeVersion(version), (dmpwire::BoxVersion{2, 3, 7}));
    EXPECT_EQ(dmpwire::EncodeVersion(dmpwire::DecodeVersion(version)), version);
}

} // namespace
