#pragma once

#include "CDmpLinkServices.h"
#include "CDmpPlayerState.h"
#include "DmpCommand.h"
#include "io/CDataStreamObserver.h"
#include "tools/CommandQueue.h"

// Parses the Box's status stream on the data connection's reader thread,
// keeps the link's player state and posts the Box's file requests to the
// link's command queue.
class CDmpDataStreamObserver : public kvu::io::CDataStreamObserver {
public:
    CDmpDataStreamObserver(CDmpLinkServices& link, CDmpPlayerState& state,
                           kvu::tools::CommandQueue<DMP_COMMAND>& queue)
        : m_link(link), m_state(state), m_queue(queue) {}

    void DataReceived(uint8_t* buffer, int32_t length, int32_t error) override;
    // The Box has been silent for the receive time-out: read on unless it
    // owes a status now, in which case it is lost.
    bool ReadTimedOut() override;

private:
    void apply(const dmpwire::StatusRecord& record);
    void applyState(const dmpwire::StateValue& state);
    // Posts a request of the Box to the link's command queue.
    void post(const DMP_COMMAND& request);

    CDmpLinkServices& m_link;
    CDmpPlayerState& m_state;
    kvu::tools::CommandQueue<DMP_COMMAND>& m_queue;
};
