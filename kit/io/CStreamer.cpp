#include "CStreamer.h"

#include "SendAll.h"

#include <algorithm>
#include <climits>

namespace kvu::io {

int32_t CStreamer::Connect(const char* host, int32_t port) {
    if (host == nullptr)
        return kStreamBadArgument;
    m_host = host;
    Close();
    return Open(host, port);
}

bool CStreamer::WriteAll(const void* data, size_t size, int32_t flags) {
    return WriteFully(
        [this, flags](const uint8_t* next, size_t count) {
            return Write(next, static_cast<int32_t>(std::min<size_t>(count, INT32_MAX)), flags);
        },
        data, size);
}

} // namespace kvu::io
