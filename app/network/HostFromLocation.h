#pragma once

#include <string>
#include <string_view>

// The host part of a device's location URL: the text after the first "://"
// (from the start when there is none) up to the first ":" or "/" after it, or
// the end. A ":" inside the path does not stretch the host over the path.
std::string HostFromLocation(std::string_view location);
