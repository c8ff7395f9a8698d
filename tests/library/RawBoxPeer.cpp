#include "RawBoxPeer.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <cerrno>
#include <netinet/in.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

constexpr int kReadBoundMs = 10000;
constexpr int kDrainMs = 200;

} // namespace

RawBoxPeer::RawBoxPeer() {
    EXPECT_TRUE(m_listener.isListening());
}

RawBoxPeer::~RawBoxPeer() {
    CloseAll();
}

void RawBoxPeer::AcceptPair() {
    m_command = m_listener.accept();
    m_data = m_listener.accept();
    ASSERT_GE(m_command, 0);
    ASSERT_GE(m_data, 0);
    const int on = 1;
    ::setsockopt(m_data, SOL_SOCKET, SO_OOBINLINE, &on, sizeof on);
}

std::string RawBoxPeer::readExactly(int fd, size_t count) {
    std::string out;
    while (out.size() < count) {
        pollfd entry{fd, POLLIN, 0};
        if (::poll(&entry, 1, kReadBoundMs) != 1) {
            ADD_FAILURE() << "peer read timed out after " << out.size() << " of " << count;
            break;
        }
        char buffer[65536];
        const ssize_t got = ::recv(fd, buffer, std::min(sizeof buffer, count - out.size()), 0);
        if (got <= 0) {
            ADD_FAILURE() << "peer connection ended after " << out.size() << " of " << count;
            break;
        }
        out.append(buffer, static_cast<size_t>(got));
    }
    return out;
}

std::string RawBoxPeer::ReadCommand(size_t count) {
    return readExactly(m_command, count);
}

std::string RawBoxPeer::ReadData(size_t count) {
    return readExactly(m_data, count);
}

std::string RawBoxPeer::DrainCommand() {
    std::string out;
    pollfd entry{m_command, POLLIN, 0};
    while (::poll(&entry, 1, kDrainMs) == 1) {
        char buffer[4096];
        const ssize_t got = ::recv(m_command, buffer, sizeof buffer, 0);
        if (got <= 0)
            break;
        out.append(buffer, static_cast<size_t>(got));
    }
    return out;
}

std::string RawBoxPeer::ReadAllData() {
    std::string out;
    pollfd entry{m_data, POLLIN, 0};
    while (::poll(&entry, 1, kReadBoundMs) == 1) {
        char buffer[65536];
        const ssize_t got = ::recv(m_data, buffer, sizeof buffer, 0);
        if (got <= 0)
            return out;
        out.append(buffer, static_cast<size_t>(got));
    }
    ADD_FAILURE() << "the data connection stayed open";
    return out;
}

size_t RawBoxPeer::SkipToUrgentMark() {
    size_t skipped = 0;
    for (;;) {
        // Poll first: an urgent byte that arrives while we wait must be seen
        // at the mark, not read as data.
        pollfd entry{m_data, POLLIN | POLLPRI, 0};
        if (::poll(&entry, 1, kReadBoundMs) != 1) {
            ADD_FAILURE() << "no urgent mark arrived";
            return skipped;
        }
        int atMark = 0;
        ::ioctl(m_data, SIOCATMARK, &atMark);
        if (atMark)
            return skipped;
        char buffer[65536];
        const ssize_t got = ::recv(m_data, buffer, sizeof buffer, 0);
        if (got <= 0) {
            ADD_FAILURE() << "connection ended before the urgent mark";
            return skipped;
        }
        skipped += static_cast<size_t>(got);
    }
}

void RawBoxPeer::WriteData(const std::string& bytes) {
    ASSERT_EQ(::send(m_data, bytes.data(), bytes.size(), MSG_NOSIGNAL),
              static_cast<ssize_t>(bytes.size()));
}

void RawBoxPeer::WriteStatus(const char* keyword, int32_t sequence, uint32_t low, uint32_t high) {
    WriteData(StatusBytes(keyword, sequence, low, high));
}

void RawBoxPeer::WriteStatus(const char* keyword, int32_t sequence, const char* state,
                             int32_t argument) {
    WriteData(StatusBytes(keyword, sequence, state, argument));
}

void RawBoxPeer::ShrinkDataReceiveBuffer() {
    const int bytes = 4096;
    ::setsockopt(m_data, SOL_SOCKET, SO_RCVBUF, &bytes, sizeof bytes);
}

void RawBoxPeer::CloseData() {
    if (m_data >= 0)
        ::close(m_data);
    m_data = -1;
}

void RawBoxPeer::CloseCommand() {
    if (m_command >= 0)
        ::close(m_command);
    m_command = -1;
}

void RawBoxPeer::CloseAll() {
    CloseData();
    CloseCommand();
}
