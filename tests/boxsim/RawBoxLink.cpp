#include "RawBoxLink.h"

#include "BoxWire.h"
#include "LittleEndian.h"
#include "io/SendAll.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <pthread.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <random>

namespace {

int connectTo(const std::string& address, uint16_t port) {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(port);
    ::inet_pton(AF_INET, address.c_str(), &to.sin_addr);
    if (fd >= 0 && ::connect(fd, reinterpret_cast<sockaddr*>(&to), sizeof to) == 0)
        return fd;
    if (fd >= 0)
        ::close(fd);
    return -1;
}

using kvu::io::SendAll;

} // namespace

std::string RawBoxLink::Status::state() const {
    const uint32_t bytes = low();
    return std::string(reinterpret_cast<const char*>(&bytes), 4);
}

RawBoxLink::RawBoxLink(const std::string& address, uint16_t port) {
    m_commandFd = connectTo(address, port);
    if (m_commandFd < 0)
        return;
    m_dataFd = connectTo(address, port);
    if (m_dataFd < 0)
        return;
    m_reader = std::thread([this] {
        pthread_setname_np(pthread_self(), "rawlink-reader");
        readLoop();
    });
}

RawBoxLink::~RawBoxLink() {
    // Shutting down ends the reader's recv(); then the descriptors can go.
    if (m_dataFd >= 0)
        ::shutdown(m_dataFd, SHUT_RDWR);
    if (m_reader.joinable())
        m_reader.join();
    if (m_commandFd >= 0)
        ::close(m_commandFd);
    if (m_dataFd >= 0)
        ::close(m_dataFd);
}

void RawBoxLink::readLoop() {
    char buffer[4096];
    for (;;) {
        const ssize_t got = ::recv(m_dataFd, buffer, sizeof buffer, 0);
        if (got < 0 && errno == EINTR)
            continue;
        std::lock_guard lock(m_mutex);
        if (got <= 0) {
            m_isClosed = true;
            m_changed.notify_all();
            return;
        }
        m_received.append(buffer, static_cast<size_t>(got));
        m_changed.notify_all();
    }
}

bool RawBoxLink::sendCommand(char byte, int32_t seq, int64_t value) {
    uint8_t head[boxwire::kCommandHeadBytes];
    head[0] = static_cast<uint8_t>(byte);
    kvu::WriteLe32(head + 1, static_cast<uint32_t>(seq));
    kvu::WriteLe64(head + 5, static_cast<uint64_t>(value));
    return SendAll(m_commandFd, head, sizeof head);
}

bool RawBoxLink::sendCommand(char byte, int32_t seq, int64_t value, const std::string& extra) {
    uint8_t length[4];
    kvu::WriteLe32(length, static_cast<uint32_t>(extra.size()));
    return sendCommand(byte, seq, value) && SendAll(m_commandFd, length, sizeof length) &&
           SendAll(m_commandFd, extra.data(), extra.size());
}

bool RawBoxLink::sendCommandBytes(const std::string& bytes) {
    return SendAll(m_commandFd, bytes.data(), bytes.size());
}

bool RawBoxLink::sendUrgent(char byte, int32_t seq, int64_t value) {
    uint8_t seqBytes[4];
    uint8_t valueBytes[8];
    kvu::WriteLe32(seqBytes, static_cast<uint32_t>(seq));
    kvu::WriteLe64(valueBytes, static_cast<uint64_t>(value));
    return SendAll(m_dataFd, &byte, 1, MSG_OOB) && SendAll(m_dataFd, seqBytes, 4) &&
           SendAll(m_dataFd, valueBytes, 8);
}

bool RawBoxLink::sendData(const std::string& bytes) {
    return SendAll(m_dataFd, bytes.data(), bytes.size());
}

size_t RawBoxLink::fillData(size_t limitBytes) {
    const std::string chunk(65536, 'x');
    size_t total = 0;
    while (total < limitBytes) {
        const ssize_t sent =
            ::send(m_dataFd, chunk.data(), chunk.size(), MSG_DONTWAIT | MSG_NOSIGNAL);
        if (sent < 0 && errno == EINTR)
            continue;
        if (sent <= 0)
            break;
        total += static_cast<size_t>(sent);
    }
    return total;
}

void RawBoxLink::closeCommand() {
    ::shutdown(m_commandFd, SHUT_RDWR);
}

void RawBoxLink::closeData() {
    ::shutdown(m_dataFd, SHUT_RDWR);
}

std::optional<RawBoxLink::Status>
RawBoxLink::waitStatus(const std::function<bool(const Status&)>& predicate,
                       std::chrono::milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    std::unique_lock lock(m_mutex);
    for (;;) {
        while (m_nextRecord + boxwire::kStatusRecordBytes <= m_received.size()) {
            const auto* p = reinterpret_cast<const uint8_t*>(m_received.data() + m_nextRecord);
            Status status;
            status.keyword.assign(reinterpret_cast<const char*>(p), 4);
            status.seq = static_cast<int32_t>(kvu::ReadLe32(p + 4));
            status.value = kvu::ReadLe64(p + 8);
            m_nextRecord += boxwire::kStatusRecordBytes;
            if (predicate(status))
                return status;
        }
        if (m_isClosed || m_changed.wait_until(lock, deadline) == std::cv_status::timeout)
            return std::nullopt;
    }
}

std::optional<RawBoxLink::Status> RawBoxLink::waitStat(const std::string& state, int32_t arg) {
    return waitStatus([&](const Status& s) {
        return s.keyword == "stat" && s.state() == state && static_cast<int32_t>(s.high()) == arg;
    });
}

std::optional<RawBoxLink::Status> RawBoxLink::waitKeyword(const std::string& keyword) {
    return waitStatus([&](const Status& s) { return s.keyword == keyword; });
}

std::optional<std::string> RawBoxLink::waitClosed(std::chrono::milliseconds timeout) {
    std::unique_lock lock(m_mutex);
    if (!m_changed.wait_for(lock, timeout, [this] { return m_isClosed; }))
        return std::nullopt;
    return m_received;
}

std::optional<std::string>
RawBoxLink::waitReceived(const std::function<bool(const std::string&)>& predicate,
                         std::chrono::milliseconds timeout) {
    std::unique_lock lock(m_mutex);
    if (!m_changed.wait_for(lock, timeout, [&] { return predicate(m_received) || m_isClosed; }) ||
        !predicate(m_received))
        return std::nullopt;
    return m_received;
}

std::string RawBoxLink::received() {
    std::lock_guard lock(m_mutex);
    return m_received;
}

std::string MakeContent(size_t bytes, uint32_t seed) {
    std::mt19937 random(seed);
    std::string content(bytes, '\0');
    for (auto& c : content)
        c = static_cast<char>(random());
    return content;
}

std::string JoinNames(const std::initializer_list<std::string>& names) {
    std::string joined;
    for (const auto& name : names)
        joined += name + "\n";
    return joined;
}
