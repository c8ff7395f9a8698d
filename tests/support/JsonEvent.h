#pragma once

#include <nlohmann/json.hpp>

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// One line of the simulated Box's event log: a flat JSON object whose values
// are strings, integers, booleans or arrays of strings.
class JsonEvent {
public:
    // Nothing when the line is not such an object.
    static std::optional<JsonEvent> parse(std::string_view line);

    bool has(const std::string& name) const { return m_fields.contains(name); }
    // Accessors give an empty/zero value when the field is missing or of
    // another type; has() tells the cases apart.
    std::string str(const std::string& name) const;
    int64_t num(const std::string& name) const;
    bool flag(const std::string& name) const;
    std::vector<std::string> strings(const std::string& name) const;
    const std::string& text() const { return m_text; }

private:
    const nlohmann::json* field(const std::string& name) const;

    nlohmann::json m_fields;
    std::string m_text;
};
