#pragma once

#include "DmpWire.h"

#include <cstdint>

// Kinds of the items of a link's command queue.
enum DmpCommandKind : int32_t {
    kKindSeekRequest = 1,
    kKindRead = 2,
    kKindAsyncConnect = 8,
};

// Actions of a kKindRead item, in its value low half.
enum DmpReadAction : int32_t {
    kReadIdle = 0,
    kReadFile = 1,
    kReadClose = 2,
};

// One item of a link's command queue.
struct DMP_COMMAND {
    int32_t kind;
    int32_t sequence;
    int32_t valueLow;  // seek: offset bits 0-31; read: the action
    int32_t valueHigh; // seek: offset bits 32-63; read: the file index

    int64_t Value() const {
        return PackValue(static_cast<uint32_t>(valueLow), static_cast<uint32_t>(valueHigh));
    }
};
