// Time from the Box's "seek" request to the first byte at the new offset,
// over 1,000 seeks while a box link streams a large file: the Box here is a
// scripted peer on loopback that reads the stream as a Box does, seeks to a
// new place, skips what was in flight up to the urgent "$" mark, checks the
// acknowledgement and the first byte, reads on a little and seeks again.
//
//   seek_bench [SEEKS]   (default 1000; run inside a private network)
#include "BenchBaseline.h"
#include "CDmpVellumo.h"
#include "LittleEndian.h"

#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

constexpr size_t kFileBytes = size_t{256} << 20;
// What the Box reads after each seek before it seeks again.
constexpr size_t kReadAfterSeekBytes = 256 << 10;
constexpr size_t kUrgentRecordBytes = 13;
constexpr auto kIdleWatch = std::chrono::milliseconds(1000);
constexpr double kGoalP50Ms = 1.0;
constexpr double kGoalP99Ms = 10.0;

[[noreturn]] void fail(const char* what) {
    std::fprintf(stderr, "seek_bench: %s\n", what);
    std::exit(1);
}

void readExactly(int fd, void* buffer, size_t bytes) {
    auto next = static_cast<uint8_t*>(buffer);
    while (bytes > 0) {
        const ssize_t got = recv(fd, next, bytes, 0);
        if (got <= 0)
            fail("the link closed the data connection");
        next += got;
        bytes -= static_cast<size_t>(got);
    }
}

// Discards the stream up to the urgent mark, as the Box does after a seek.
void skipToMark(int fd) {
    std::vector<uint8_t> scratch(1 << 16);
    for (;;) {
        pollfd data{fd, POLLIN | POLLPRI, 0};
        poll(&data, 1, -1);
        int isAtMark = 0;
        if (ioctl(fd, SIOCATMARK, &isAtMark) < 0)
            fail("SIOCATMARK failed");
        if (isAtMark != 0)
            return;
        const ssize_t got = recv(fd, scratch.data(), scratch.size(), MSG_DONTWAIT);
        if (got == 0)
            fail("the link closed the data connection");
    }
}

// Reads an urgent record: mark byte, sequence, 64-bit value.
int64_t readUrgent(int fd, char expected) {
    uint8_t record[kUrgentRecordBytes];
    readExactly(fd, record, sizeof record);
    if (static_cast<char>(record[0]) != expected)
        fail("unexpected urgent record");
    return static_cast<int64_t>(kvu::ReadLe64(record + 5));
}

void writeStatus(int fd, const char* keyword, uint32_t sequence, uint64_t value) {
    uint8_t record[16];
    std::memcpy(record, keyword, 4);
    kvu::WriteLe32(record + 4, sequence);
    kvu::WriteLe64(record + 8, value);
    if (send(fd, record, sizeof record, MSG_NOSIGNAL) != sizeof record)
        fail("cannot write a status record");
}

// Context switches of every thread of this process but the calling one.
long otherThreadSwitches() {
    long total = 0;
    const std::string self = std::to_string(gettid());
    for (const auto& task : fs::directory_iterator("/proc/self/task")) {
        if (task.path().filename() == self)
            continue;
        std::ifstream status(task.path() / "status");
        for (std::string line; std::getline(status, line);)
            if (line.find("ctxt_switches:") != std::string::npos)
                total += std::atol(line.c_str() + line.find(':') + 1);
    }
    return total;
}

double percentile(std::vector<double> values, double fraction) {
    std::sort(values.begin(), values.end());
    return values[static_cast<size_t>(fraction * static_cast<double>(values.size() - 1))];
}

} // namespace

int main(int argc, char** argv) {
    const int seeks = argc > 1 ? std::atoi(argv[1]) : 1000;
    char pattern[] = "/tmp/seek-bench-XXXXXX";
    const fs::path dir = mkdtemp(pattern);
    const fs::path file = dir / "movie.mkv";
    WritePatternFile(file, kFileBytes);

    int port = 0;
    const int listener = ListenOnLoopback(port);
    CDmpVellumo link;
    // Both connections complete in the listener's backlog, command first.
    if (!link.OpenConnection("127.0.0.1", port, false))
        fail("the link did not connect");
    const int command = accept(listener, nullptr, nullptr);
    const int data = accept(listener, nullptr, nullptr);
    const int one = 1;
    setsockopt(data, SOL_SOCKET, SO_OOBINLINE, &one, sizeof one);
    setsockopt(data, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    link.AddFiles({file.wstring()}, -1);
    link.Play(kMediaTypeVideo);

    writeStatus(data, "stat", 1, 0x79616c70); // "play" (little-endian), index 0
    skipToMark(data);
    if (readUrgent(data, 'F') != static_cast<int64_t>(kFileBytes))
        fail("wrong file size");

    std::vector<double> ms;
    std::vector<uint8_t> buffer(kReadAfterSeekBytes);
    uint64_t state = 12345;
    for (int i = 0; i < seeks; ++i) {
        state = state * 6364136223846793005u + 1442695040888963407u;
        const size_t offset = (state >> 20) % (kFileBytes - kReadAfterSeekBytes);
        const auto start = Clock::now();
        writeStatus(data, "seek", static_cast<uint32_t>(i + 2), offset);
        skipToMark(data);
        if (readUrgent(data, '$') != static_cast<int64_t>(offset))
            fail("the seek was acknowledged at another offset");
        readExactly(data, buffer.data(), 1);
        ms.push_back(std::chrono::duration<double, std::milli>(Clock::now() - start).count());
        if (buffer[0] != PatternByte(offset))
            fail("the first byte after the seek is not the file's byte at the offset");
        readExactly(data, buffer.data(), kReadAfterSeekBytes - 1);
    }

    // The file read to its end and the Box silent: the link's threads should
    // sleep until something happens.
    writeStatus(data, "seek", static_cast<uint32_t>(seeks + 2), kFileBytes - kReadAfterSeekBytes);
    skipToMark(data);
    readUrgent(data, '$');
    readExactly(data, buffer.data(), kReadAfterSeekBytes);
    const long switchesBefore = otherThreadSwitches();
    std::this_thread::sleep_for(kIdleWatch);
    const long idleWakeUps = otherThreadSwitches() - switchesBefore;
    link.CloseConnection();
    close(command);
    close(data);
    close(listener);
    fs::remove_all(dir);

    std::printf("%d seeks in a %zu MiB file, %zu KiB read after each\n", seeks, kFileBytes >> 20,
                kReadAfterSeekBytes >> 10);
    std::printf("seek to first byte  p50 %6.3f ms (goal < %.0f)  p99 %6.3f ms (goal < %.0f)  "
                "max %6.3f ms\n",
                percentile(ms, 0.5), kGoalP50Ms, percentile(ms, 0.99), kGoalP99Ms,
                percentile(ms, 1.0));
    std::printf("idle link (file read to its end, Box silent): %ld thread wake-ups in %lld ms "
                "(goal 0)\n",
                idleWakeUps, static_cast<long long>(kIdleWatch.count()));
    return 0;
}
