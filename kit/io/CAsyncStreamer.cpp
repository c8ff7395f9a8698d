#include "CAsyncStreamer.h"

#include "DebugPrint.h"

namespace kvu::io {

CAsyncStreamer::CAsyncStreamer(CStreamer* stream, bool ownsStream)
    : m_stream(stream), m_ownsStream(ownsStream) {}

CAsyncStreamer::~CAsyncStreamer() {
    if (m_stream)
        m_stream->Close();
    StopReading();
    m_receiveProcessor.reset();
    if (m_ownsStream)
        delete m_stream;
}

bool CAsyncStreamer::AsyncRead(uint8_t* buffer) {
    std::lock_guard lock(m_loopMutex);
    if (m_isStopped || m_observer == nullptr || buffer == nullptr || m_stream == nullptr ||
        !m_stream->IsOpen())
        return false;
    if (!m_receiveProcessor)
        m_receiveProcessor = std::make_unique<CRecvCmdProcessor>(*this, m_observer);
    if (!m_receiveQueue) {
        m_receiveQueue = std::make_unique<tools::CommandQueue<ASYNC_IO_INFO>>(
            m_receiveProcessor.get(), "kvu-reader");
        m_receiveProcessor->SetQueue(m_receiveQueue.get());
    }
    m_receiveQueue->Post(ASYNC_IO_INFO{buffer, kReadBytes, 0});
    return true;
}

void CAsyncStreamer::StopReading() {
    std::unique_ptr<tools::CommandQueue<ASYNC_IO_INFO>> queue;
    {
        std::lock_guard lock(m_loopMutex);
        m_isStopped = true;
        queue = std::move(m_receiveQueue);
    }
    // Joined without the lock: the loop's observer may call AsyncRead.
    if (queue)
        queue->Stop();
}

bool CAsyncStreamer::CRecvCmdProcessor::Execute(ASYNC_IO_INFO info) {
    CStreamer* stream = m_owner.m_stream;
    int32_t result = kStreamBadArgument;
    if (info.buffer != nullptr && info.length != 0 && stream != nullptr && stream->IsOpen())
        result = stream->Read(info.buffer, info.length, info.flags);
    if (result == kStreamTimedOut && m_observer->ReadTimedOut()) {
        m_queue->Post(info);
        return true;
    }
    m_observer->DataReceived(info.buffer, result, result < 1 ? result : 0);
    if (result > 0)
        m_queue->Post(info);
    else
        DebugPrint("CAsyncStreamer::CRecvCmdProcessor::Execute(0x%zx): Error=%d\n",
                   reinterpret_cast<size_t>(&m_owner), result);
    return true;
}

} // namespace kvu::io
