#pragma once

#include <sys/types.h>

#include <chrono>
#include <optional>
#include <string>
#include <vector>

// A program the application benchmarks start: its standard output or error
// (the other goes to /dev/null) read line by line. It dies with the bench.
class BenchChild {
public:
    using Clock = std::chrono::steady_clock;
    enum class Stream { Output, Error };

    BenchChild(const std::vector<std::string>& args, const std::vector<std::string>& environment,
               Stream captured);
    ~BenchChild() { Stop(); }
    BenchChild(const BenchChild&) = delete;
    BenchChild& operator=(const BenchChild&) = delete;

    pid_t Pid() const { return m_pid; }

    // The first line holding text that comes before the deadline.
    std::optional<std::string> WaitForLine(const std::string& text, Clock::time_point deadline);
    bool IsRunning();
    // SIGTERM, then waits for it.
    void Stop();

private:
    pid_t m_pid = -1;
    int m_output = -1;
    std::string m_buffer;
};

// The bench's environment with the given entries replaced or added, and
// those named in removed left out.
std::vector<std::string> EnvironmentWith(const std::vector<std::string>& entries,
                                         const std::vector<std::string>& removed);

// Whether the bench runs in the private network of scripts/in-private-net.sh;
// else it says so on standard error, as the reason it would announce.
bool IsInPrivateNet();

// The middle value (the mean of the two middle ones for an even count).
double Median(std::vector<double> values);
