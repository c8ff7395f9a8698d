// 1, 8 and 32 box links streaming at once, each to a simulated Box of its
// own, against as many plain read()+send() senders (the faster baseline of
// stream_bench on this kernel) sending the same files to plain readers at
// the same time: total throughput, its ratio, and the threads and
// descriptors each link holds while it streams.
//
//   scale_bench [TOTAL_MIB]   (default 1024, split between the links; run
//                              inside a private network)
#include "BenchBaseline.h"
#include "BenchBoxSim.h"
#include "CDmpVellumo.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace {

namespace fs = std::filesystem;

constexpr int kRounds = 3;
const std::vector<std::string> kTimePer64Mib = {"--rate", "67108864"};

size_t countEntries(const char* directory) {
    size_t count = 0;
    for ([[maybe_unused]] const auto& entry : fs::directory_iterator(directory))
        ++count;
    return count;
}

struct LinkRound {
    BenchMeasure measure;
    double threadsPerLink = 0;
    double descriptorsPerLink = 0;
};

LinkRound streamThroughLinks(const fs::path& dir, const fs::path& file, int links) {
    std::vector<std::unique_ptr<BenchBoxSim>> boxes;
    for (int i = 0; i < links; ++i)
        boxes.push_back(std::make_unique<BenchBoxSim>(dir, kTimePer64Mib));
    const size_t threadsBefore = countEntries("/proc/self/task");
    const size_t descriptorsBefore = countEntries("/proc/self/fd");
    std::vector<std::unique_ptr<CDmpVellumo>> vellumos;
    for (int i = 0; i < links; ++i) {
        vellumos.push_back(std::make_unique<CDmpVellumo>());
        vellumos.back()->OpenConnection("127.0.0.1", boxes[i]->Port(), false);
        vellumos.back()->AddFiles({file.wstring()}, -1);
    }
    LinkRound round;
    round.measure = MeasureRun([&] {
        for (auto& link : vellumos)
            link->Play(kMediaTypeVideo);
        for (auto& box : boxes)
            box->WaitForFiles(1);
    });
    // Every link's worker and reader still run: nothing was closed yet.
    round.threadsPerLink =
        static_cast<double>(countEntries("/proc/self/task") - threadsBefore) / links;
    round.descriptorsPerLink =
        static_cast<double>(countEntries("/proc/self/fd") - descriptorsBefore) / links;
    return round;
}

BenchMeasure sendThroughSockets(const fs::path& file, size_t size, int senders) {
    std::vector<std::unique_ptr<BenchSink>> sinks;
    for (int i = 0; i < senders; ++i)
        sinks.push_back(std::make_unique<BenchSink>());
    return MeasureRun([&] {
        std::vector<std::thread> threads;
        for (auto& sink : sinks)
            threads.emplace_back([&file, size, port = sink->Port()] {
                SendToPort(BaselineSender::ReadSend, port, file, size);
            });
        for (auto& thread : threads)
            thread.join();
        for (auto& sink : sinks)
            sink->WaitForEnd();
    });
}

} // namespace

int main(int argc, char** argv) {
    const size_t totalMib = argc > 1 ? std::strtoul(argv[1], nullptr, 10) : 1024;
    char pattern[] = "/tmp/scale-bench-XXXXXX";
    const fs::path dir = mkdtemp(pattern);
    std::printf("%zu MiB in total per run, split between the links; %d rounds, medians\n", totalMib,
                kRounds);
    std::printf("links  links MiB/s  baseline MiB/s  ratio  CPU ratio  threads/link  fds/link\n");
    for (int links : {1, 8, 32}) {
        const size_t size = (totalMib << 20) / static_cast<size_t>(links);
        const fs::path file = dir / ("movie-" + std::to_string(links) + ".mkv");
        WritePatternFile(file, size);
        BenchSeries viaLinks(size * static_cast<size_t>(links));
        BenchSeries viaSockets(size * static_cast<size_t>(links));
        double threads = 0, descriptors = 0;
        for (int round = 0; round < kRounds; ++round) {
            const LinkRound linkRound = streamThroughLinks(dir, file, links);
            viaLinks.Add(linkRound.measure);
            threads = linkRound.threadsPerLink;
            descriptors = linkRound.descriptorsPerLink;
            viaSockets.Add(sendThroughSockets(file, size, links));
        }
        const BenchFigures l = viaLinks.Figures(), b = viaSockets.Figures();
        std::printf("%5d  %11.1f  %14.1f  %5.2f  %9.2f  %12.1f  %8.1f\n", links, l.mibPerSecond,
                    b.mibPerSecond, l.mibPerSecond / b.mibPerSecond,
                    l.cpuSecondsPerGib / b.cpuSecondsPerGib, threads, descriptors);
        fs::remove(file);
    }
    fs::remove_all(dir);
    return 0;
}
