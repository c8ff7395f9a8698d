#pragma once

#include <string>

// Text from the network made safe for one output line: control characters
// could forge or break the lines that scripts read, so they print as '?'.
std::string PrintableText(std::string text);
