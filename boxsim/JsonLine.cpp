#include "JsonLine.h"

JsonLine& JsonLine::add(std::string_view key, std::string_view value) {
    m_object[std::string(key)] = std::string(value);
    return *this;
}

JsonLine& JsonLine::add(std::string_view key, int64_t value) {
    m_object[std::string(key)] = value;
    return *this;
}

JsonLine& JsonLine::add(std::string_view key, bool value) {
    m_object[std::string(key)] = value;
    return *this;
}

JsonLine& JsonLine::add(std::string_view key, const std::vector<std::string>& values) {
    m_object[std::string(key)] = values;
    return *this;
}

std::string JsonLine::text() const {
    return m_object.dump(-1, ' ', false, nlohmann::ordered_json::error_handler_t::replace);
}
