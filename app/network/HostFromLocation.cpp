#include "HostFromLocation.h"

std::string HostFromLocation(std::string_view location) {
    const auto scheme = location.find("://");
    const auto rest = scheme == std::string_view::npos ? location : location.substr(scheme + 3);
    return std::string(rest.substr(0, rest.find_first_of(":/")));
}
