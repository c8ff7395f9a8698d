// Throughput of HttpServer against nginx (sendfile on) serving the same
// 256 MiB "install.img" over loopback to the same client, measured side by
// side in one run: fetches alternate between the two, the client runs in a
// process of its own (as the Box is no part of the server's process), and
// the median of several rounds is compared. Run it inside
// scripts/in-private-net.sh.

#include "BenchChild.h"
#include "BenchClientProcess.h"
#include "BenchNginx.h"
#include "network/HttpServer.h"

#include <algorithm>
#include <arpa/inet.h>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <netinet/in.h>
#include <signal.h>
#include <spawn.h>
#include <string>
#include <sys/socket.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;
extern char** environ;

namespace {

constexpr std::size_t kFileBytes = 256u * 1024 * 1024;
constexpr int kRounds = 9;
constexpr double kGoalRatio = 0.9;

// Fetches the file, drops what it reads, and returns MiB/s of the whole
// exchange, or a negative value when the body was not the whole file.
double fetchMiBPerSecond(std::uint16_t port) {
    static std::vector<char> buffer(256 * 1024);
    const auto start = std::chrono::steady_clock::now();
    const int client = ConnectLoopback(port);
    if (client < 0)
        return -1;
    const char request[] =
        "GET /install.img HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n\r\n";
    if (::send(client, request, sizeof request - 1, MSG_NOSIGNAL) != sizeof request - 1) {
        ::close(client);
        return -1;
    }
    std::size_t total = 0;
    std::size_t headerBytes = 0;
    std::string headStart;
    for (;;) {
        const ssize_t count = ::recv(client, buffer.data(), buffer.size(), 0);
        if (count <= 0)
            break;
        if (headerBytes == 0 && headStart.size() < 4096) {
            headStart.append(buffer.data(), static_cast<std::size_t>(count));
            const std::size_t end = headStart.find("\r\n\r\n");
            if (end != std::string::npos)
                headerBytes = end + 4;
        }
        total += static_cast<std::size_t>(count);
    }
    const auto elapsed = std::chrono::steady_clock::now() - start;
    ::close(client);
    if (headerBytes == 0 || total - headerBytes != kFileBytes)
        return -1;
    const double seconds = std::chrono::duration<double>(elapsed).count();
    return static_cast<double>(kFileBytes) / (1024.0 * 1024.0) / seconds;
}

bool writeImage(const fs::path& path) {
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    std::vector<char> block(1024 * 1024);
    std::uint32_t state = 12345;
    for (std::size_t written = 0; written < kFileBytes && file; written += block.size()) {
        for (char& byte : block) {
            state = state * 1664525u + 1013904223u;
            byte = static_cast<char>(state >> 24);
        }
        file.write(block.data(), static_cast<std::streamsize>(block.size()));
    }
    return static_cast<bool>(file);
}

} // namespace

int main() {
    const fs::path base = MakeNginxBase("httpserver-bench");
    if (base.empty())
        return 1;
    const fs::path root = base / "root";
    // Fetches from each port it is sent and answers with the MiB/s.
    BenchClientProcess<std::uint16_t, double> client(fetchMiBPerSecond);
    int status = 1;
    if (!writeImage(root / "install.img")) {
        std::fprintf(stderr, "cannot write %s\n", (root / "install.img").c_str());
    } else {
        HttpServer server(HttpServer::Settings{.port = 0, .address = INADDR_LOOPBACK});
        const std::uint16_t nginxPort = FreeLoopbackPort();
        const pid_t nginx = StartNginx(base, root, nginxPort);
        if (!server.Start(root.string(), {"install.img"}) || nginx < 0) {
            std::fprintf(stderr, "cannot start %s\n", nginx < 0 ? "nginx" : "HttpServer");
        } else {
            // Warm the page cache and both servers.
            client.Ask(server.BoundPort(), -1);
            client.Ask(nginxPort, -1);
            std::vector<double> ours;
            std::vector<double> theirs;
            // Alternating, and who goes first alternates too.
            for (int round = 0; round < kRounds; ++round) {
                if (round % 2 == 0) {
                    ours.push_back(client.Ask(server.BoundPort(), -1));
                    theirs.push_back(client.Ask(nginxPort, -1));
                } else {
                    theirs.push_back(client.Ask(nginxPort, -1));
                    ours.push_back(client.Ask(server.BoundPort(), -1));
                }
            }
            if (*std::min_element(ours.begin(), ours.end()) < 0 ||
                *std::min_element(theirs.begin(), theirs.end()) < 0) {
                std::fprintf(stderr, "a transfer was incomplete\n");
            } else {
                const double oursMiBs = Median(ours);
                const double theirsMiBs = Median(theirs);
                std::printf("256 MiB install.img over loopback, median of %d rounds\n", kRounds);
                std::printf("HttpServer:           %8.1f MiB/s\n", oursMiBs);
                std::printf("nginx (sendfile on):  %8.1f MiB/s\n", theirsMiBs);
                std::printf("ratio:                %8.2f (goal >= %.2f)\n", oursMiBs / theirsMiBs,
                            kGoalRatio);
                status = 0;
            }
        }
        server.Stop();
        if (nginx > 0) {
            StopNginx(nginx);
        }
    }
    fs::remove_all(base);
    return status;
}
