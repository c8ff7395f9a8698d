#pragma once

#include <string>

namespace kvu {

// The running executable's full path (from /proc/self/exe); empty when the
// system does not tell, with errno saying why.
std::string ExecutablePath();

} // namespace kvu
