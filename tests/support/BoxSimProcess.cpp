#include "BoxSimProcess.h"
#include "TiedChild.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iostream>
#include <thread>

namespace {

constexpr std::chrono::milliseconds kReadyWait{10000};
constexpr std::chrono::milliseconds kExitWait{5000};
constexpr std::chrono::milliseconds kLogPollInterval{5};

// Reads stdout until one full line arrived or the deadline passed.
std::string readLine(int fd, std::chrono::milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    std::string line;
    while (line.find('\n') == std::string::npos) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0)
            return {};
        pollfd pfd{fd, POLLIN, 0};
        if (::poll(&pfd, 1, static_cast<int>(left.count())) <= 0)
            continue;
        char buffer[256];
        const ssize_t got = ::read(fd, buffer, sizeof buffer);
        if (got <= 0)
            return {};
        line.append(buffer, static_cast<size_t>(got));
    }
    return line.substr(0, line.find('\n'));
}

} // namespace

BoxSimProcess::BoxSimProcess(const std::vector<std::string>& extraArgs, const std::string& address)
    : m_address(address) {
    std::error_code error;
    if (!std::filesystem::is_directory(m_dir.path(), error))
        return; // TempDir has reported it
    m_logPath = m_dir.file("events.jsonl");
    // extraArgs come last: a later option overrides an earlier one.
    std::vector<std::string> args = {VELLUMO_BOXSIM_PATH, "--address", address, "--port", "0",
                                     "--http-port",       "0",         "--log", m_logPath};
    args.insert(args.end(), extraArgs.begin(), extraArgs.end());
    int out[2];
    if (::pipe2(out, O_CLOEXEC) != 0) {
        ADD_FAILURE() << "pipe failed";
        return;
    }
    m_pid = SpawnTiedChild(args, -1, out[1]);
    ::close(out[1]);
    if (m_pid < 0) {
        m_pid = -1;
        ::close(out[0]);
        ADD_FAILURE() << "cannot start " << VELLUMO_BOXSIM_PATH;
        return;
    }
    const std::string line = readLine(out[0], kReadyWait);
    ::close(out[0]);
    const std::string expectedStart = "ready " + address + ":";
    if (line.rfind(expectedStart, 0) != 0) {
        ADD_FAILURE() << "vellumo-boxsim " << address << " did not report ready within "
                      << kReadyWait.count() << " ms (got \"" << line << "\")";
        return;
    }
    m_port = static_cast<uint16_t>(std::stoi(line.substr(expectedStart.size())));
}

BoxSimProcess::~BoxSimProcess() {
    // A clean exit also means no sanitizer report in the simulator.
    if (m_pid >= 0) {
        const int exitCode = terminate();
        EXPECT_EQ(exitCode, 0) << "vellumo-boxsim " << m_address << " did not exit cleanly";
    }
    if (::testing::Test::HasFailure()) {
        std::cerr << "event log of vellumo-boxsim " << m_address << ":\n";
        for (const auto& event : m_events)
            std::cerr << "  " << event.text() << "\n";
    }
}

void BoxSimProcess::freeze(bool isFrozen) {
    if (m_pid >= 0)
        ::kill(m_pid, isFrozen ? SIGSTOP : SIGCONT);
}

int BoxSimProcess::terminate() {
    if (m_pid < 0)
        return -1;
    // A stopped process takes SIGTERM only once it goes on.
    ::kill(m_pid, SIGCONT);
    ::kill(m_pid, SIGTERM);
    const auto deadline = std::chrono::steady_clock::now() + kExitWait;
    int status = 0;
    pid_t done = 0;
    while ((done = ::waitpid(m_pid, &status, WNOHANG)) == 0 &&
           std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(kLogPollInterval);
    if (done == 0) {
        ADD_FAILURE() << "vellumo-boxsim ignored SIGTERM";
        ::kill(m_pid, SIGKILL);
        ::waitpid(m_pid, &status, 0);
    }
    m_pid = -1;
    readNewLines();
    return done > 0 && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

uint16_t BoxSimProcess::webPort() {
    // The simulator logs it before it reports ready.
    for (const auto& event : events()) {
        if (event.str("event") == "web-ready")
            return static_cast<uint16_t>(event.num("port"));
    }
    return 0;
}

bool BoxSimProcess::isRunning() {
    if (m_pid < 0)
        return false;
    int status = 0;
    if (::waitpid(m_pid, &status, WNOHANG) == 0)
        return true;
    m_pid = -1;
    return false;
}

void BoxSimProcess::readNewLines() {
    std::ifstream in(m_logPath, std::ios::binary);
    if (!in)
        return;
    in.seekg(static_cast<std::streamoff>(m_logOffset));
    std::string chunk((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    m_logOffset += chunk.size();
    m_partialLine += chunk;
    size_t start = 0;
    size_t end;
    while ((end = m_partialLine.find('\n', start)) != std::string::npos) {
        const std::string line = m_partialLine.substr(start, end - start);
        auto event = JsonEvent::parse(line);
        if (event)
            m_events.push_back(std::move(*event));
        else
            ADD_FAILURE() << "malformed event log line: " << line;
        start = end + 1;
    }
    m_partialLine.erase(0, start);
}

const std::vector<JsonEvent>& BoxSimProcess::events() {
    readNewLines();
    return m_events;
}

std::optional<JsonEvent> BoxSimProcess::waitForEvent(const Predicate& predicate,
                                                     std::chrono::milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        for (const auto& event : events()) {
            if (predicate(event))
                return event;
        }
        if (std::chrono::steady_clock::now() >= deadline)
            return std::nullopt;
        std::this_thread::sleep_for(kLogPollInterval);
    }
}

BoxSimProcess::Predicate EventIs(const std::string& event) {
    return [event](const JsonEvent& e) { return e.str("event") == event; };
}

BoxSimProcess::Predicate StatusIs(const std::string& keyword) {
    return [keyword](const JsonEvent& e) {
        return e.str("event") == "status" && e.str("keyword") == keyword;
    };
}

BoxSimProcess::Predicate StatIs(const std::string& state, int64_t arg) {
    return [state, arg](const JsonEvent& e) {
        return e.str("event") == "status" && e.str("keyword") == "stat" &&
               e.str("state") == state && e.num("arg") == arg;
    };
}

BoxSimProcess::Predicate CommandIs(char byte) {
    return [byte](const JsonEvent& event) {
        return event.str("event") == "command" && event.str("byte") == std::string(1, byte);
    };
}

BoxSimProcess::Predicate ReceivedWhole(const std::string& name) {
    return [name](const JsonEvent& event) {
        return event.str("event") == "file" && event.str("name") == name &&
               event.flag("complete") && event.num("offset") == 0;
    };
}
