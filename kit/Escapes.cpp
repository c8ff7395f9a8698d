#include "Escapes.h"

namespace kvu {

std::string Unescape(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\\' || i + 1 == text.size()) {
            out += text[i];
            continue;
        }
        switch (text[++i]) {
        case 's':
            out += ' ';
            break;
        case 'n':
            out += '\n';
            break;
        case 't':
            out += '\t';
            break;
        case 'r':
            out += '\r';
            break;
        case '\\':
            out += '\\';
            break;
        default:
            out += '\\';
            out += text[i];
        }
    }
    return out;
}

namespace {

bool isControlCharacter(unsigned char byte) {
    return byte < 0x20 || byte == 0x7F;
}

} // namespace

std::string MaskControlCharacters(std::string_view text) {
    static constexpr char kHex[] = "0123456789abcdef";
    std::string out;
    out.reserve(text.size());
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (!isControlCharacter(byte)) {
            out += c;
            continue;
        }
        out += "\\x";
        out += kHex[byte >> 4];
        out += kHex[byte & 0xF];
    }
    return out;
}

std::string MaskControlCharacters(std::string_view text, char replacement) {
    std::string out(text);
    for (char& c : out) {
        if (isControlCharacter(static_cast<unsigned char>(c)))
            c = replacement;
    }
    return out;
}

std::wstring MaskDisplayControls(std::wstring_view text, wchar_t replacement) {
    const auto isDisplayControl = [](wchar_t c) {
        return c < 0x20 || (c >= 0x7F && c <= 0x9F) || c == 0x061C || c == 0x200E || c == 0x200F ||
               (c >= 0x2028 && c <= 0x202E) || (c >= 0x2066 && c <= 0x2069);
    };
    std::wstring out(text);
    for (wchar_t& c : out)
        if (isDisplayControl(c))
            c = replacement;
    return out;
}

} // namespace kvu
