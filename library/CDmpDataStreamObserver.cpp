#include "CDmpDataStreamObserver.h"

#include "DebugPrint.h"
#include "dmp_vellumo.h"
#include "io/CStreamer.h"

#include <cstdint>
#include <deque>
#include <iterator>

namespace {

// A Box has a few requests in flight at most; one that floods them while the
// worker is blocked on it must not make the queue grow without bound.
constexpr size_t kMaxQueuedRequests = 256;

} // namespace

void CDmpDataStreamObserver::DataReceived(uint8_t* buffer, int32_t length, int32_t error) {
    if (error != 0) {
        DebugPrint("%s:%d, Err(%d), Type(%d,%d)\n", "CDmpStreamObserver", 52, error,
                   static_cast<int>(m_link.LastCommand()),
                   static_cast<int>(m_link.CurrentMediaType()));
        // The connection ended without "done" (a silence was reported when
        // it was seen).
        if (!m_link.HasStreamEnded() && error != kvu::io::kStreamTimedOut)
            m_link.ReportError(DMP_ERROR_BOX_LOST);
        m_link.EndStream();
        return;
    }
    if (length != static_cast<int32_t>(dmpwire::kKeywordBytes)) {
        DebugPrint("CDmpDataStreamObserver::DataReceived(): Invalid command string!\n");
        return;
    }
    // Unknown keywords are skipped without reading on: the next four bytes
    // are taken as the next keyword.
    const std::optional<dmpwire::StatusKeyword> keyword = dmpwire::DecodeKeyword(buffer);
    if (!keyword)
        return;
    if (const std::optional<dmpwire::StatusRecord> record = m_link.RecvCmd(*keyword))
        apply(*record);
}

bool CDmpDataStreamObserver::ReadTimedOut() {
    if (!m_link.IsStatusDue())
        return true;
    DebugPrint("CDmpDataStreamObserver::ReadTimedOut(): the Box is silent, Type(%d)\n",
               static_cast<int>(m_link.CurrentMediaType()));
    m_link.ReportError(DMP_ERROR_BOX_LOST);
    return false;
}

void CDmpDataStreamObserver::apply(const dmpwire::StatusRecord& record) {
    switch (record.keyword) {
    case dmpwire::StatusKeyword::Seek: {
        const int64_t offset = static_cast<int64_t>(record.value);
        post(DMP_COMMAND{kKindSeekRequest, record.sequence, static_cast<int32_t>(offset),
                         static_cast<int32_t>(offset >> 32)});
        break;
    }
    case dmpwire::StatusKeyword::Time: {
        const dmpwire::TimeValue time = dmpwire::DecodeTime(record.value);
        m_state.totalDuration = time.totalDuration;
        m_state.currentPosition = time.currentPosition;
        m_link.NotifyStatusChanged();
        break;
    }
    case dmpwire::StatusKeyword::Volume: {
        const dmpwire::VolumeValue volume = dmpwire::DecodeVolume(record.value);
        m_state.maxVolume = volume.maxVolume;
        m_state.volume = volume.volume;
        m_state.repeatStatus = volume.repeatStatus;
        m_link.NotifyStatusChanged();
        break;
    }
    case dmpwire::StatusKeyword::Version:
        m_state.boxVersion = record.value;
        break;
    case dmpwire::StatusKeyword::MacAddress:
        m_state.macAddress = record.value;
        break;
    case dmpwire::StatusKeyword::State:
        applyState(dmpwire::DecodeState(record.value));
        break;
    }
}

void CDmpDataStreamObserver::applyState(const dmpwire::StateValue& state) {
    switch (state.state) {
    case dmpwire::PlayState::Stop:
        m_state.isPaused = false;
        post(DMP_COMMAND{kKindRead, -1, kReadClose, -1});
        // The Box asks for the next file only after the current one was
        // closed. The wait wakes when the worker empties the queue; a link
        // torn down meanwhile stops the queue, which ends it too.
        m_queue.WaitUntilEmpty();
        break;
    case dmpwire::PlayState::Play:
        post(DMP_COMMAND{kKindRead, -1, kReadFile, state.argument});
        m_state.isPaused = false;
        break;
    case dmpwire::PlayState::Pend:
        post(DMP_COMMAND{kKindRead, -1, kReadIdle, -1});
        m_state.isPaused = true;
        m_link.NotifyStatusChanged();
        break;
    case dmpwire::PlayState::Resume:
        if (m_link.HasOpenFile())
            post(DMP_COMMAND{kKindRead, -1, kReadFile, state.argument});
        m_state.isPaused = false;
        m_link.NotifyStatusChanged();
        break;
    case dmpwire::PlayState::Done:
        // A negative argument is the Box's failure report (an upgrade it
        // could not complete); a list played to its end gives its count.
        if (state.argument < 0)
            m_link.ReportError(DMP_ERROR_BOX_FAILED);
        m_link.EndStream();
        break;
    case dmpwire::PlayState::Other:
        break;
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
    if (!m_queue.PostOrMerge(request, limit, merge))
        DebugPrint("CDmpDataStreamObserver::DataReceived(): request %d dropped, %zu queued\n",
                   request.kind, kMaxQueuedRequests);
}
