#include "CDmpDataStreamObserver.h"

#include "CDmpVellumo.h"
#include "DebugPrint.h"
#include "LittleEndian.h"

#include <cstdint>
#include <cstring>
#include <deque>
#include <iterator>

namespace {

// A Box has a few requests in flight at most; one that floods them while the
// worker is blocked on it must not make the queue grow without bound.
constexpr size_t kMaxQueuedRequests = 256;

int32_t le32(const uint8_t* bytes) {
    return static_cast<int32_t>(kvu::ReadLe32(bytes));
}

bool is(const uint8_t* bytes, const char (&keyword)[5]) {
    return std::memcmp(bytes, keyword, 4) == 0;
}

} // namespace

void CDmpDataStreamObserver::DataReceived(uint8_t* buffer, int32_t length, int32_t error) {
    if (error != 0) {
        DebugPrint("%s:%d, Err(%d), Type(%d,%d)\n", "CDmpStreamObserver", 52, error,
                   m_link->m_lastCommand.load(), m_link->m_currentMediaType.load());
        m_link->closeSockets();
        m_link->notify(CDmpVellumo::Notice::Closed);
        return;
    }
    if (length != 4) {
        DebugPrint("CDmpDataStreamObserver::DataReceived(): Invalid command string!\n");
        return;
    }
    const bool isKnown = is(buffer, "seek") || is(buffer, "time") || is(buffer, "vol ") ||
                         is(buffer, "stat") || is(buffer, "ver ") || is(buffer, "waid");
    // Unknown keywords are skipped without reading on: the next four bytes
    // are taken as the next keyword.
    if (!isKnown)
        return;
    int32_t sequence = 0;
    uint8_t value[8];
    if (!m_link->RecvCmd(sequence, value))
        return;

    if (is(buffer, "seek")) {
        post(DMP_COMMAND{kKindSeekRequest, sequence, le32(value), le32(value + 4)});
    } else if (is(buffer, "time")) {
        m_link->m_totalDuration = le32(value);
        m_link->m_currentPosition = le32(value + 4);
        m_link->notify(CDmpVellumo::Notice::StatusChanged);
    } else if (is(buffer, "vol ")) {
        const int32_t volumeWord = le32(value + 4);
        m_link->m_maxVolume = le32(value);
        m_link->m_volume = volumeWord & ~0x00FF0000;
        m_link->m_repeatStatus = (volumeWord >> 16) & 0xFF;
        m_link->notify(CDmpVellumo::Notice::StatusChanged);
    } else if (is(buffer, "ver ")) {
        m_link->m_boxVersion = kvu::ReadLe64(value);
    } else if (is(buffer, "waid")) {
        m_link->m_macAddress = kvu::ReadLe64(value);
    } else {
        applyStatus(value);
    }
}

void CDmpDataStreamObserver::applyStatus(const uint8_t* value) {
    const int32_t argument = le32(value + 4);
    if (is(value, "stop")) {
        m_isPaused = false;
        post(DMP_COMMAND{kKindRead, -1, kReadClose, -1});
        waitForEmptyCommandQueue();
    } else if (is(value, "play")) {
        post(DMP_COMMAND{kKindRead, -1, kReadFile, argument});
        m_isPaused = false;
    } else if (is(value, "pend")) {
        post(DMP_COMMAND{kKindRead, -1, kReadIdle, -1});
        m_isPaused = true;
        m_link->notify(CDmpVellumo::Notice::StatusChanged);
    } else if (is(value, "resu")) {
        if (m_link->m_hasOpenFile.load())
            post(DMP_COMMAND{kKindRead, -1, kReadFile, argument});
        m_isPaused = false;
        m_link->notify(CDmpVellumo::Notice::StatusChanged);
    } else if (is(value, "done")) {
        m_link->closeSockets();
        m_link->notify(CDmpVellumo::Notice::Closed);
    }
}

void CDmpDataStreamObserver::post(const DMP_COMMAND& request) {
    using Items = std::deque<DMP_COMMAND>::iterator;
    const bool isClose = request.kind == kKindRead && request.valueLow == kReadClose;
    const bool isSeek = request.kind == kKindSeekRequest;
    // Closes and seeks are never dropped: a dropped close would leave the
    // read items cycling and this reader waiting for an empty queue for ever.
    // A seek replaces one still waiting at the end: only the last position
    // counts, and a flood stays bounded.
    const auto merge = [&](const Items& first, const Items& last) {
        if (isClose)
            return false;
        if (isSeek) {
            if (std::prev(last)->kind != kKindSeekRequest)
                return false;
            *std::prev(last) = request;
            return true;
        }
        // A request to read the file whose read item waits, with no close
        // after it, adds nothing.
        for (Items item = last; item != first;) {
            --item;
            if (item->kind == kKindRead && item->valueLow == kReadClose)
                return false;
            if (item->kind == kKindRead && item->valueLow == kReadFile)
                return request.valueLow == kReadFile && item->valueHigh == request.valueHigh;
        }
        return false;
    };
    const size_t limit = isClose || isSeek ? SIZE_MAX : kMaxQueuedRequests;
    if (!m_link->m_commandQueue->PostOrMerge(request, limit, merge))
        DebugPrint("CDmpDataStreamObserver::DataReceived(): request %d dropped, %zu queued\n",
                   request.kind, kMaxQueuedRequests);
}

// The Box asks for the next file only after the current one was closed. The
// wait wakes when the worker empties the queue; a link torn down meanwhile
// stops the queue, which ends it too.
void CDmpDataStreamObserver::waitForEmptyCommandQueue() {
    m_link->m_commandQueue->WaitUntilEmpty();
}
