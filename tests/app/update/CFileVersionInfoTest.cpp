#include "update/CFileVersionInfo.h"
#include "ExecutablePath.h"
#include "TempDir.h"
#include "UserLanguage.h"
#include "update/FileUtil.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <vector>

namespace {

std::vector<unsigned char> record(std::span<const VersionRecordEntry> entries) {
    std::vector<unsigned char> bytes;
    EmitVersionRecord(entries, [&](unsigned char byte) { bytes.push_back(byte); });
    return bytes;
}

std::string translations(std::initializer_list<std::uint16_t> languages) {
    std::string table;
    for (std::uint16_t language : languages) {
        const auto entry = EncodeTranslation(language, 0x04B0);
        table.append(entry.data(), entry.size());
    }
    return table;
}

// A record whose ProductVersion in each listed language is "v<LLLL>".
std::vector<unsigned char> recordFor(std::initializer_list<std::uint16_t> languages) {
    const std::string table = translations(languages);
    std::vector<std::string> keys, values;
    for (std::uint16_t language : languages) {
        char key[64], value[16];
        std::snprintf(key, sizeof key, "\\StringFileInfo\\%04X04B0\\ProductVersion", language);
        std::snprintf(value, sizeof value, "v%04X", language);
        keys.emplace_back(key);
        values.emplace_back(value);
    }
    std::vector<VersionRecordEntry> entries{{kTranslationKey, table}};
    for (std::size_t i = 0; i < keys.size(); ++i)
        entries.push_back({keys[i], values[i]});
    return record(entries);
}

std::wstring chosenVersion(std::initializer_list<std::uint16_t> languages,
                           std::uint16_t userLanguage) {
    CFileVersionInfo info;
    if (!info.CreateFromRecord(recordFor(languages), userLanguage))
        return L"<failed>";
    return info.string(VersionString::ProductVersion);
}

} // namespace

TEST(CFileVersionInfo, TranslationChoiceFollowsTheUserLanguageThenNeutralThenEnglish) {
    EXPECT_EQ(chosenVersion({0x0409, 0x0404, 0x0804}, 0x0804), L"v0804") << "exact";
    EXPECT_EQ(chosenVersion({0x0409}, 0x0809), L"v0409") << "UK user, US table";
    EXPECT_EQ(chosenVersion({0x0407, 0x0000, 0x0409}, 0x040C), L"v0000") << "neutral";
    EXPECT_EQ(chosenVersion({0x0407, 0x0809, 0x0411}, 0x040C), L"v0809") << "any English";
    EXPECT_EQ(chosenVersion({0x0407, 0x0411}, 0x040C), L"v0407") << "first";
    EXPECT_EQ(chosenVersion({0x0C04, 0x0404}, 0x0404), L"v0404") << "exact beats low byte";
}

TEST(CFileVersionInfo, RecordWithoutTranslationTableGivesTheFixedRecordOnly) {
    const auto fixed = EncodeFixedFileInfo({.signature = kFixedFileInfoSignature, .fileType = 1});
    const VersionRecordEntry entries[] = {
        {kRootKey, {fixed.data(), fixed.size()}},
        {"\\StringFileInfo\\040904B0\\ProductVersion", "1.0"},
    };
    CFileVersionInfo info;
    ASSERT_TRUE(info.CreateFromRecord(record(entries), 0x0409));
    EXPECT_EQ(info.fixedFileInfo().signature, kFixedFileInfoSignature);
    EXPECT_EQ(info.fixedFileInfo().fileType, 1u);
    EXPECT_TRUE(info.string(VersionString::ProductVersion).empty());
}

// Every cut of a valid record, and a count that claims more entries than there
// are, fails cleanly and leaves the fields empty.
TEST(CFileVersionInfo, TruncatedOrOverclaimingRecordsFail) {
    const std::vector<unsigned char> whole = recordFor({0x0409, 0x0404});
    CFileVersionInfo info;
    ASSERT_TRUE(info.CreateFromRecord(whole, 0x0409));
    for (std::size_t length = 0; length < whole.size(); ++length) {
        ASSERT_FALSE(info.CreateFromRecord(std::span(whole.data(), length), 0x0409)) << length;
        EXPECT_TRUE(info.string(VersionString::ProductVersion).empty());
        EXPECT_EQ(info.translation(), 0u);
    }
    std::vector<unsigned char> overclaim = whole;
    overclaim[8] = 0xFF;
    EXPECT_FALSE(info.CreateFromRecord(overclaim, 0x0409));
}

// The record that the build embeds in every executable linking it, this test
// included, carries the project's version.
TEST(CFileVersionInfo, BuiltExecutableCarriesTheProjectVersion) {
    CFileVersionInfo info;
    ASSERT_TRUE(info.Create(kvu::ExecutablePath(), 0x0409));
    EXPECT_EQ(info.string(VersionString::ProductVersion), VELLUMO_VERSION_W);
    EXPECT_EQ(info.string(VersionString::FileVersion), VELLUMO_VERSION_W);
    EXPECT_EQ(info.string(VersionString::ProductName), L"Vellumo");
    EXPECT_EQ(info.fixedFileInfo().signature, kFixedFileInfoSignature);
    EXPECT_EQ(info.fixedFileInfo().productVersionMS,
              static_cast<std::uint32_t>(VELLUMO_VERSION_MAJOR << 16 | VELLUMO_VERSION_MINOR));
    EXPECT_EQ(ApplicationVersionText(), VELLUMO_VERSION_W);

    CFileVersionInfo traditional;
    ASSERT_TRUE(traditional.Create(kvu::ExecutablePath(), LanguageIdOfLocale("zh_HK.UTF-8")));
    EXPECT_EQ(traditional.translation(), 0x04B00404u) << "Hong Kong falls back by low byte";
    EXPECT_NE(traditional.string(VersionString::FileDescription),
              info.string(VersionString::FileDescription));
}

TEST(CFileVersionInfo, ModuleWithAChosenTranslationTable) {
    CFileVersionInfo info;
    ASSERT_TRUE(info.Create(VERSION_FIXTURE_PATH, LanguageIdOfLocale("en_GB")));
    EXPECT_EQ(info.translation(), 0x04E40409u);
    EXPECT_EQ(info.string(VersionString::ProductVersion), L"9.8.7-fixture");
    EXPECT_EQ(info.string(VersionString::SpecialBuild), L"fixture");
    EXPECT_EQ(info.fixedFileInfo().productVersionLS, 7u << 16);
}

TEST(CFileVersionInfo, FilesWithoutAUsableRecordFail) {
    TempDir dir;
    CFileVersionInfo info;
    EXPECT_FALSE(info.Create(dir.file("missing")));
    EXPECT_FALSE(info.Create(dir.path()));
    WriteTestFile(dir.file("text"), "#!/bin/sh\necho not an ELF file\n");
    EXPECT_FALSE(info.Create(dir.file("text")));
    // This executable cut short: the section table is gone.
    const std::string self = ReadTestFile(kvu::ExecutablePath());
    for (std::size_t length :
         {std::size_t{20}, std::size_t{64}, self.size() / 2, self.size() - 1}) {
        WriteTestFile(dir.file("cut"), self.substr(0, length));
        EXPECT_FALSE(info.Create(dir.file("cut"))) << length;
        EXPECT_TRUE(info.string(VersionString::ProductVersion).empty());
    }
    // A real ELF file without the section.
    EXPECT_FALSE(info.Create("/bin/true"));
}
