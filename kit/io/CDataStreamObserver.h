#pragma once

#include <cstdint>

namespace kvu::io {

// Receives what a CAsyncStreamer reads.
class CDataStreamObserver {
public:
    virtual ~CDataStreamObserver() = default;
    // error is 0 after a successful read, else the negative read status
    // (and length equals it).
    virtual void DataReceived(uint8_t* buffer, int32_t length, int32_t error) = 0;
    // A read waited the stream's receive time-out for nothing. True: read
    // on; false: the read ends as failed (DataReceived with
    // kStreamTimedOut).
    virtual bool ReadTimedOut() { return false; }
};

} // namespace kvu::io
