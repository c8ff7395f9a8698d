#include "CStreamer.h"

namespace kvu::io {

int32_t CStreamer::Connect(const char* host, int32_t port, int32_t reserved1, int32_t reserved2) {
    if (host == nullptr)
        return kStreamBadArgument;
    m_host = host;
    Close();
    return Open(host, port, reserved1, reserved2);
}

} // namespace kvu::io
