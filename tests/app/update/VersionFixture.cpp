// A module whose version record has one translation, English (United States),
// for reading a chosen table back from a real ELF file.
#include "update/VersionRecord.h"

namespace {

constexpr auto kFixedBytes = EncodeFixedFileInfo({.signature = kFixedFileInfoSignature,
                                                  .productVersionMS = 9 << 16 | 8,
                                                  .productVersionLS = 7 << 16});
constexpr auto kTranslation = EncodeTranslation(0x0409, 0x04E4);
constexpr VersionRecordEntry kEntries[] = {
    {kRootKey, {kFixedBytes.data(), kFixedBytes.size()}},
    {kTranslationKey, {kTranslation.data(), kTranslation.size()}},
    {"\\StringFileInfo\\040904E4\\ProductVersion", "9.8.7-fixture"},
    {"\\StringFileInfo\\040904E4\\SpecialBuild", "fixture"},
};

} // namespace

__attribute__((section(".vellumo_version"), used, retain)) constexpr auto kFixtureRecord =
    MakeVersionRecord<VersionRecordBytes(kEntries)>(kEntries);
