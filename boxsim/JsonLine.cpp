#include "JsonLine.h"

#include <cstdio>

namespace {

// Length of the valid UTF-8 sequence at text[i], 0 when invalid.
size_t utf8SequenceLength(std::string_view text, size_t i) {
    const auto lead = static_cast<unsigned char>(text[i]);
    size_t length = 0;
    uint32_t codePoint = 0;
    if (lead < 0x80)
        return 1;
    if ((lead & 0xE0) == 0xC0) {
        length = 2;
        codePoint = lead & 0x1F;
    } else if ((lead & 0xF0) == 0xE0) {
        length = 3;
        codePoint = lead & 0x0F;
    } else if ((lead & 0xF8) == 0xF0) {
        length = 4;
        codePoint = lead & 0x07;
    } else {
        return 0;
    }
    if (i + length > text.size())
        return 0;
    for (size_t k = 1; k < length; ++k) {
        const auto next = static_cast<unsigned char>(text[i + k]);
        if ((next & 0xC0) != 0x80)
            return 0;
        codePoint = (codePoint << 6) | (next & 0x3F);
    }
    static const uint32_t kSmallest[] = {0, 0, 0x80, 0x800, 0x10000};
    if (codePoint < kSmallest[length] || codePoint > 0x10FFFF ||
        (codePoint >= 0xD800 && codePoint <= 0xDFFF))
        return 0;
    return length;
}

} // namespace

std::string JsonLine::quote(std::string_view text) {
    std::string out = "\"";
    for (size_t i = 0; i < text.size();) {
        const auto c = static_cast<unsigned char>(text[i]);
        const size_t length = utf8SequenceLength(text, i);
        if (length == 0) {
            out += "\\ufffd";
            ++i;
            continue;
        }
        if (length > 1) {
            out.append(text.substr(i, length));
            i += length;
            continue;
        }
        ++i;
        switch (c) {
        case '"':
            out += "\\\"";
            break;
        case '\\':
            out += "\\\\";
            break;
        case '\n':
            out += "\\n";
            break;
        case '\r':
            out += "\\r";
            break;
        case '\t':
            out += "\\t";
            break;
        default:
            if (c < 0x20 || c == 0x7F) {
                char escaped[8];
                std::snprintf(escaped, sizeof escaped, "\\u%04x", c);
                out += escaped;
            } else {
                out.push_back(static_cast<char>(c));
            }
        }
    }
    out.push_back('"');
    return out;
}

void JsonLine::key(std::string_view name) {
    if (m_text.size() > 1)
        m_text.push_back(',');
    m_text += quote(name);
    m_text.push_back(':');
}

JsonLine& JsonLine::add(std::string_view name, std::string_view value) {
    key(name);
    m_text += quote(value);
    return *this;
}

JsonLine& JsonLine::add(std::string_view name, int64_t value) {
    key(name);
    m_text += std::to_string(value);
    return *this;
}

JsonLine& JsonLine::add(std::string_view name, bool value) {
    key(name);
    m_text += value ? "true" : "false";
    return *this;
}

JsonLine& JsonLine::add(std::string_view name, const std::vector<std::string>& values) {
    key(name);
    m_text.push_back('[');
    for (size_t i = 0; i < values.size(); ++i) {
        if (i > 0)
            m_text.push_back(',');
        m_text += quote(values[i]);
    }
    m_text.push_back(']');
    return *this;
}
