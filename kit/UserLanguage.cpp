#include "UserLanguage.h"

#include <cstdlib>

namespace {

struct PrimaryLanguage {
    std::string_view code;
    std::uint16_t id;
};

// Primary language identifiers of the languages a user is likely to run.
constexpr PrimaryLanguage kPrimaryLanguages[] = {
    {"ar", 0x01}, {"zh", 0x04}, {"cs", 0x05}, {"da", 0x06}, {"de", 0x07}, {"el", 0x08},
    {"en", 0x09}, {"es", 0x0A}, {"fi", 0x0B}, {"fr", 0x0C}, {"he", 0x0D}, {"hu", 0x0E},
    {"it", 0x10}, {"ja", 0x11}, {"ko", 0x12}, {"nl", 0x13}, {"nb", 0x14}, {"pl", 0x15},
    {"pt", 0x16}, {"ru", 0x19}, {"sv", 0x1D}, {"th", 0x1E}, {"tr", 0x1F}, {"vi", 0x2A},
};

struct Sublanguage {
    std::string_view locale;
    std::uint16_t id;
};

// Regions whose identifier is not sublanguage 1.
constexpr Sublanguage kSublanguages[] = {
    {"en_GB", 0x0809}, {"en_AU", 0x0C09}, {"en_CA", 0x1009}, {"en_NZ", 0x1409},
    {"en_IE", 0x1809}, {"zh_CN", 0x0804}, {"zh_HK", 0x0C04}, {"zh_SG", 0x1004},
    {"zh_MO", 0x1404}, {"de_AT", 0x0C07}, {"de_CH", 0x0807}, {"fr_BE", 0x080C},
    {"fr_CA", 0x0C0C}, {"fr_CH", 0x100C}, {"es_MX", 0x080A}, {"pt_PT", 0x0816},
};

constexpr std::uint16_t kDefaultSublanguage = 0x0400;

} // namespace

std::uint16_t LanguageIdOfLocale(std::string_view localeName) {
    const std::string_view name = localeName.substr(0, localeName.find_first_of(".@"));
    for (const Sublanguage& entry : kSublanguages)
        if (name == entry.locale)
            return entry.id;
    const std::string_view code = name.substr(0, name.find('_'));
    for (const PrimaryLanguage& entry : kPrimaryLanguages)
        if (code == entry.code)
            return kDefaultSublanguage | entry.id;
    return 0;
}

std::string_view UserMessageLocale() {
    for (const char* variable : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
        const char* value = std::getenv(variable);
        if (value != nullptr && value[0] != '\0')
            return value;
    }
    return {};
}

std::uint16_t UserLanguageId() {
    return LanguageIdOfLocale(UserMessageLocale());
}
