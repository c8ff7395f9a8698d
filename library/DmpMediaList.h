#pragma once

#include <string>
#include <vector>

// The opaque media list of the C interface: full paths in play order.
struct DmpMediaList {
    std::vector<std::wstring> entries;
};
