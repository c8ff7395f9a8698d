// Streams one large file to the simulated Box through a box link and through
// the C interface, and, in the same run, the same file by sendfile() to a
// plain socket reader; prints the throughputs, their ratios and the sender's
// CPU seconds per GiB.
//
//   stream_bench [SIZE_MIB]      (default 512; run inside a private network)
#include "CDmpVellumo.h"
#include "dmp_vellumo.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/eventfd.h>
#include <sys/resource.h>
#include <sys/sendfile.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <thread>
#include <vector>

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

constexpr int kRounds = 5;
// The simulator reads in blocks of this size; the baseline reader does too.
constexpr size_t kSinkReadBytes = 65536;

double cpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

struct Measure {
    double seconds = 0;
    double cpu = 0;
};

Measure measure(const std::function<void()>& run) {
    const double cpuBefore = cpuSeconds();
    const auto start = Clock::now();
    run();
    return {std::chrono::duration<double>(Clock::now() - start).count(), cpuSeconds() - cpuBefore};
}

// vellumo-boxsim without hashing, so that it only receives.
class BoxSim {
public:
    explicit BoxSim(const fs::path& dir) : m_log(dir / "box.log") {
        int out[2];
        if (pipe(out) != 0)
            std::exit(1);
        m_pid = fork();
        if (m_pid == 0) {
            dup2(out[1], STDOUT_FILENO);
            execl(VELLUMO_BOXSIM_PATH, "vellumo-boxsim", "--port", "0", "--no-hash", "--log",
                  m_log.c_str(), static_cast<char*>(nullptr));
            _exit(127);
        }
        close(out[1]);
        char line[128] = {};
        const ssize_t got = read(out[0], line, sizeof line - 1);
        close(out[0]);
        const char* colon = got > 0 ? std::strrchr(line, ':') : nullptr;
        if (colon == nullptr) {
            std::fprintf(stderr, "stream_bench: vellumo-boxsim did not start\n");
            std::exit(1);
        }
        m_port = std::atoi(colon + 1);
    }
    ~BoxSim() {
        kill(m_pid, SIGTERM);
        waitpid(m_pid, nullptr, 0);
    }
    int Port() const { return m_port; }

    // Waits until the log shows count completely received files.
    void WaitForFiles(int count) const {
        for (;;) {
            std::ifstream in(m_log);
            std::string line;
            int files = 0;
            while (std::getline(in, line))
                files += line.find("\"event\":\"file\"") != std::string::npos &&
                         line.find("\"complete\":true") != std::string::npos;
            if (files >= count)
                return;
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    }

private:
    fs::path m_log;
    pid_t m_pid = -1;
    int m_port = 0;
};

// A reader in a child process that takes one connection and reads it to its
// end the way the simulator reads file data: a poll on the data socket and
// a wake-up descriptor, then one receive of up to 64 KiB.
void sendfileRound(const fs::path& file, size_t size) {
    const int listener = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address);
    listen(listener, 1);
    socklen_t length = sizeof address;
    getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length);
    const pid_t reader = fork();
    if (reader == 0) {
        const int peer = accept(listener, nullptr, nullptr);
        const int wake = eventfd(0, 0);
        std::vector<char> buffer(kSinkReadBytes);
        for (;;) {
            pollfd fds[2] = {{peer, POLLIN | POLLPRI, 0}, {wake, POLLIN, 0}};
            poll(fds, 2, -1);
            const ssize_t got = recv(peer, buffer.data(), buffer.size(), MSG_DONTWAIT);
            if (got == 0 || (got < 0 && errno != EAGAIN))
                break;
        }
        _exit(0);
    }
    close(listener);
    const int out = socket(AF_INET, SOCK_STREAM, 0);
    connect(out, reinterpret_cast<sockaddr*>(&address), sizeof address);
    const int in = open(file.c_str(), O_RDONLY);
    off_t offset = 0;
    while (static_cast<size_t>(offset) < size)
        if (sendfile(out, in, &offset, size - static_cast<size_t>(offset)) <= 0)
            break;
    close(in);
    close(out);
    waitpid(reader, nullptr, 0);
}

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

} // namespace

int main(int argc, char** argv) {
    const size_t sizeMib = argc > 1 ? std::strtoul(argv[1], nullptr, 10) : 512;
    const size_t size = sizeMib << 20;
    char pattern[] = "/tmp/stream-bench-XXXXXX";
    const fs::path dir = mkdtemp(pattern);
    const fs::path file = dir / "movie.mkv";
    {
        std::ofstream out(file, std::ios::binary);
        std::vector<char> block(1 << 20);
        for (size_t i = 0; i < block.size(); ++i)
            block[i] = static_cast<char>(i * 131 + i / 977);
        for (size_t i = 0; i < sizeMib; ++i)
            out.write(block.data(), static_cast<std::streamsize>(block.size()));
    }

    std::vector<double> linkRate, apiRate, sendfileRate, linkCpu, apiCpu, sendfileCpu;
    const double gib = static_cast<double>(size) / (1u << 30);
    const double mib = static_cast<double>(sizeMib);
    for (int round = 0; round < kRounds; ++round) {
        {
            BoxSim box(dir);
            CDmpVellumo link;
            link.OpenConnection("127.0.0.1", box.Port(), false);
            link.AddFiles({file.wstring()}, -1);
            const Measure m = measure([&] {
                link.Play(kMediaTypeVideo);
                box.WaitForFiles(1);
            });
            linkRate.push_back(mib / m.seconds);
            linkCpu.push_back(m.cpu / gib);
        }
        {
            BoxSim box(dir);
            DmpVellumoInfo* handle = CreateA("127.0.0.1", box.Port());
            const Measure m = measure([&] {
                PlayFileA(handle, file.c_str());
                box.WaitForFiles(1);
            });
            Destroy(handle);
            apiRate.push_back(mib / m.seconds);
            apiCpu.push_back(m.cpu / gib);
        }
        const Measure m = measure([&] { sendfileRound(file, size); });
        sendfileRate.push_back(mib / m.seconds);
        sendfileCpu.push_back(m.cpu / gib);
    }
    fs::remove_all(dir);

    const double link = median(linkRate), api = median(apiRate), base = median(sendfileRate);
    std::printf("file: %zu MiB, %d rounds, medians\n", sizeMib, kRounds);
    std::printf("box link        %8.1f MiB/s  %6.3f CPU s/GiB\n", link, median(linkCpu));
    std::printf("C interface     %8.1f MiB/s  %6.3f CPU s/GiB\n", api, median(apiCpu));
    std::printf("sendfile()      %8.1f MiB/s  %6.3f CPU s/GiB\n", base, median(sendfileCpu));
    std::printf("ratio link/sendfile        %.2f (goal >= 0.90)\n", link / base);
    std::printf("ratio interface/sendfile   %.2f\n", api / base);
    return 0;
}
