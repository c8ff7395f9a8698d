#pragma once

#include "CDmpFileSource.h"
#include "CDmpLinkServices.h"
#include "DmpCommand.h"
#include "tools/CommandProcessor.h"
#include "tools/CommandQueue.h"

#include <array>
#include <atomic>
#include <optional>

// Runs a link's command queue on its worker: the asynchronous connect, seek
// requests and the file reads that stream the PC's files to the Box.
class CDmpCmdProcessor : public kvu::tools::CommandProcessor<DMP_COMMAND> {
public:
    explicit CDmpCmdProcessor(CDmpLinkServices& link) : m_link(link) {}

    // The queue this processor runs on; it posts there to read on. Set
    // before the first item.
    void SetQueue(kvu::tools::CommandQueue<DMP_COMMAND>* queue) { m_queue = queue; }

    bool Execute(DMP_COMMAND item) override;
    bool DoCmdRead(const DMP_COMMAND& item);

    // Play-list index of the file being read, -1 before the first read.
    // Written by the worker, read by the getters.
    int32_t CurrentIndex() const { return m_currentIndex.load(); }

private:
    void seek(const DMP_COMMAND& item);
    void openIndex(int32_t index);
    // False at the end of the source: nothing was sent.
    bool sendChunk();

    CDmpLinkServices& m_link;
    kvu::tools::CommandQueue<DMP_COMMAND>* m_queue = nullptr;
    std::atomic<int32_t> m_currentIndex{-1};
    // A read item that reached the end of its file waits here instead of
    // cycling, until a seek moves the file (a "resu" or "play" posts a read
    // item of its own). Worker only.
    std::optional<DMP_COMMAND> m_parkedRead;
    std::array<uint8_t, kChunkBytes> m_chunk{};
};
