#include "JsonEvent.h"

#include <cctype>
#include <cstdlib>

namespace {

class Parser {
public:
    explicit Parser(std::string_view text) : m_text(text) {}

    bool atEnd() {
        skipSpace();
        return m_at == m_text.size();
    }
    bool take(char c) {
        skipSpace();
        if (m_at < m_text.size() && m_text[m_at] == c) {
            ++m_at;
            return true;
        }
        return false;
    }
    bool peek(char c) {
        skipSpace();
        return m_at < m_text.size() && m_text[m_at] == c;
    }
    bool takeWord(std::string_view word) {
        skipSpace();
        if (m_text.substr(m_at, word.size()) != word)
            return false;
        m_at += word.size();
        return true;
    }

    std::optional<std::string> string() {
        if (!take('"'))
            return std::nullopt;
        std::string out;
        while (m_at < m_text.size()) {
            const char c = m_text[m_at++];
            if (c == '"')
                return out;
            if (c != '\\') {
                out.push_back(c);
                continue;
            }
            if (m_at >= m_text.size())
                return std::nullopt;
            const char escaped = m_text[m_at++];
            switch (escaped) {
            case 'n':
                out.push_back('\n');
                break;
            case 'r':
                out.push_back('\r');
                break;
            case 't':
                out.push_back('\t');
                break;
            case 'b':
                out.push_back('\b');
                break;
            case 'f':
                out.push_back('\f');
                break;
            case 'u': {
                if (m_at + 4 > m_text.size())
                    return std::nullopt;
                const std::string hex(m_text.substr(m_at, 4));
                m_at += 4;
                appendUtf8(out, static_cast<uint32_t>(std::strtoul(hex.c_str(), nullptr, 16)));
                break;
            }
            default:
                out.push_back(escaped);
            }
        }
        return std::nullopt;
    }

    std::optional<int64_t> integer() {
        skipSpace();
        const size_t start = m_at;
        if (m_at < m_text.size() && m_text[m_at] == '-')
            ++m_at;
        while (m_at < m_text.size() && std::isdigit(static_cast<unsigned char>(m_text[m_at])))
            ++m_at;
        if (m_at == start || (m_at == start + 1 && m_text[start] == '-'))
            return std::nullopt;
        return std::strtoll(std::string(m_text.substr(start, m_at - start)).c_str(), nullptr, 10);
    }

private:
    void skipSpace() {
        while (m_at < m_text.size() && std::isspace(static_cast<unsigned char>(m_text[m_at])))
            ++m_at;
    }

    // \uXXXX escapes of the log are below U+10000 (the writer escapes only
    // control characters and U+FFFD).
    static void appendUtf8(std::string& out, uint32_t codePoint) {
        if (codePoint < 0x80) {
            out.push_back(static_cast<char>(codePoint));
        } else if (codePoint < 0x800) {
            out.push_back(static_cast<char>(0xC0 | (codePoint >> 6)));
            out.push_back(static_cast<char>(0x80 | (codePoint & 0x3F)));
        } else {
            out.push_back(static_cast<char>(0xE0 | (codePoint >> 12)));
            out.push_back(static_cast<char>(0x80 | ((codePoint >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (codePoint & 0x3F)));
        }
    }

    std::string_view m_text;
    size_t m_at = 0;
};

std::optional<JsonEvent::Value> parseValue(Parser& parser) {
    if (parser.peek('"')) {
        auto text = parser.string();
        if (!text)
            return std::nullopt;
        return JsonEvent::Value(std::move(*text));
    }
    if (parser.takeWord("true"))
        return JsonEvent::Value(true);
    if (parser.takeWord("false"))
        return JsonEvent::Value(false);
    if (parser.take('[')) {
        std::vector<std::string> items;
        if (parser.take(']'))
            return JsonEvent::Value(std::move(items));
        do {
            auto item = parser.string();
            if (!item)
                return std::nullopt;
            items.push_back(std::move(*item));
        } while (parser.take(','));
        if (!parser.take(']'))
            return std::nullopt;
        return JsonEvent::Value(std::move(items));
    }
    const auto number = parser.integer();
    if (!number)
        return std::nullopt;
    return JsonEvent::Value(*number);
}

} // namespace

std::optional<JsonEvent> JsonEvent::parse(std::string_view line) {
    Parser parser(line);
    JsonEvent event;
    event.m_text = std::string(line);
    if (!parser.take('{'))
        return std::nullopt;
    if (!parser.take('}')) {
        do {
            auto name = parser.string();
            if (!name || !parser.take(':'))
                return std::nullopt;
            auto value = parseValue(parser);
            if (!value)
                return std::nullopt;
            event.m_fields[*name] = std::move(*value);
        } while (parser.take(','));
        if (!parser.take('}'))
            return std::nullopt;
    }
    if (!parser.atEnd())
        return std::nullopt;
    return event;
}

std::string JsonEvent::str(const std::string& name) const {
    const auto it = m_fields.find(name);
    if (it == m_fields.end() || !std::holds_alternative<std::string>(it->second))
        return {};
    return std::get<std::string>(it->second);
}

int64_t JsonEvent::num(const std::string& name) const {
    const auto it = m_fields.find(name);
    if (it == m_fields.end() || !std::holds_alternative<int64_t>(it->second))
        return 0;
    return std::get<int64_t>(it->second);
}

bool JsonEvent::flag(const std::string& name) const {
    const auto it = m_fields.find(name);
    return it != m_fields.end() && std::holds_alternative<bool>(it->second) &&
           std::get<bool>(it->second);
}

std::vector<std::string> JsonEvent::strings(const std::string& name) const {
    const auto it = m_fields.find(name);
    if (it == m_fields.end() || !std::holds_alternative<std::vector<std::string>>(it->second))
        return {};
    return std::get<std::vector<std::string>>(it->second);
}
