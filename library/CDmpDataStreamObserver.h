#pragma once

#include "DmpCommand.h"
#include "io/CDataStreamObserver.h"

#include <atomic>

class CDmpVellumo;

// Parses the Box's status stream on the data connection's reader thread and
// keeps the link's player state.
class CDmpDataStreamObserver : public kvu::io::CDataStreamObserver {
public:
    explicit CDmpDataStreamObserver(CDmpVellumo* link) : m_link(link) {}

    void DataReceived(uint8_t* buffer, int32_t length, int32_t error) override;

    // Read by the getters on the caller's thread.
    bool IsPaused() const { return m_isPaused.load(); }

private:
    void applyStatus(const uint8_t* value);
    // Posts a request of the Box to the link's command queue.
    void post(const DMP_COMMAND& request);
    void waitForEmptyCommandQueue();

    CDmpVellumo* m_link;
    std::atomic<bool> m_isPaused{false};
};
