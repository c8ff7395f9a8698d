#include "BenchBoxSim.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/inotify.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

// A safety net only: every change of the log wakes the wait at once.
constexpr int kLogWaitMs = 1000;

} // namespace

BenchBoxSim::BenchBoxSim(const std::filesystem::path& dir,
                         const std::vector<std::string>& extraArgs) {
    static std::atomic<int> instances{0};
    m_log = dir / ("box-" + std::to_string(getpid()) + "-" + std::to_string(++instances) + ".log");
    // The setup page on a free port: port 80 is not ours to take.
    std::vector<std::string> args = {"vellumo-boxsim", "--port", "0",           "--http-port", "0",
                                     "--no-hash",      "--log",  m_log.string()};
    args.insert(args.end(), extraArgs.begin(), extraArgs.end());
    std::vector<char*> argv;
    for (std::string& arg : args)
        argv.push_back(arg.data());
    argv.push_back(nullptr);

    int out[2];
    if (pipe(out) != 0)
        std::exit(1);
    m_pid = fork();
    if (m_pid == 0) {
        dup2(out[1], STDOUT_FILENO);
        close(out[0]);
        close(out[1]);
        execv(VELLUMO_BOXSIM_PATH, argv.data());
        _exit(127);
    }
    close(out[1]);
    char line[128] = {};
    const ssize_t got = read(out[0], line, sizeof line - 1);
    close(out[0]);
    const char* colon = got > 0 ? std::strrchr(line, ':') : nullptr;
    if (colon == nullptr) {
        std::fprintf(stderr, "bench: vellumo-boxsim did not start\n");
        std::exit(1);
    }
    m_port = std::atoi(colon + 1);
    // The log exists once the simulator says it is ready.
    m_logFd = open(m_log.c_str(), O_RDONLY | O_CLOEXEC);
    m_notify = inotify_init1(IN_CLOEXEC | IN_NONBLOCK);
    inotify_add_watch(m_notify, m_log.c_str(), IN_MODIFY);
}

BenchBoxSim::~BenchBoxSim() {
    kill(m_pid, SIGTERM);
    waitpid(m_pid, nullptr, 0);
    close(m_notify);
    close(m_logFd);
}

void BenchBoxSim::readNewLines() {
    char buffer[65536];
    for (;;) {
        const ssize_t got = pread(m_logFd, buffer, sizeof buffer, static_cast<off_t>(m_offset));
        if (got <= 0)
            break;
        m_offset += static_cast<size_t>(got);
        m_partial.append(buffer, static_cast<size_t>(got));
    }
    size_t begin = 0;
    for (size_t newline; (newline = m_partial.find('\n', begin)) != std::string::npos;
         begin = newline + 1)
        m_lines.push_back(m_partial.substr(begin, newline - begin));
    m_partial.erase(0, begin);
}

void BenchBoxSim::WaitForLines(const std::function<bool(const std::string&)>& match, int count) {
    size_t scanned = 0;
    int found = 0;
    for (;;) {
        readNewLines();
        for (; scanned < m_lines.size(); ++scanned)
            found += match(m_lines[scanned]) ? 1 : 0;
        if (found >= count)
            return;
        pollfd fd{m_notify, POLLIN, 0};
        poll(&fd, 1, kLogWaitMs);
        char events[4096];
        while (read(m_notify, events, sizeof events) > 0) {
        }
    }
}

void BenchBoxSim::WaitForFiles(int count) {
    WaitForLines(
        [](const std::string& line) {
            return line.find("\"event\":\"file\"") != std::string::npos &&
                   line.find("\"complete\":true") != std::string::npos;
        },
        count);
}

void BenchBoxSim::WaitForDone() {
    WaitForLines(
        [](const std::string& line) {
            return line.find("\"event\":\"done\"") != std::string::npos;
        },
        1);
}
