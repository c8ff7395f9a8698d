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

} // namespace kvu
