#include "JsonEvent.h"

#include <algorithm>
#include <limits>

namespace {

bool isInt64(const nlohmann::json& value) {
    return value.is_number_integer() &&
           (!value.is_number_unsigned() ||
            value.get<uint64_t>() <= uint64_t{std::numeric_limits<int64_t>::max()});
}

bool isFlatValue(const nlohmann::json& value) {
    if (value.is_string() || value.is_boolean() || isInt64(value))
        return true;
    return value.is_array() &&
           std::all_of(value.begin(), value.end(),
                       [](const nlohmann::json& item) { return item.is_string(); });
}

} // namespace

std::optional<JsonEvent> JsonEvent::parse(std::string_view line) {
    auto fields = nlohmann::json::parse(line, nullptr, false);
    if (fields.is_discarded() || !fields.is_object())
        return std::nullopt;
    for (const auto& [name, value] : fields.items()) {
        if (!isFlatValue(value))
            return std::nullopt;
    }
    JsonEvent event;
    event.m_fields = std::move(fields);
    event.m_text = std::string(line);
    return event;
}

const nlohmann::json* JsonEvent::field(const std::string& name) const {
    const auto it = m_fields.find(name);
    return it == m_fields.end() ? nullptr : &*it;
}

std::string JsonEvent::str(const std::string& name) const {
    const auto* value = field(name);
    return value != nullptr && value->is_string() ? value->get<std::string>() : std::string();
}

int64_t JsonEvent::num(const std::string& name) const {
    const auto* value = field(name);
    return value != nullptr && value->is_number_integer() ? value->get<int64_t>() : 0;
}

bool JsonEvent::flag(const std::string& name) const {
    const auto* value = field(name);
    return value != nullptr && value->is_boolean() && value->get<bool>();
}

std::vector<std::string> JsonEvent::strings(const std::string& name) const {
    const auto* value = field(name);
    return value != nullptr && value->is_array() ? value->get<std::vector<std::string>>()
                                                 : std::vector<std::string>();
}
