#pragma once

#include <cstdint>

namespace kvu::io {

// Receives what a CAsyncStreamer reads. Only DataReceived carries meaning in
// this system; the other two hooks exist for streams that report more.
class CDataStreamObserver {
public:
    virtual ~CDataStreamObserver() = default;
    virtual void StatusChanged(int32_t /*status*/) {}
    // error is 0 after a successful read, else the negative read status
    // (and length equals it).
    virtual void DataReceived(uint8_t* buffer, int32_t length, int32_t error) = 0;
    virtual void DataSent(const uint8_t* /*buffer*/, int32_t /*length*/, int32_t /*status*/) {}
};

} // namespace kvu::io
