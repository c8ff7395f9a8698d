#include "BoxAddressText.h"

#include <arpa/inet.h>

#include <algorithm>
#include <cctype>

namespace {

constexpr size_t kMaxHostLength = 253;
constexpr size_t kMaxLabelLength = 63;
constexpr size_t kMaxPortDigits = 5;

bool isDigit(char c) {
    return std::isdigit(static_cast<unsigned char>(c)) != 0;
}

bool isLabel(std::string_view label) {
    if (label.empty() || label.size() > kMaxLabelLength || label.front() == '-' ||
        label.back() == '-')
        return false;
    return std::ranges::all_of(
        label, [](char c) { return std::isalnum(static_cast<unsigned char>(c)) != 0 || c == '-'; });
}

bool isHostName(std::string_view host) {
    if (host.empty() || host.size() > kMaxHostLength)
        return false;
    // A name of digits and dots alone would be read as an address.
    if (std::ranges::all_of(host, [](char c) { return isDigit(c) || c == '.'; }))
        return false;
    for (size_t start = 0;;) {
        const size_t dot = host.find('.', start);
        if (!isLabel(host.substr(start, dot - start)))
            return false;
        if (dot == std::string_view::npos)
            return true;
        start = dot + 1;
    }
}

std::string_view trimmed(std::string_view text) {
    const auto isSpace = [](char c) { return std::isspace(static_cast<unsigned char>(c)) != 0; };
    while (!text.empty() && isSpace(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && isSpace(text.back()))
        text.remove_suffix(1);
    return text;
}

} // namespace

bool IsIpv4Address(const std::string& host) {
    in_addr address{};
    return inet_pton(AF_INET, host.c_str(), &address) == 1;
}

std::optional<HostAndPort> ParseHostAndPort(std::string_view text) {
    text = trimmed(text);
    const size_t colon = text.find(':');
    HostAndPort parsed{std::string(text.substr(0, colon)), kBoxCommandPort};
    if (colon != std::string_view::npos) {
        const std::string_view digits = text.substr(colon + 1);
        if (digits.empty() || digits.size() > kMaxPortDigits ||
            !std::ranges::all_of(digits, isDigit))
            return std::nullopt;
        parsed.port = std::stoi(std::string(digits));
        if (parsed.port < 1 || parsed.port > 65535)
            return std::nullopt;
    }
    if (!IsIpv4Address(parsed.host) && !isHostName(parsed.host))
        return std::nullopt;
    return parsed;
}

std::string HostAndPortText(const std::string& host, int32_t port) {
    return port == kBoxCommandPort ? host : host + ":" + std::to_string(port);
}
