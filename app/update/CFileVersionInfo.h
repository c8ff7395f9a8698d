#pragma once

#include "UserLanguage.h"
#include "VersionRecord.h"

#include <array>
#include <cstdint>
#include <span>
#include <string>

// The twelve strings of a version record, in record order.
enum class VersionString {
    CompanyName,
    FileDescription,
    FileVersion,
    InternalName,
    LegalCopyright,
    OriginalFileName,
    ProductName,
    ProductVersion,
    Comments,
    LegalTrademarks,
    PrivateBuild,
    SpecialBuild,
};
inline constexpr std::size_t kVersionStringCount = 12;

// The version record of one executable file, in the translation that suits
// the user's language best.
class CFileVersionInfo {
public:
    CFileVersionInfo() = default;
    virtual ~CFileVersionInfo() = default;

    // Reads the record that the file at path carries. False when the file has
    // none or it is damaged; the fields are then empty.
    bool Create(const std::string& path, std::uint16_t userLanguage = UserLanguageId());
    // The same from a record's bytes.
    bool CreateFromRecord(std::span<const unsigned char> record, std::uint16_t userLanguage);
    virtual void Reset();

    const FixedFileInfo& fixedFileInfo() const { return m_fixedFileInfo; }
    const std::wstring& string(VersionString which) const {
        return m_strings[static_cast<std::size_t>(which)];
    }
    // The translation whose strings were read: language | code page << 16.
    std::uint32_t translation() const { return m_translation; }

private:
    FixedFileInfo m_fixedFileInfo;
    std::array<std::wstring, kVersionStringCount> m_strings;
    std::uint32_t m_translation = 0;
};

// The ProductVersion of the running executable: the application's version
// text. Empty when the executable carries no record.
std::wstring ApplicationVersionText();
