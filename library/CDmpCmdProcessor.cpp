#include "CDmpCmdProcessor.h"

#include "DebugPrint.h"
#include "dmp_vellumo.h"

bool CDmpCmdProcessor::Execute(DMP_COMMAND item) {
    switch (item.kind) {
    case kKindSeekRequest:
        seek(item);
        break;
    case kKindRead:
        DoCmdRead(item);
        break;
    case kKindAsyncConnect:
        m_link.ConnectOnWorker();
        break;
    default:
        break;
    }
    return true;
}

void CDmpCmdProcessor::seek(const DMP_COMMAND& item) {
    const int64_t offset = item.Value();
    CDmpFileSource* source = m_link.OpenFile();
    if (source != nullptr && source->GetKind() == CDmpFileSource::Kind::LocalFile)
        source->Seek(offset);
    if (m_link.SendDataRecord(kCmdSeekAck, item.sequence, offset))
        m_link.SetSequence(item.sequence);
    // The bytes from the new offset follow the acknowledgement.
    if (m_parkedRead) {
        m_queue->Post(*m_parkedRead);
        m_parkedRead.reset();
    }
}

bool CDmpCmdProcessor::DoCmdRead(const DMP_COMMAND& item) {
    switch (item.valueLow) {
    case kReadIdle:
        return true;
    case kReadClose:
        DebugPrint("CDmpCmdProcessor::DoCmdRead(): File closed.\n");
        m_link.SetSequence(0);
        // Also removes every read item still cycling.
        m_queue->Flush();
        m_parkedRead.reset();
        m_link.CloseFile();
        return true;
    default:
        break;
    }

    m_parkedRead.reset();
    const int32_t index = item.valueHigh;
    if (!m_link.OpenFile() || m_currentIndex.load() != index) {
        // A Box that asks for another index without stopping the first would
        // otherwise leave the old file's read items cycling, and the two
        // files would take turns on the wire.
        if (m_link.OpenFile())
            m_queue->Flush();
        openIndex(index);
    }
    // At the end of the file the item waits for a seek without waking the
    // worker; a Box that closed the data connection reads no more, and the
    // rest of the file is not read for nobody.
    if (!sendChunk())
        m_parkedRead = item;
    else if (m_link.IsDataConnectionOpen())
        m_queue->Post(item);
    return true;
}

void CDmpCmdProcessor::openIndex(int32_t index) {
    m_currentIndex = index;
    // A file that cannot be opened goes to the Box as an empty one, so that
    // the Box moves on to the next entry instead of waiting for it.
    const bool isOpened = m_link.OpenEntry(index);
    m_link.SendDataRecord(kCmdFileSize, m_link.Sequence(),
                          isOpened ? m_link.OpenFile()->Size() : 0);
    // Told once the Box has its empty file.
    if (!isOpened) {
        DebugPrint("CDmpCmdProcessor::DoCmdRead(): ?????? Fail to open file.\n");
        m_link.ReportError(DMP_ERROR_FILE_OPEN);
    }
    // A new picture is being shown.
    if (m_link.CurrentMediaType() == kMediaTypeImage)
        m_link.NotifyStatusChanged();
}

bool CDmpCmdProcessor::sendChunk() {
    const int32_t count = m_link.OpenFile()->Read(m_chunk.data(), kChunkBytes);
    if (count < 1)
        return false;
    m_link.SendFileData(m_chunk.data(), count);
    return true;
}
