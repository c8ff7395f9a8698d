#pragma once

#include <cstdint>
#include <string_view>

// Numeric language identifiers as version records use them: the primary
// language in the low 10 bits (English 0x09, Chinese 0x04), the region above
// (0x0409 English (United States), 0x0809 English (United Kingdom), 0x0404
// Chinese (Taiwan), 0x0804 Chinese (PRC)).

// The identifier of a POSIX locale name such as "en_GB.UTF-8" or "zh_TW";
// 0 for "C", "POSIX" and languages not known here.
std::uint16_t LanguageIdOfLocale(std::string_view localeName);

// The locale of messages: LC_ALL, LC_MESSAGES or LANG, the first one set;
// empty when none is. Valid until the environment changes.
std::string_view UserMessageLocale();

// The identifier of UserMessageLocale().
std::uint16_t UserLanguageId();
