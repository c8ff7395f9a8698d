#include "BenchChild.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>

extern char** environ;

BenchChild::BenchChild(const std::vector<std::string>& args,
                       const std::vector<std::string>& environment, Stream captured) {
    int pipeEnds[2];
    if (pipe2(pipeEnds, O_CLOEXEC) != 0) {
        std::perror("pipe2");
        std::exit(1);
    }
    m_pid = fork();
    if (m_pid == 0) {
        prctl(PR_SET_PDEATHSIG, SIGKILL);
        const int null = open("/dev/null", O_WRONLY);
        const int capturedFd = captured == Stream::Output ? STDOUT_FILENO : STDERR_FILENO;
        dup2(pipeEnds[1], capturedFd);
        dup2(null, capturedFd == STDOUT_FILENO ? STDERR_FILENO : STDOUT_FILENO);
        std::vector<char*> argv;
        for (const std::string& arg : args)
            argv.push_back(const_cast<char*>(arg.c_str()));
        argv.push_back(nullptr);
        std::vector<char*> envp;
        for (const std::string& entry : environment)
            envp.push_back(const_cast<char*>(entry.c_str()));
        envp.push_back(nullptr);
        execve(argv[0], argv.data(), envp.data());
        _exit(127);
    }
    close(pipeEnds[1]);
    m_output = pipeEnds[0];
}

std::optional<std::string> BenchChild::WaitForLine(const std::string& text,
                                                   Clock::time_point deadline) {
    for (;;) {
        for (size_t end; (end = m_buffer.find('\n')) != std::string::npos;) {
            std::string line = m_buffer.substr(0, end);
            m_buffer.erase(0, end + 1);
            if (line.find(text) != std::string::npos)
                return line;
        }
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        if (left.count() <= 0)
            return std::nullopt;
        pollfd ready{m_output, POLLIN, 0};
        if (poll(&ready, 1, static_cast<int>(left.count())) <= 0)
            continue;
        char chunk[4096];
        const ssize_t got = read(m_output, chunk, sizeof chunk);
        if (got <= 0)
            return std::nullopt;
        m_buffer.append(chunk, static_cast<size_t>(got));
    }
}

bool BenchChild::IsRunning() {
    return m_pid > 0 && waitpid(m_pid, nullptr, WNOHANG) == 0;
}

void BenchChild::Stop() {
    if (m_pid > 0) {
        kill(m_pid, SIGTERM);
        waitpid(m_pid, nullptr, 0);
        m_pid = -1;
    }
    if (m_output >= 0)
        close(m_output);
    m_output = -1;
}

bool IsInPrivateNet() {
    const char* isPrivate = std::getenv("VELLUMO_IN_PRIVATE_NET");
    if (isPrivate != nullptr && std::strcmp(isPrivate, "1") == 0)
        return true;
    std::fprintf(stderr, "run through scripts/in-private-net.sh: the simulated Box announces\n");
    return false;
}

std::vector<std::string> EnvironmentWith(const std::vector<std::string>& entries,
                                         const std::vector<std::string>& removed) {
    std::vector<std::string> result;
    for (char** entry = environ; *entry != nullptr; ++entry) {
        const std::string text = *entry;
        const std::string name = text.substr(0, text.find('='));
        const auto replaced = [&](const std::string& other) {
            return other.substr(0, other.find('=')) == name;
        };
        if (std::ranges::find(removed, name) == removed.end() &&
            std::ranges::none_of(entries, replaced))
            result.push_back(text);
    }
    result.insert(result.end(), entries.begin(), entries.end());
    return result;
}

double Median(std::vector<double> values) {
    std::ranges::sort(values);
    const size_t middle = values.size() / 2;
    return values.size() % 2 != 0 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
}
