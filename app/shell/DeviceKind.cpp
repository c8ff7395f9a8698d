#include "DeviceKind.h"

#include <algorithm>
#include <string_view>

namespace {

std::string_view trimmed(std::string_view text) {
    constexpr std::string_view kBlanks = " \t\r\n";
    const size_t first = text.find_first_not_of(kBlanks);
    if (first == std::string_view::npos)
        return {};
    return text.substr(first, text.find_last_not_of(kBlanks) - first + 1);
}

bool offers(const std::vector<std::string>& serviceTypes, const char* base) {
    return std::any_of(serviceTypes.begin(), serviceTypes.end(),
                       [base](const std::string& type) { return IsServiceOfType(type, base); });
}

} // namespace

bool IsServiceOfType(const std::string& serviceType, const std::string& base) {
    const std::string_view type = trimmed(serviceType);
    if (type.size() <= base.size() + 1 || !type.starts_with(base) || type[base.size()] != ':')
        return false;
    const std::string_view version = type.substr(base.size() + 1);
    // Digits only, not all zeros; any length, so no number to overflow.
    return std::all_of(version.begin(), version.end(),
                       [](char c) { return c >= '0' && c <= '9'; }) &&
           version.find_first_not_of('0') != std::string_view::npos;
}

DeviceKind KindOfDescription(const std::vector<std::string>& serviceTypes, std::string* reason) {
    const bool hasTransport = offers(serviceTypes, kAVTransportType);
    const bool hasRendering = offers(serviceTypes, kRenderingControlType);
    std::string why;
    DeviceKind kind = DeviceKind::Box;
    if (hasTransport && hasRendering)
        kind = DeviceKind::Renderer;
    else if (hasRendering) {
        kind = DeviceKind::Unusable;
        why = kReasonNoAVTransport;
    } else if (hasTransport) {
        kind = DeviceKind::Unusable;
        why = kReasonNoRenderingControl;
    }
    if (reason != nullptr)
        *reason = std::move(why);
    return kind;
}

const char* DeviceKindName(DeviceKind kind) {
    switch (kind) {
    case DeviceKind::Box:
        return "Box";
    case DeviceKind::Renderer:
        return "Renderer";
    case DeviceKind::Unusable:
        return "Unusable";
    }
    return "Unusable";
}
