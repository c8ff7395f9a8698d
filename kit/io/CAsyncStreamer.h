#pragma once

#include "CDataStreamObserver.h"
#include "CStreamer.h"
#include "tools/CommandProcessor.h"
#include "tools/CommandQueue.h"

#include <cstdint>
#include <memory>
#include <mutex>

namespace kvu::io {

// One read of the receive loop.
struct ASYNC_IO_INFO {
    uint8_t* buffer;
    int32_t length;
    int32_t flags; // as for CStreamer::Read
};

// Wraps a stream and reads it in a loop on a worker thread of its own,
// handing every read to the observer.
class CAsyncStreamer {
public:
    // Reads are always this long: the status keywords of the Box.
    static constexpr int32_t kReadBytes = 4;

    CAsyncStreamer(CStreamer* stream, bool ownsStream);
    ~CAsyncStreamer();
    CAsyncStreamer(const CAsyncStreamer&) = delete;
    CAsyncStreamer& operator=(const CAsyncStreamer&) = delete;

    CStreamer* Stream() const { return m_stream; }
    // Set before the first AsyncRead; the read loop keeps the observer it
    // started with.
    void SetObserver(CDataStreamObserver* observer) { m_observer = observer; }

    // Starts the read loop, or feeds it one more read, into buffer. Fails
    // without creating anything when there is no observer, no buffer, or the
    // stream is not open.
    bool AsyncRead(uint8_t* buffer);

    // Joins the read loop; the stream must have been closed first, or the loop
    // would wait for the peer. Later AsyncRead calls fail.
    void StopReading();

    class CRecvCmdProcessor : public tools::CommandProcessor<ASYNC_IO_INFO> {
    public:
        CRecvCmdProcessor(CAsyncStreamer& owner, CDataStreamObserver* observer)
            : m_owner(owner), m_observer(observer) {}
        bool Execute(ASYNC_IO_INFO info) override;
        // The queue this processor runs on; it posts there to read on.
        void SetQueue(tools::CommandQueue<ASYNC_IO_INFO>* queue) { m_queue = queue; }

    private:
        CAsyncStreamer& m_owner;
        CDataStreamObserver* m_observer;
        tools::CommandQueue<ASYNC_IO_INFO>* m_queue = nullptr;
    };

private:
    CStreamer* m_stream;
    bool m_ownsStream;
    CDataStreamObserver* m_observer = nullptr;
    // Guards the creation and the end of the read loop: AsyncRead may come
    // from any thread, StopReading from the owner.
    std::mutex m_loopMutex;
    bool m_isStopped = false;
    // The queue goes before its executor: the worker must be joined before
    // the processor it calls is freed.
    std::unique_ptr<CRecvCmdProcessor> m_receiveProcessor;
    std::unique_ptr<tools::CommandQueue<ASYNC_IO_INFO>> m_receiveQueue;
};

} // namespace kvu::io
