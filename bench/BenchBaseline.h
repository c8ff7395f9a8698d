#pragma once

#include <sys/types.h>

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

// What the benchmarks measure the library against: the same file sent to a
// plain socket reader in a child process by the fastest simple loops this
// kernel offers, and how the sender's CPU time is taken.

// Wall-clock seconds and this process's CPU seconds of one run.
struct BenchMeasure {
    double seconds = 0;
    double cpuSeconds = 0;
};
BenchMeasure MeasureRun(const std::function<void()>& run);
double Median(std::vector<double> values);

// A listening TCP socket on 127.0.0.1 at a free port.
int ListenOnLoopback(int& port);

// A child process that accepts one connection on loopback and reads it to
// its end the way the simulator reads file data: a poll on the socket and a
// wake-up descriptor, then one receive of up to 64 KiB.
class BenchSink {
public:
    BenchSink();
    ~BenchSink();
    BenchSink(const BenchSink&) = delete;
    BenchSink& operator=(const BenchSink&) = delete;

    int Port() const { return m_port; }
    // Waits until the reader has read everything and ended.
    void WaitForEnd();

private:
    pid_t m_pid = -1;
    int m_port = 0;
};

enum class BaselineSender { Sendfile, ReadSend };
const char* BaselineName(BaselineSender sender);
// Connects to port on loopback and sends size bytes of file.
void SendToPort(BaselineSender sender, int port, const std::filesystem::path& file, size_t size);

// One send of the file to a fresh sink, until the sink has read it all.
BenchMeasure MeasureSend(BaselineSender sender, const std::filesystem::path& file, size_t size);

// Throughput and sender CPU of runs that each moved bytes bytes: medians.
struct BenchFigures {
    double mibPerSecond = 0;
    double cpuSecondsPerGib = 0;
};
class BenchSeries {
public:
    explicit BenchSeries(size_t bytes) : m_bytes(bytes) {}
    void Add(const BenchMeasure& measure);
    BenchFigures Figures() const;

private:
    size_t m_bytes;
    std::vector<double> m_rates;
    std::vector<double> m_cpus;
};

// A file of sizeBytes bytes of a fixed pattern, and the pattern's byte at
// offset.
void WritePatternFile(const std::filesystem::path& file, size_t sizeBytes);
uint8_t PatternByte(size_t offset);
