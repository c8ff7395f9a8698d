#include "BenchBaseline.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/sendfile.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <ctime>
#include <fstream>
#include <vector>

namespace {

// The simulator reads in blocks of this size; the sink does too.
constexpr size_t kSinkReadBytes = 65536;
// The pattern of the benchmark files repeats every MiB.
constexpr size_t kPatternBlockBytes = 1 << 20;
// What the link asks for on its data connection.
constexpr int kLinkSendBufferBytes = 327680;
// The read()+send() baseline's block.
constexpr size_t kReadSendBlockBytes = 96 * 1024;

double processCpuSeconds() {
    timespec now{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) / 1e9;
}

void readToEnd(int listener) {
    const int peer = accept(listener, nullptr, nullptr);
    const int wake = eventfd(0, 0);
    char buffer[kSinkReadBytes];
    for (;;) {
        pollfd fds[2] = {{peer, POLLIN | POLLPRI, 0}, {wake, POLLIN, 0}};
        poll(fds, 2, -1);
        const ssize_t got = recv(peer, buffer, sizeof buffer, MSG_DONTWAIT);
        if (got == 0 || (got < 0 && errno != EAGAIN && errno != EINTR))
            break;
    }
}

} // namespace

BenchMeasure MeasureRun(const std::function<void()>& run) {
    const double cpuBefore = processCpuSeconds();
    const auto start = std::chrono::steady_clock::now();
    run();
    return {std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count(),
            processCpuSeconds() - cpuBefore};
}

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values.empty() ? 0 : values[values.size() / 2];
}

int ListenOnLoopback(int& port) {
    const int listener = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address);
    listen(listener, 2);
    socklen_t length = sizeof address;
    getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length);
    port = ntohs(address.sin_port);
    return listener;
}

BenchSink::BenchSink() {
    const int listener = ListenOnLoopback(m_port);
    m_pid = fork();
    if (m_pid == 0) {
        readToEnd(listener);
        _exit(0);
    }
    close(listener);
}

BenchSink::~BenchSink() {
    WaitForEnd();
}

void BenchSink::WaitForEnd() {
    if (m_pid > 0)
        waitpid(m_pid, nullptr, 0);
    m_pid = -1;
}

const char* BaselineName(BaselineSender sender) {
    return sender == BaselineSender::Sendfile ? "sendfile()" : "read()+send() 96 KiB";
}

void SendToPort(BaselineSender sender, int port, const std::filesystem::path& file, size_t size) {
    const int out = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(static_cast<uint16_t>(port));
    // The link's socket options, so that only the sending differs: no wait
    // on Nagle, and its data connection's send buffer.
    const int one = 1;
    const int sendBufferBytes = kLinkSendBufferBytes;
    setsockopt(out, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    setsockopt(out, SOL_SOCKET, SO_SNDBUF, &sendBufferBytes, sizeof sendBufferBytes);
    connect(out, reinterpret_cast<sockaddr*>(&address), sizeof address);
    const int in = open(file.c_str(), O_RDONLY | O_CLOEXEC);
    if (sender == BaselineSender::Sendfile) {
        off_t offset = 0;
        while (static_cast<size_t>(offset) < size)
            if (sendfile(out, in, &offset, size - static_cast<size_t>(offset)) <= 0)
                break;
    } else {
        std::vector<char> block(kReadSendBlockBytes);
        for (;;) {
            const ssize_t got = read(in, block.data(), block.size());
            if (got <= 0)
                break;
            for (ssize_t sent = 0; sent < got;) {
                const ssize_t now =
                    send(out, block.data() + sent, static_cast<size_t>(got - sent), MSG_NOSIGNAL);
                if (now <= 0)
                    break;
                sent += now;
            }
        }
    }
    close(in);
    close(out);
}

BenchMeasure MeasureSend(BaselineSender sender, const std::filesystem::path& file, size_t size) {
    BenchSink sink;
    return MeasureRun([&] {
        SendToPort(sender, sink.Port(), file, size);
        sink.WaitForEnd();
    });
}

void BenchSeries::Add(const BenchMeasure& measure) {
    const double mib = static_cast<double>(m_bytes) / (1 << 20);
    m_rates.push_back(mib / measure.seconds);
    m_cpus.push_back(measure.cpuSeconds / (mib / 1024));
}

BenchFigures BenchSeries::Figures() const {
    return {Median(m_rates), Median(m_cpus)};
}

uint8_t PatternByte(size_t offset) {
    const size_t i = offset % kPatternBlockBytes;
    return static_cast<uint8_t>(i * 131 + i / 977);
}

void WritePatternFile(const std::filesystem::path& file, size_t sizeBytes) {
    std::ofstream out(file, std::ios::binary);
    std::vector<char> block(kPatternBlockBytes);
    for (size_t i = 0; i < block.size(); ++i)
        block[i] = static_cast<char>(PatternByte(i));
    for (size_t left = sizeBytes; left > 0;) {
        const size_t now = std::min(left, block.size());
        out.write(block.data(), static_cast<std::streamsize>(now));
        left -= now;
    }
}
