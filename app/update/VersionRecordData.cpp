// The version record of the vellumo executable. The VELLUMO_VERSION macros
// come from the project's version in the build.
#include "VersionRecord.h"

namespace {

constexpr std::uint32_t kMajor = VELLUMO_VERSION_MAJOR;
constexpr std::uint32_t kMinor = VELLUMO_VERSION_MINOR;
constexpr std::uint32_t kPatch = VELLUMO_VERSION_PATCH;
constexpr std::uint32_t kTweak = VELLUMO_VERSION_TWEAK;

constexpr FixedFileInfo kFixed{
    .signature = kFixedFileInfoSignature,
    .structVersion = 0x00010000,
    .fileVersionMS = kMajor << 16 | kMinor,
    .fileVersionLS = kPatch << 16 | kTweak,
    .productVersionMS = kMajor << 16 | kMinor,
    .productVersionLS = kPatch << 16 | kTweak,
    .fileFlagsMask = 0x3F,
    .fileType = 1, // an application
};
constexpr auto kFixedBytes = EncodeFixedFileInfo(kFixed);

// English (United States), Chinese (Taiwan), Chinese (PRC), all Unicode.
constexpr auto kEnglish = EncodeTranslation(0x0409, 0x04B0);
constexpr auto kTraditional = EncodeTranslation(0x0404, 0x04B0);
constexpr auto kSimplified = EncodeTranslation(0x0804, 0x04B0);
constexpr char kTranslations[] = {kEnglish[0],     kEnglish[1],     kEnglish[2],
                                  kEnglish[3],     kTraditional[0], kTraditional[1],
                                  kTraditional[2], kTraditional[3], kSimplified[0],
                                  kSimplified[1],  kSimplified[2],  kSimplified[3]};

#define VELLUMO_VERSION_STRINGS(table, description)                                                \
    {"\\StringFileInfo\\" table "\\CompanyName", "Vellumo"},                                       \
        {"\\StringFileInfo\\" table "\\FileDescription", description},                             \
        {"\\StringFileInfo\\" table "\\FileVersion", VELLUMO_VERSION},                             \
        {"\\StringFileInfo\\" table "\\InternalName", "vellumo"},                                  \
        {"\\StringFileInfo\\" table "\\OriginalFileName", "vellumo"},                              \
        {"\\StringFileInfo\\" table "\\ProductName", "Vellumo"}, {                                 \
        "\\StringFileInfo\\" table "\\ProductVersion", VELLUMO_VERSION                             \
    }

constexpr VersionRecordEntry kEntries[] = {
    {kRootKey, {kFixedBytes.data(), kFixedBytes.size()}},
    {kTranslationKey, {kTranslations, sizeof kTranslations}},
    VELLUMO_VERSION_STRINGS("040904B0", "Plays the PC's media on the Box"),
    VELLUMO_VERSION_STRINGS("040404B0", "在播放盒上播放電腦的媒體"),
    VELLUMO_VERSION_STRINGS("080404B0", "在播放盒上播放电脑的媒体"),
};

} // namespace

// "retain" keeps the record through --gc-sections; nothing refers to it.
__attribute__((section(".vellumo_version"), used, retain)) constexpr auto kVellumoVersionRecord =
    MakeVersionRecord<VersionRecordBytes(kEntries)>(kEntries);
