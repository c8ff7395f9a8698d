#pragma once

#include "io/CDataStreamObserver.h"

// Attached to the command connection, which the library never reads.
class CDmpCmdStreamObserver : public kvu::io::CDataStreamObserver {
public:
    void DataReceived(uint8_t*, int32_t, int32_t) override {}
};
