// CMediaServer against nginx (sendfile on) serving the same 1 GiB sparse file
// over loopback to the same client, measured side by side in one run:
// throughput of whole-file fetches and of the file fetched in 1 MiB ranges on
// one kept-alive connection (median of several alternating rounds), and the
// time to the first byte of a range request at 1,000 random offsets (p50,
// p99). The client runs in a process of its own, as a renderer would. Run it
// inside scripts/in-private-net.sh.

#include "BenchChild.h"
#include "BenchClientProcess.h"
#include "BenchNginx.h"
#include "CMediaServer.h"

#include <algorithm>
#include <arpa/inet.h>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <random>
#include <signal.h>
#include <spawn.h>
#include <string>
#include <sys/socket.h>
#include <sys/wait.h>
#include <thread>
#include <tuple>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;
extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;

constexpr std::uint64_t kFileBytes = 1ull << 30;
constexpr std::uint64_t kRangeBytes = 1ull << 20;
constexpr std::uint64_t kProbeBytes = 64 * 1024;
constexpr int kRounds = 5;
constexpr int kProbes = 1000;
constexpr double kGoalRatio = 0.9;
constexpr double kGoalP99Ms = 10;

// One response on a kept-alive connection: reads the head and exactly its
// Content-Length of body. firstByte gets when the first response byte came.
// Returns the body length, or -1.
std::int64_t readResponse(int fd, std::string& carry, Clock::time_point* firstByte) {
    static std::vector<char> buffer(1 << 20);
    std::size_t end;
    while ((end = carry.find("\r\n\r\n")) == std::string::npos) {
        const ssize_t count = ::recv(fd, buffer.data(), 65536, 0);
        if (count <= 0)
            return -1;
        if (carry.empty() && firstByte != nullptr)
            *firstByte = Clock::now();
        carry.append(buffer.data(), static_cast<std::size_t>(count));
    }
    const std::string head = carry.substr(0, end);
    carry.erase(0, end + 4);
    std::size_t at = head.find("Content-Length: ");
    if (at == std::string::npos)
        at = head.find("content-length: ");
    if (at == std::string::npos)
        return -1;
    const auto length =
        static_cast<std::uint64_t>(std::strtoull(head.c_str() + at + 16, nullptr, 10));
    std::uint64_t have = std::min<std::uint64_t>(carry.size(), length);
    carry.erase(0, have);
    while (have < length) {
        const std::size_t want =
            static_cast<std::size_t>(std::min<std::uint64_t>(buffer.size(), length - have));
        const ssize_t count = ::recv(fd, buffer.data(), want, 0);
        if (count <= 0)
            return -1;
        have += static_cast<std::uint64_t>(count);
    }
    return static_cast<std::int64_t>(length);
}

bool sendText(int fd, const std::string& text) {
    return ::send(fd, text.data(), text.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(text.size());
}

std::string request(const std::string& path, std::uint64_t first, std::uint64_t last) {
    std::string text = "GET " + path + " HTTP/1.1\r\nHost: 127.0.0.1\r\n";
    if (last > 0)
        text += "Range: bytes=" + std::to_string(first) + "-" + std::to_string(last) + "\r\n";
    return text + "\r\n";
}

// MiB/s of fetching the whole file, in one request or by ranges, on one
// connection; negative when a body was short.
double fetchMiBPerSecond(std::uint16_t port, const std::string& path, bool isByRanges) {
    const auto start = Clock::now();
    const int fd = ConnectLoopback(port);
    if (fd < 0)
        return -1;
    std::string carry;
    std::uint64_t total = 0;
    if (!isByRanges) {
        if (sendText(fd, request(path, 0, 0)) && readResponse(fd, carry, nullptr) > 0)
            total = kFileBytes;
    } else {
        for (std::uint64_t offset = 0; offset < kFileBytes; offset += kRangeBytes) {
            if (!sendText(fd, request(path, offset, offset + kRangeBytes - 1)))
                break;
            const std::int64_t got = readResponse(fd, carry, nullptr);
            if (got != static_cast<std::int64_t>(kRangeBytes))
                break;
            total += kRangeBytes;
        }
    }
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    ::close(fd);
    if (total != kFileBytes)
        return -1;
    return static_cast<double>(kFileBytes) / (1024.0 * 1024.0) / seconds;
}

// Milliseconds to the first byte of 64 KiB range requests at the same
// pseudo-random offsets, on one kept-alive connection: {p50, p99}.
std::pair<double, double> firstByteMs(std::uint16_t port, const std::string& path) {
    const int fd = ConnectLoopback(port);
    if (fd < 0)
        return {-1, -1};
    std::mt19937_64 random(42);
    std::vector<double> times;
    std::string carry;
    for (int i = 0; i < kProbes; ++i) {
        const std::uint64_t offset = random() % (kFileBytes - kProbeBytes);
        const auto sent = Clock::now();
        Clock::time_point first;
        if (!sendText(fd, request(path, offset, offset + kProbeBytes - 1)) ||
            readResponse(fd, carry, &first) != static_cast<std::int64_t>(kProbeBytes))
            break;
        times.push_back(std::chrono::duration<double, std::milli>(first - sent).count());
    }
    ::close(fd);
    if (times.size() != kProbes)
        return {-1, -1};
    std::sort(times.begin(), times.end());
    return {times[times.size() / 2], times[times.size() * 99 / 100]};
}

enum class Job : int { Whole, Ranges, FirstByte };

struct Order {
    Job job = Job::Whole;
    std::uint16_t port = 0;
    char path[120] = {};
};

struct Answer {
    double first = -1;
    double second = -1;
};

struct Target {
    std::uint16_t port;
    std::string path;
};

using Client = BenchClientProcess<Order, Answer>;

// What the client process does with one order.
Answer serve(const Order& order) {
    Answer answer;
    if (order.job == Job::FirstByte)
        std::tie(answer.first, answer.second) = firstByteMs(order.port, order.path);
    else
        answer.first = fetchMiBPerSecond(order.port, order.path, order.job == Job::Ranges);
    return answer;
}

Answer run(Client& client, Job job, const Target& target) {
    Order order;
    order.job = job;
    order.port = target.port;
    std::snprintf(order.path, sizeof order.path, "%s", target.path.c_str());
    return client.Ask(order, Answer{});
}

// Alternating rounds, who goes first alternating too: {ours, theirs} medians.
std::pair<double, double> throughput(Client& client, Job job, const Target& ours,
                                     const Target& theirs) {
    std::vector<double> our;
    std::vector<double> their;
    for (int round = 0; round < kRounds; ++round) {
        if (round % 2 == 0) {
            our.push_back(run(client, job, ours).first);
            their.push_back(run(client, job, theirs).first);
        } else {
            their.push_back(run(client, job, theirs).first);
            our.push_back(run(client, job, ours).first);
        }
    }
    if (*std::min_element(our.begin(), our.end()) < 0 ||
        *std::min_element(their.begin(), their.end()) < 0)
        return {-1, -1};
    return {Median(our), Median(their)};
}

} // namespace

