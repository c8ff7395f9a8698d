#pragma once

#include <cstdint>

class CDmpVellumo;

// Told what a box link does. Calls come from whichever thread raised them:
// the caller's, the link's command-queue worker or its status reader.
class CDmpVellumoObserver {
public:
    virtual ~CDmpVellumoObserver() = default;
    virtual void Connected(CDmpVellumo* link) = 0;
    virtual void StatusChanged(CDmpVellumo* link) = 0;
    virtual void Closed(CDmpVellumo* link) = 0;
    // code: one of the DMP_ERROR_* codes of dmp_vellumo.h.
    virtual void ErrorOccurred(CDmpVellumo* link, int32_t code) = 0;
};
