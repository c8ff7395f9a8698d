#pragma once

#include "DmpWire.h"

#include <cstdint>
#include <optional>

class CDmpFileSource;

// All that the two parts of a link that run on its threads may do to it:
// the worker's command processor (the asynchronous connect, file reads and
// seek answers) and the status reader of the data connection. The link
// implements it; the parts reach the link through nothing else, besides the
// command queue and the player state it hands them.
class CDmpLinkServices {
public:
    // For both parts.
    virtual void NotifyStatusChanged() = 0;
    // code: a DMP_ERROR_* code, to every observer.
    virtual void ReportError(int32_t code) = 0;
    virtual DmpMediaType CurrentMediaType() const = 0;

    // For the status reader, on the data connection's reader thread.
    // The rest of the record after keyword, from the data connection;
    // nothing, with DMP_ERROR_STATUS_READ reported, when it does not come
    // whole.
    virtual std::optional<dmpwire::StatusRecord> RecvCmd(dmpwire::StatusKeyword keyword) = 0;
    virtual DmpCommandCode LastCommand() const = 0;
    virtual bool HasOpenFile() const = 0;
    // Whether the Box owes this link status now: a video or audio link that
    // plays, not paused by the Box or the caller, whose last command went
    // out at least the silence limit ago.
    virtual bool IsStatusDue() const = 0;
    // The status stream ended: both sockets close, every object stays, and
    // the observers are told Closed. After it, a failing read is the end
    // this link made, not the Box's.
    virtual void EndStream() = 0;
    virtual bool HasStreamEnded() const = 0;

    // For the command processor, on the worker.
    virtual void ConnectOnWorker() = 0;
    virtual int32_t Sequence() const = 0;
    virtual void SetSequence(int32_t sequence) = 0;
    // An urgent record ("F", "$") on the data connection; a failure is
    // reported to the observers.
    virtual bool SendDataRecord(DmpCommandCode code, int32_t sequence, int64_t value) = 0;
    // File bytes on the data connection, whole; false when they did not go.
    virtual bool SendFileData(const uint8_t* data, int32_t size) = 0;
    virtual bool IsDataConnectionOpen() const = 0;
    // Makes the play-list entry's file the open file. False when it cannot
    // be opened; an empty source is the open file then.
    virtual bool OpenEntry(int32_t index) = 0;
    // The open file, null when none.
    virtual CDmpFileSource* OpenFile() = 0;
    virtual void CloseFile() = 0;

protected:
    // Never deleted through this interface.
    ~CDmpLinkServices() = default;
};