int main() {
    const fs::path base = MakeNginxBase("mediaserver-bench");
    if (base.empty())
        return 1;
    const fs::path root = base / "root";
    const fs::path file = root / "movie.mkv";
    std::ofstream(file).close();
    std::error_code error;
    fs::resize_file(file, kFileBytes, error);
    Client client(serve);
    int status = 1;
    CMediaServer::Settings settings;
    settings.port = 0;
    settings.address = INADDR_LOOPBACK;
    CMediaServer server(settings);
    const std::uint16_t nginxPort = FreeLoopbackPort();
    const pid_t nginx = error ? -1 : StartNginx(base, root, nginxPort);
    std::string startError;
    if (nginx < 0 || !server.Start(&startError)) {
        std::fprintf(stderr, "cannot start %s %s\n", nginx < 0 ? "nginx" : "CMediaServer",
                     startError.c_str());
    } else {
        const Target ours{server.BoundPort(), server.Publish(file.string(), "video/x-matroska")};
        const Target theirs{nginxPort, "/movie.mkv"};
        // Warm the page cache and both servers.
        run(client, Job::Whole, ours);
        run(client, Job::Whole, theirs);
        const auto [wholeOurs, wholeTheirs] = throughput(client, Job::Whole, ours, theirs);
        const auto [rangesOurs, rangesTheirs] = throughput(client, Job::Ranges, ours, theirs);
        const Answer firstOurs = run(client, Job::FirstByte, ours);
        const Answer firstTheirs = run(client, Job::FirstByte, theirs);
        if (wholeOurs < 0 || rangesOurs < 0 || firstOurs.first < 0 || firstTheirs.first < 0) {
            std::fprintf(stderr, "a transfer was incomplete\n");
        } else {
            std::printf("1 GiB sparse file over loopback, medians of %d alternating rounds\n",
                        kRounds);
            std::printf("%-26s %12s %12s %8s\n", "", "CMediaServer", "nginx", "ratio");
            std::printf("%-26s %7.1f MiB/s %6.1f MiB/s %8.2f (goal >= %.2f)\n", "whole file",
                        wholeOurs, wholeTheirs, wholeOurs / wholeTheirs, kGoalRatio);
            std::printf("%-26s %7.1f MiB/s %6.1f MiB/s %8.2f (goal >= %.2f)\n",
                        "1 MiB ranges, kept alive", rangesOurs, rangesTheirs,
                        rangesOurs / rangesTheirs, kGoalRatio);
            std::printf("first byte of a range, %d random offsets (64 KiB each):\n", kProbes);
            std::printf("%-26s %9.3f ms %9.3f ms\n", "  p50", firstOurs.first, firstTheirs.first);
            std::printf("%-26s %9.3f ms %9.3f ms   (goal p99 < %.0f ms)\n", "  p99",
                        firstOurs.second, firstTheirs.second, kGoalP99Ms);
            status = 0;
        }
    }
    server.Stop();
    if (nginx > 0) {
        StopNginx(nginx);
    }
    fs::remove_all(base);
    return status;
}
