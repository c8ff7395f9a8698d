#pragma once

#include <nlohmann/json.hpp>

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// Builds one flat JSON object, field by field and in that order, for the
// event log.
class JsonLine {
public:
    explicit JsonLine(std::string_view event) { add("event", event); }

    JsonLine& add(std::string_view key, std::string_view value);
    JsonLine& add(std::string_view key, const char* value) {
        return add(key, std::string_view(value));
    }
    JsonLine& add(std::string_view key, int64_t value);
    JsonLine& add(std::string_view key, int32_t value) { return add(key, int64_t{value}); }
    JsonLine& add(std::string_view key, uint32_t value) { return add(key, int64_t{value}); }
    JsonLine& add(std::string_view key, bool value);
    JsonLine& add(std::string_view key, const std::vector<std::string>& values);

    // The object without a line break. Bytes that are not valid UTF-8 become
    // U+FFFD so that the log stays valid JSON whatever the peer sent.
    std::string text() const;

private:
    nlohmann::ordered_json m_object = nlohmann::ordered_json::object();
};
