#pragma once

#include <sys/types.h>

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

// One vellumo-boxsim process for a benchmark: started without hashing on a
// free loopback port, with an event log of its own that the benchmark waits
// on without polling (inotify).
class BenchBoxSim {
public:
    BenchBoxSim(const std::filesystem::path& dir, const std::vector<std::string>& extraArgs = {});
    ~BenchBoxSim();
    BenchBoxSim(const BenchBoxSim&) = delete;
    BenchBoxSim& operator=(const BenchBoxSim&) = delete;

    int Port() const { return m_port; }

    // Waits until count lines of the event log satisfy match.
    void WaitForLines(const std::function<bool(const std::string&)>& match, int count);
    // Files received whole.
    void WaitForFiles(int count);
    // The Box reached the end of its play list.
    void WaitForDone();

private:
    void readNewLines();

    std::filesystem::path m_log;
    pid_t m_pid = -1;
    int m_port = 0;
    int m_notify = -1;
    int m_logFd = -1;
    size_t m_offset = 0; // bytes of the log read so far
    std::string m_partial;
    std::vector<std::string> m_lines;
};
