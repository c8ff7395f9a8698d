#pragma once

#include "CDmpFileSource.h"
#include "DmpCommand.h"
#include "tools/CommandProcessor.h"

#include <array>
#include <atomic>
#include <optional>

class CDmpVellumo;

// Runs a link's command queue on its worker: the asynchronous connect, seek
// requests and the file reads that stream the PC's files to the Box.
class CDmpCmdProcessor : public kvu::tools::CommandProcessor<DMP_COMMAND> {
public:
    explicit CDmpCmdProcessor(CDmpVellumo* link) : m_link(link) {}

    bool Execute(DMP_COMMAND item) override;
    bool DoCmdRead(const DMP_COMMAND& item);

    // Play-list index of the file being read, -1 before the first read.
    // Written by the worker, read by the getters.
    int32_t CurrentIndex() const { return m_currentIndex.load(); }

private:
    void seek(const DMP_COMMAND& item);
    bool openIndex(int32_t index);
    // False at the end of the source: nothing was sent.
    bool sendChunk();

    CDmpVellumo* m_link;
    std::atomic<int32_t> m_currentIndex{-1};
    // A read item that reached the end of its file waits here instead of
    // cycling, until a seek moves the file (a "resu" or "play" posts a read
    // item of its own). Worker only.
    std::optional<DMP_COMMAND> m_parkedRead;
    std::array<uint8_t, kChunkBytes> m_chunk{};
};
