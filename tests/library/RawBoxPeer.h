#pragma once

#include "LoopbackListener.h"
#include "WireBytes.h"

#include <cstdint>
#include <string>
#include <vector>

// A scripted Box on loopback for byte-exact tests of the link: it accepts the
// command and the data connection and lets the test read and write raw bytes.
class RawBoxPeer {
public:
    RawBoxPeer();
    ~RawBoxPeer();

    int Port() const { return m_listener.port(); }
    // Accepts the command connection, then the data connection.
    void AcceptPair();

    // Reads exactly count bytes (fails the test after a generous bound).
    std::string ReadCommand(size_t count);
    std::string ReadData(size_t count);
    // Whatever arrives within a short while; used to prove nothing was sent.
    std::string DrainCommand();
    // Everything the data connection carries until the link closes it.
    std::string ReadAllData();

    // Discards data-connection bytes up to the urgent mark of an "F" or "$"
    // record and returns how many were discarded.
    size_t SkipToUrgentMark();

    void WriteData(const std::string& bytes);
    // A status record: keyword, sequence, 8 value bytes.
    void WriteStatus(const char* keyword, int32_t sequence, uint32_t low, uint32_t high);
    void WriteStatus(const char* keyword, int32_t sequence, const char* state, int32_t argument);

    // Stops reading the data connection with a tiny receive buffer so that
    // the link's writer blocks soon.
    void ShrinkDataReceiveBuffer();
    void CloseData();
    void CloseCommand();
    void CloseAll();

    int CommandSocket() const { return m_command; }
    int DataSocket() const { return m_data; }

private:
    std::string readExactly(int fd, size_t count);

    LoopbackListener m_listener;
    int m_command = -1;
    int m_data = -1;
};
