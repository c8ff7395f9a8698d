#include "CFileVersionInfo.h"

#include "DebugPrint.h"
#include "ElfSection.h"
#include "ExecutablePath.h"
#include "FileUtil.h"
#include "Unicode.h"

#include <cstdio>
#include <optional>
#include <vector>

namespace {

constexpr std::string_view kStringNames[kVersionStringCount] = {
    "CompanyName",    "FileDescription",  "FileVersion",  "InternalName",
    "LegalCopyright", "OriginalFileName", "ProductName",  "ProductVersion",
    "Comments",       "LegalTrademarks",  "PrivateBuild", "SpecialBuild",
};

constexpr std::uint16_t kNeutralLanguage = 0;
constexpr std::uint16_t kEnglish = 9;

std::uint16_t languageOf(std::uint32_t translation) {
    return static_cast<std::uint16_t>(translation & 0xFFFF);
}

// The first entry of exactly that language, else the first with its low byte.
std::optional<std::uint32_t> findLanguage(const std::vector<std::uint32_t>& translations,
                                          std::uint16_t language) {
    for (std::uint32_t entry : translations)
        if (languageOf(entry) == language)
            return entry;
    for (std::uint32_t entry : translations)
        if ((languageOf(entry) & 0xFF) == (language & 0xFF))
            return entry;
    return std::nullopt;
}

std::uint32_t chooseTranslation(const std::vector<std::uint32_t>& translations,
                                std::uint16_t userLanguage) {
    for (std::uint16_t language : {userLanguage, kNeutralLanguage, kEnglish})
        if (const auto entry = findLanguage(translations, language))
            return *entry;
    return translations.front();
}

} // namespace

bool CFileVersionInfo::Create(const std::string& path, std::uint16_t userLanguage) {
    Reset();
    const auto record = ReadElfSection(path, kVersionRecordSection);
    if (!record) {
        DebugPrint("CFileVersionInfo::Create(): no version record in %s\n", path.c_str());
        return false;
    }
    return CreateFromRecord(*record, userLanguage);
}

bool CFileVersionInfo::CreateFromRecord(std::span<const unsigned char> record,
                                        std::uint16_t userLanguage) {
    Reset();
    const auto entries = ParseVersionRecord(record);
    if (!entries)
        return false;
    if (const auto root = entries->find(kRootKey);
        root != entries->end() && root->second.size() == kFixedFileInfoBytes)
        m_fixedFileInfo = DecodeFixedFileInfo(root->second);

    std::vector<std::uint32_t> translations;
    if (const auto table = entries->find(kTranslationKey); table != entries->end()) {
        const std::string& bytes = table->second;
        for (std::size_t at = 0; at + 4 <= bytes.size(); at += 4)
            translations.push_back(
                static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[at]) |
                                           static_cast<unsigned char>(bytes[at + 1]) << 8 |
                                           static_cast<unsigned char>(bytes[at + 2]) << 16 |
                                           static_cast<unsigned char>(bytes[at + 3]) << 24));
    }
    if (translations.empty()) {
        // The fixed record still holds; there are just no strings to read.
        DebugPrint("CFileVersionInfo::Create(): the record has no translation table\n");
        return true;
    }
    m_translation = chooseTranslation(translations, userLanguage);
    char prefix[32];
    std::snprintf(prefix, sizeof prefix, "\\StringFileInfo\\%04X%04X\\",
                  static_cast<unsigned>(m_translation & 0xFFFF),
                  static_cast<unsigned>(m_translation >> 16));
    for (std::size_t i = 0; i < kVersionStringCount; ++i) {
        const auto value = entries->find(std::string(prefix) + std::string(kStringNames[i]));
        if (value != entries->end())
            m_strings[i] = kvu::FromUtf8(value->second);
    }
    return true;
}

void CFileVersionInfo::Reset() {
    m_fixedFileInfo = FixedFileInfo{};
    m_strings = {};
    m_translation = 0;
}

std::wstring ApplicationVersionText() {
    CFileVersionInfo info;
    if (!info.Create(kvu::ExecutablePath()))
        return {};
    return info.string(VersionString::ProductVersion);
}
