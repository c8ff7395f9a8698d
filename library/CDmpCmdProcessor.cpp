#include "CDmpCmdProcessor.h"

#include "CDmpVellumo.h"
#include "DebugPrint.h"
#include "io/CStreamer.h"

bool CDmpCmdProcessor::Execute(DMP_COMMAND item) {
    switch (item.kind) {
    case kKindSeekRequest:
        seek(item);
        break;
    case kKindRead:
        DoCmdRead(item);
        break;
    case kKindAsyncConnect:
        m_link->asyncConnect();
        break;
    default:
        break;
    }
    return true;
}

void CDmpCmdProcessor::seek(const DMP_COMMAND& item) {
    const int64_t offset = item.Value();
    CDmpFileSource* source = m_link->m_openFile.get();
    if (source != nullptr && source->GetKind() == CDmpFileSource::Kind::LocalFile)
        source->Seek(offset);
    if (m_link->SendCmd(false, kCmdSeekAck, item.sequence, offset, true, nullptr, 0))
        m_link->m_sequence = item.sequence;
    // The bytes from the new offset follow the acknowledgement.
    if (m_parkedRead) {
        m_link->m_commandQueue->Post(*m_parkedRead);
        m_parkedRead.reset();
    }
}

bool CDmpCmdProcessor::DoCmdRead(const DMP_COMMAND& item) {
    switch (item.valueLow) {
    case kReadIdle:
        return true;
    case kReadClose:
        DebugPrint("CDmpCmdProcessor::DoCmdRead(): File closed.\n");
        m_link->m_sequence = 0;
        // Also removes every read item still cycling.
        m_link->m_commandQueue->Flush();
        m_parkedRead.reset();
        m_link->setOpenFile(nullptr);
        m_link->m_hasOpenFile = false;
        return true;
    default:
        break;
    }

    m_parkedRead.reset();
    const int32_t index = item.valueHigh;
    if (!m_link->m_openFile || m_currentIndex.load() != index) {
        // A Box that asks for another index without stopping the first would
        // otherwise leave the old file's read items cycling, and the two
        // files would take turns on the wire.
        if (m_link->m_openFile)
            m_link->m_commandQueue->Flush();
        if (!openIndex(index))
            return false;
    }
    // At the end of the file the item waits for a seek without waking the
    // worker; a Box that closed the data connection reads no more, and the
    // rest of the file is not read for nobody.
    if (!sendChunk())
        m_parkedRead = item;
    else if (m_link->m_dataStream->Stream()->IsOpen())
        m_link->m_commandQueue->Post(item);
    return true;
}

bool CDmpCmdProcessor::openIndex(int32_t index) {
    m_currentIndex = index;
    const std::wstring path = m_link->PlayListEntry(index);
    if (!m_link->OpenLocalFile(path)) {
        DebugPrint("CDmpCmdProcessor::DoCmdRead(): ?????? Fail to open file.\n");
        m_link->notifyError(kLinkErrorFileOpen);
        return false;
    }
    m_link->SendCmd(false, kCmdFileSize, m_link->m_sequence.load(), m_link->m_openFile->Size(),
                    true, nullptr, 0);
    // A new picture is being shown.
    if (m_link->m_lastCommand.load() == kMediaTypeImage ||
        m_link->m_currentMediaType.load() == kMediaTypeImage)
        m_link->notify(CDmpVellumo::Notice::StatusChanged);
    return true;
}

bool CDmpCmdProcessor::sendChunk() {
    const int32_t count = m_link->m_openFile->Read(m_chunk.data(), kChunkBytes);
    if (count < 1)
        return false;
    if (m_link->m_dataStream->Stream()->IsOpen())
        m_link->writeAll(m_chunk.data(), count);
    return true;
}
